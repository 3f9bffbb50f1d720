// consume with a readable output, --verify or filters: the records read back
// from a stream go through the plug-in again, as the station's input did.
// The route and policy records of one message (same station, file and
// message number) are encoded back into that UPDATE (encode takes
// rpd-host's own records) and handed on with the message's file, number,
// offset, frame, stream, peer, router, table and time; events and problems are
// handed on as the station saw them. A refused policy comes back as its
// problem: its record holds no policy bytes to decode again.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "message.h"

namespace rpdhost {

class RecordReplay {
public:
    explicit RecordReplay(MessageSink &sink) : sink_(sink) {}
    // One record, as a line of --json.
    void Put(std::string_view line);
    // The last message.
    void Finish() { Emit(); }
    // Records that could not be read or encoded back (each reported).
    uint64_t unreadable() const { return unreadable_; }

private:
    void Emit();
    // Tells the walk of the record's input (station and file) when it changes.
    void Input(const std::string &station, const std::string &file);
    void Unreadable(const std::string &what);

    MessageSink &sink_;
    std::vector<nlohmann::json> group_;  // the records of the message being gathered
    Message head_;        // what its first record says of the message
    std::string station_, file_;
    std::string groupKey_;
    std::string input_;   // the input the walk was last told of
    uint64_t unreadable_ = 0;
};

}  // namespace rpdhost
