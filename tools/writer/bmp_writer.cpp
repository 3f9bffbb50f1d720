#include "bmp_writer.h"

#include <arpa/inet.h>

#include <algorithm>

namespace rpdwire {

Bytes BmpMessage(uint8_t type, const Bytes &body) {
    Bytes m;
    m.push_back(kBmpVersion);
    Put32(m, static_cast<uint32_t>(kBmpCommonHeader + body.size()));
    m.push_back(type);
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

Bytes BmpPeerHeader(const BmpPeer &p) {
    uint8_t addr[16] = {};
    const bool v6 = inet_pton(AF_INET6, p.addr.c_str(), addr) == 1;
    if (!v6 && inet_pton(AF_INET, p.addr.c_str(), addr + 12) != 1) addr[12] = 0;  // unparsable: all zeros
    // Written in place into its 42 bytes: g++ 12 at -O3 takes appends to a short vector for overflows.
    Bytes h(kBmpPeerHeaderLen, 0);
    h[0] = p.type;
    h[1] = static_cast<uint8_t>(p.flags | (v6 ? kBmpFlagV : 0));
    std::copy(addr, addr + 16, h.begin() + 10);  // after the peer distinguisher
    size_t at = 26;
    for (uint32_t v : {p.as, p.id, p.sec, p.usec})
        for (int shift = 24; shift >= 0; shift -= 8) h[at++] = static_cast<uint8_t>(v >> shift);
    return h;
}

Bytes BmpTlv(uint16_t type, const Bytes &value) {
    Bytes t;
    Put16(t, type);
    Put16(t, static_cast<uint16_t>(value.size()));
    t.insert(t.end(), value.begin(), value.end());
    return t;
}

Bytes BmpRouteMonitoring(const BmpPeer &p, const Bytes &update) {
    Bytes body = BmpPeerHeader(p);
    body.insert(body.end(), update.begin(), update.end());
    return BmpMessage(kBmpRouteMonitoring, body);
}

Bytes BmpRouteMirroring(const BmpPeer &p, const Bytes &message) {
    Bytes body = BmpPeerHeader(p);
    const Bytes tlv = BmpTlv(0, message);
    body.insert(body.end(), tlv.begin(), tlv.end());
    return BmpMessage(kBmpRouteMirroring, body);
}

}  // namespace rpdwire
