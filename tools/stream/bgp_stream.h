// BGP messages back to back: a raw file, hex text once decoded, one
// direction of a BGP session in a capture. Every whole message goes to the
// reader context stamped with the stream's origin; bytes that start no
// message are passed over to the next plausible header and reported once
// per run.
#pragma once

#include "framer.h"
#include "reader_context.h"
#include "stream_decoder.h"

namespace rpdhost {

class BgpStream : public StreamDecoder {
public:
    // `markerOptional`: messages may start with their length field (hex text).
    explicit BgpStream(ReaderContext &ctx, bool markerOptional = false) : ctx_(ctx), framer_(markerOptional) {}
    void Feed(const uint8_t *p, size_t n) override;
    size_t Drop() override { return framer_.Drop(); }
    void Lost(uint64_t n) override { framer_.Lost(n); }
    void Finish() override;
    uint64_t Consumed() const override { return framer_.Consumed(); }
    size_t Held() const override { return framer_.Held() + bytes_.capacity(); }
    const char *Protocol() const override { return "BGP"; }
    // Bytes held that made no whole message yet.
    size_t Pending() const { return framer_.Pending(); }

    // One direction of a session whose OPENs may be seen (a capture): a
    // message longer than 4096 bytes is reported unless both OPENs offered
    // extended messages (RFC 8654). `reverse` is the other direction (or none).
    struct Opens {
        bool seen = false;
        bool extended = false;
    };
    void FollowSession(const Opens *reverse) {
        session_ = true;
        reverse_ = reverse;
    }
    const Opens &opens() const { return opens_; }

private:
    void Skipped(uint64_t offset, uint64_t n);
    // What the session allows of message `m` (its OPEN, or a length past 4096).
    void Session(const Bytes &m, uint64_t offset);
    Place At(uint64_t offset) const { return Place(offset, origin_.frame, origin_.where); }

    ReaderContext &ctx_;
    Framer framer_;
    Bytes bytes_;
    bool session_ = false;
    Opens opens_;
    const Opens *reverse_ = nullptr;
    bool longSaid_ = false;
};

}  // namespace rpdhost
