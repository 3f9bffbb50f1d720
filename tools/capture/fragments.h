// IPv4 and IPv6 fragments held until their datagram is whole, charged to
// the capture's memory budget; the oldest unfinished datagram gives way when
// the budget needs room.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "held_memory.h"
#include "packet.h"
#include "reader_context.h"

namespace rpdhost {

class Fragments {
public:
    Fragments(ReaderContext &ctx, HeldMemory &memory) : ctx_(ctx), memory_(memory) {}
    // One fragment of `head`'s datagram, whose bytes start `offset` bytes
    // into its payload. True when it completes the datagram: `whole` then
    // describes it, its payload in `buffer`.
    bool Add(const Datagram &head, uint32_t id, size_t offset, bool more, Datagram &whole, Bytes &buffer);
    void Finish();
    // The age of the oldest unfinished datagram, and giving it up.
    uint64_t OldestAge() const { return byAge_.empty() ? kNothingHeld : byAge_.begin()->first; }
    void EvictOldest();

private:
    struct Pending {
        Datagram head;
        std::map<size_t, Bytes> parts;  // by offset
        size_t total = SIZE_MAX;        // known once the last fragment came
        size_t count = 0;
        size_t cost = 0;  // charged to the budget, bookkeeping included
        uint64_t age = 0;
    };
    void Forget(std::map<std::string, Pending>::iterator it, const char *why);

    ReaderContext &ctx_;
    HeldMemory &memory_;
    std::map<std::string, Pending> pending_;
    std::map<uint64_t, std::string> byAge_;
};

}  // namespace rpdhost
