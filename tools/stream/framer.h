// Splits a byte stream into BGP messages. Bytes that cannot start a message
// are passed over up to the next plausible header (16 marker bytes, a length
// of 19..65535 and a type of 1..5), so a stream that starts inside a message
// or lost bytes recovers at the next whole one. When the marker is optional
// (hex text) a message may also start directly with its length field; the
// length then still counts the 16 marker bytes, as on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rpdhost {

class Framer {
public:
    enum class Step { More, Message, Skipped };
    explicit Framer(bool markerOptional) : markerOptional_(markerOptional) {}
    void Feed(const uint8_t *p, size_t n);
    // Message: `out` holds it, starting at stream offset `offset`.
    // Skipped: `skipped` bytes from `offset` on start no message and were dropped.
    Step Next(std::vector<uint8_t> &out, uint64_t &offset, uint64_t &skipped);
    // Drops a partly received message (the bytes after it are lost); returns how many bytes went.
    size_t Drop();
    // Counts `n` bytes the stream lost before the next ones fed, so offsets stay those of the stream.
    void Lost(uint64_t n) { consumed_ += n; }
    // At the end of the stream: a run of passed-over bytes not yet reported
    // (no message came after it), which Next would otherwise hold back.
    bool EndOfStream(uint64_t &offset, uint64_t &skipped);
    // Bytes that never made a whole message (a run of passed-over bytes aside).
    size_t Pending() const { return buf_.size() - head_; }
    uint64_t Consumed() const { return consumed_; }
    size_t Held() const { return buf_.capacity(); }
    // Whether the pending bytes start with a plausible header (a message cut short).
    bool PendingIsMessage() const;

private:
    Step EndSkipRun(uint64_t &offset, uint64_t &skipped);
    bool markerOptional_;
    uint64_t skipRun_ = 0;    // bytes passed over since the last message
    uint64_t skipStart_ = 0;  // where that run began
    std::vector<uint8_t> buf_;
    size_t head_ = 0;
    uint64_t consumed_ = 0;
};

}  // namespace rpdhost
