// One memory budget for everything a capture holds while it waits: TCP
// segments behind a gap, fragments of unfinished datagrams, each stream's
// partly read message and the bookkeeping of each. Costs are what the
// allocator hands out (payload plus a fixed cost per piece for its map node,
// vector and headers), not payload bytes alone, so a capture of a million
// one-byte segments is bounded as firmly as one of a few large ones. When the
// budget is exceeded the holders give way oldest first (their ages come from
// one clock), each eviction counted under its reason.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rpdhost {

class HeldMemory {
public:
    static constexpr size_t kDefaultLimit = 64u << 20;
    // A held piece (a segment or fragment): a map node, a vector and the allocator's headers.
    static constexpr size_t kPieceCost = 128;
    // A TCP direction or a pending datagram: its table entries, key and decoder.
    static constexpr size_t kEntryCost = 1024;

    explicit HeldMemory(size_t limit) : limit_(limit) {}
    void Charge(size_t n) { used_ += n; }
    void Release(size_t n) { used_ -= n; }
    // Moves a holder's charge from `was` to `now`.
    void Rebill(size_t &was, size_t now) {
        Charge(now);
        Release(was);
        was = now;
    }
    bool Over() const { return used_ > limit_; }
    size_t Limit() const { return limit_; }
    uint64_t Tick() { return ++clock_; }

private:
    size_t limit_;
    size_t used_ = 0;
    uint64_t clock_ = 0;
};

// Returned by a holder with nothing to give up.
constexpr uint64_t kNothingHeld = UINT64_MAX;

}  // namespace rpdhost
