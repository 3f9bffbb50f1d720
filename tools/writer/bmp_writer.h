// Writers of BMP (RFC 7854) messages around BGP messages, for tests, fuzz
// seeds and hand-built monitoring streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "wire.h"

namespace rpdwire {

// The per-peer header's fields; an IPv6 `addr` sets the V flag.
struct BmpPeer {
    uint8_t type = 0;   // 0 global, 3 Loc-RIB
    uint8_t flags = 0;  // 0x40 post-policy, 0x10 Adj-RIB-Out
    std::string addr = "192.0.2.1";
    uint32_t as = 65001;
    uint32_t id = 0xC0000201;
    uint32_t sec = 1700000000, usec = 0;
};

// Common header (version 3, length, type) before `body`.
Bytes BmpMessage(uint8_t type, const Bytes &body);
Bytes BmpPeerHeader(const BmpPeer &p);
Bytes BmpTlv(uint16_t type, const Bytes &value);
Bytes BmpRouteMonitoring(const BmpPeer &p, const Bytes &update);
// A Route Mirroring of one BGP message (TLV 0).
Bytes BmpRouteMirroring(const BmpPeer &p, const Bytes &message);

}  // namespace rpdwire
