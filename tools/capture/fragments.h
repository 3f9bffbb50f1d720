// IPv4 and IPv6 fragments held until their datagram is whole. Bounded: the
// oldest unfinished datagram gives way when too many are pending.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "packet.h"
#include "reader_context.h"

namespace rpdhost {

class Fragments {
public:
    explicit Fragments(ReaderContext &ctx) : ctx_(ctx) {}
    // One fragment of `head`'s datagram, whose bytes start `offset` bytes
    // into its payload. True when it completes the datagram: `whole` then
    // describes it, its payload in `buffer`.
    bool Add(const Datagram &head, uint32_t id, size_t offset, bool more, Datagram &whole, Bytes &buffer);
    void Finish();

private:
    struct Pending {
        Datagram head;
        std::map<size_t, Bytes> parts;  // by offset
        size_t total = SIZE_MAX;        // known once the last fragment came
        size_t count = 0;
        size_t bytes = 0;
        uint64_t age = 0;
    };
    void Forget(std::map<std::string, Pending>::iterator it, const char *why);

    ReaderContext &ctx_;
    std::map<std::string, Pending> pending_;
    std::map<uint64_t, std::string> byAge_;
    uint64_t clock_ = 0;
    size_t bytes_ = 0;  // held in all pending datagrams
};

}  // namespace rpdhost
