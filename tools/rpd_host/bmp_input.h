// BMP (RFC 7854; Loc-RIB peers of RFC 9069): a monitored router's stream of
// Initiation, Peer Up and Down, Route Monitoring, Route Mirroring,
// Statistics and Termination messages. Every BGP message inside (the UPDATE
// of a Route Monitoring, the messages a Route Mirroring carries) goes to the
// sink attributed to its peer (address, AS, time of the per-peer header,
// pre- or post-policy); the rest become events; what is not read is counted.
// Fed in pieces, so a file and a live connection read the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "input.h"

namespace rpdhost {

struct BmpPeerHeader;

class BmpReader {
public:
    // `router` names the monitored router in each message's `where` ("" for a file).
    BmpReader(InputSink &sink, InputCounts &counts, std::string router = "")
        : sink_(sink), counts_(counts), router_(std::move(router)) {}

    // False once the stream cannot be framed any more (a version other than
    // 3, an impossible length): that is reported, and the rest goes unread.
    bool Feed(const uint8_t *p, size_t n);
    // The end of the stream: a message cut short is reported.
    void Finish();
    bool terminated() const { return terminated_; }

private:
    void OnBmp(uint8_t type, const uint8_t *body, size_t len);
    void Information(uint8_t type, ByteReader r);
    void Monitoring(const BmpPeerHeader &ph, ByteReader r);
    void Mirroring(const BmpPeerHeader &ph, ByteReader r);
    void PeerUp(const BmpPeerHeader &ph, ByteReader r);
    void PeerDown(const BmpPeerHeader &ph, ByteReader r);
    // Hands a BGP message the stream carries to the sink, attributed to its peer and table.
    void Emit(const BmpPeerHeader &ph, const uint8_t *m, size_t len, const char *kind);
    void Damaged(const std::string &what);
    // `ph`: the peer it is about (its address, AS and time), or none.
    void Event(const BmpPeerHeader *ph, const std::string &what);

    InputSink &sink_;
    InputCounts &counts_;
    std::string router_;
    std::vector<uint8_t> pending_;
    uint64_t offset_ = 0;  // of the message being read, in the stream
    bool broken_ = false;
    bool terminated_ = false;
};

bool LooksLikeBmp(const uint8_t *head, size_t n);
bool ReadBmp(FILE *in, InputSink &sink, InputCounts &counts);

}  // namespace rpdhost
