// What the capture decoder passes between its steps: a frame's facts, an
// IP datagram down to its transport payload, a TCP segment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire.h"

namespace rpdhost {

struct FrameInfo {
    uint32_t linkType = rpdwire::kLinkEthernet;
    uint64_t number = 0;  // 1-based frame number in the capture
    int64_t sec = 0;
    uint32_t usec = 0;
    size_t wireLen = 0;  // length on the wire (more than the captured bytes when the capture cut it)
};

// An IP datagram down to its transport payload (after reassembly when it came in fragments).
struct Datagram {
    bool v6 = false;
    uint8_t src[16] = {};
    uint8_t dst[16] = {};
    uint8_t proto = 0;
    const uint8_t *payload = nullptr;
    size_t len = 0;
    bool cut = false;  // the capture kept less than the datagram carried
};

// What a TCP direction carries, as the ports say.
enum class FlowKind {
    Bgp,         // a BGP session (either side): BGP messages
    Bmp,         // a monitored router's stream to its station: BMP messages
    BmpStation,  // the station's side of a BMP session: nothing to read, its acknowledgements count
};

struct TcpPacket {
    const Datagram *ip = nullptr;
    uint16_t sport = 0, dport = 0;
    uint32_t seq = 0, ack = 0;
    uint8_t flags = 0;
    const uint8_t *data = nullptr;
    size_t len = 0;
    FlowKind kind = FlowKind::Bgp;
};

}  // namespace rpdhost
