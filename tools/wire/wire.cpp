#include "wire.h"

#include "byte_reader.h"

namespace rpdwire {

namespace {

constexpr BgpTypeInfo kTypes[] = {
    {"OPEN", 29, 0},          {"UPDATE", 23, 0}, {"NOTIFICATION", 21, 0},
    {"KEEPALIVE", 19, 19},    {"ROUTE-REFRESH", 23, 23},
};

}  // namespace

const BgpTypeInfo *BgpType(uint8_t type) { return type >= 1 && type <= 5 ? &kTypes[type - 1] : nullptr; }

const char *BgpTypeName(uint8_t type) {
    const BgpTypeInfo *t = BgpType(type);
    return t != nullptr ? t->name : "unknown";
}

bool IsMarker(const uint8_t *p) {
    for (size_t i = 0; i < kBgpMarkerLen; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

HeaderFault CheckBgpHeader(const uint8_t *p, size_t maxLen, bool typeLengths) {
    if (!IsMarker(p)) return HeaderFault::Marker;
    const size_t len = BgpLength(p);
    const BgpTypeInfo *t = BgpType(p[18]);
    if (len < kBgpHeaderLen || len > maxLen) return HeaderFault::Length;
    if (typeLengths && t != nullptr && (len < t->minLen || (t->maxLen != 0 && len > t->maxLen)))
        return HeaderFault::Length;
    return PlausibleBgp(len, p[18]) ? HeaderFault::None : HeaderFault::Type;
}

bool StartsBgpMessage(const uint8_t *p, size_t n) {
    return n >= kBgpHeaderLen && CheckBgpHeader(p) == HeaderFault::None;
}

bool StartsBmpMessage(const uint8_t *p, size_t n) {
    if (n < kBmpCommonHeader || p[0] != kBmpVersion) return false;
    const uint32_t len = Be32(p + 1);
    const uint8_t type = p[5];
    if (len < kBmpCommonHeader || len > kBmpMaxMessage || type > kBmpRouteMirroring) return false;
    if (type != kBmpRouteMonitoring) return true;
    const size_t bgp = kBmpCommonHeader + kBmpPeerHeaderLen;
    return len >= bgp + kBgpHeaderLen && (n < bgp + kBgpMarkerLen || IsMarker(p + bgp));
}

bool TakeNlri(ByteReader &r, uint8_t safi, const uint8_t *&nlri, size_t &len) {
    if (r.Left() == 0) return false;
    const uint8_t first = *r.Here();
    len = safi == kSafiRpd ? 1u + first : 1u + (first + 7u) / 8u;
    return r.Take(len, nlri);
}

bool KnownMrtType(uint16_t t) {
    switch (t) {
        case 11: case 12: case 13: case 16: case 17: case 32: case 33: case 48: case 49: return true;
        default: return false;
    }
}

const char *StateName(uint16_t s) {
    static const char *const kNames[] = {"?", "Idle", "Connect", "Active", "OpenSent", "OpenConfirm", "Established"};
    return s < 7 ? kNames[s] : "?";
}

}  // namespace rpdwire
