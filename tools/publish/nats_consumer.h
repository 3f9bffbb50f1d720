// rpd-host consume: the records of a JetStream stream, read back in stream
// order, from its start, from a time, or where a durable consumer stopped
// (processes on one durable share the records: each gets some, none twice).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rpdhost {

struct ConsumeOptions {
    std::vector<std::string> servers;  // nats:// URLs
    std::string stream = "RPD";
    std::string subjects = "rpd";  // a prefix (all subjects under it), or a subject with wildcards
    std::string durable;     // "" for a consumer of this run alone
    int64_t sinceNs = 0;     // records stored from this UTC time on (0: from the start)
    bool follow = false;     // wait for more at the end of the stream, until a stop signal
    int64_t connectMs = 5000;
};

// Calls `record` with each record in stream order (a message holds one or
// more, a line each) and acknowledges the message after its records;
// false with the reason when the stream cannot be read.
bool Consume(const ConsumeOptions &o, const std::function<void(std::string_view)> &record, std::string &err);

}  // namespace rpdhost
