#include "bmp_writer.h"

#include <arpa/inet.h>

namespace rpdwire {

Bytes BmpMessage(uint8_t type, const Bytes &body) {
    Bytes m = {3};
    Put32(m, static_cast<uint32_t>(6 + body.size()));
    m.push_back(type);
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

Bytes BmpPeerHeader(const BmpPeer &p) {
    uint8_t addr[16] = {};
    const bool v6 = inet_pton(AF_INET6, p.addr.c_str(), addr) == 1;
    if (!v6 && inet_pton(AF_INET, p.addr.c_str(), addr + 12) != 1) addr[12] = 0;  // unparsable: all zeros
    Bytes h = {p.type, static_cast<uint8_t>(p.flags | (v6 ? 0x80 : 0))};
    h.resize(10, 0);  // peer distinguisher
    h.insert(h.end(), addr, addr + 16);
    Put32(h, p.as);
    Put32(h, p.id);
    Put32(h, p.sec);
    Put32(h, p.usec);
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
