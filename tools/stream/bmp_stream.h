// A BMP monitoring stream (RFC 7854; Loc-RIB peers of RFC 9069): Initiation,
// Peer Up and Down, Route Monitoring, Route Mirroring, Statistics and
// Termination messages. Every BGP message inside (the UPDATE of a route
// monitoring, the messages a route mirroring carries) goes to the reader
// context attributed to its router and peer (address, AS, time of the
// per-peer header, table); the rest become events; what is not read is
// counted.
//
// A file or a live connection holds the whole stream: a header that cannot
// be framed (a version other than 3, an impossible length) ends the reading
// there (Strict). A capture may start inside a message or lose segments: the
// stream then resumes at the next plausible BMP header and reports what it
// passed over (Resync).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "reader_context.h"
#include "stream_decoder.h"

namespace rpdhost {

struct BmpPeerHeader;

class BmpStream : public StreamDecoder {
public:
    enum class Mode { Strict, Resync };
    // The origin's `where` names the router ("" for a file).
    BmpStream(ReaderContext &ctx, Mode mode) : ctx_(ctx), mode_(mode), searching_(mode == Mode::Resync) {}

    void Feed(const uint8_t *p, size_t n) override;
    size_t Drop() override;
    void Lost(uint64_t n) override;
    void Finish() override;
    uint64_t Consumed() const override { return offset_ + pending_.size() - at_; }
    size_t Held() const override { return pending_.capacity(); }
    const char *Protocol() const override { return "BMP"; }
    // Strict: a header could not be framed; the rest goes unread.
    bool Broken() const override { return broken_; }
    bool terminated() const { return terminated_; }
    // Called with each whole message framed, header included, before it is read (a recorder's tap).
    void Tap(std::function<void(const uint8_t *, size_t)> tap) { tap_ = std::move(tap); }

private:
    // The framing (bmp_stream.cpp).
    bool Search();
    void EndSearch();
    void Unframed(const uint8_t *h, uint32_t len);
    // The messages (bmp_messages.cpp).
    void OnBmp(uint8_t type, const uint8_t *body, size_t len);
    void Information(uint8_t type, ByteReader r);
    void Monitoring(const BmpPeerHeader &ph, ByteReader r);
    void Mirroring(const BmpPeerHeader &ph, ByteReader r);
    void PeerUp(const BmpPeerHeader &ph, ByteReader r);
    void PeerDown(const BmpPeerHeader &ph, ByteReader r);
    void Statistics(const BmpPeerHeader &ph, ByteReader r);
    // What a TLV after a route monitoring's UPDATE is counted as.
    std::string TlvReason(uint16_t type);
    // Hands a BGP message the stream carries over, attributed to its peer and table.
    void Emit(const BmpPeerHeader &ph, const uint8_t *m, size_t len, const char *kind);
    void Damaged(std::string what);
    // `ph`: the peer it is about (its address, AS and time), or none.
    void Event(const BmpPeerHeader *ph, const std::string &what, InputEvent::Ends ends = InputEvent::Ends::Nothing);

    ReaderContext &ctx_;
    Mode mode_;
    std::vector<uint8_t> pending_;
    size_t at_ = 0;        // where the next message starts in pending_
    uint64_t offset_ = 0;  // stream offset of pending_[at_]: the message being read
    bool searching_;       // Resync: looking for the next plausible header
    uint64_t skipRun_ = 0, skipStart_ = 0;  // bytes passed over while searching, not yet reported
    bool broken_ = false;
    bool terminated_ = false;
    std::vector<uint16_t> tlvTypes_;  // TLV types counted under their own name
    std::function<void(const uint8_t *, size_t)> tap_;
};

}  // namespace rpdhost
