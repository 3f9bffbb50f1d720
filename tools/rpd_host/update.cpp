#include "update.h"

#include "input_internal.h"

namespace rpdhost {

namespace {

constexpr size_t kHeader = 19;
constexpr uint8_t kExtendedLength = 0x10;
constexpr uint8_t kMpReach = 14;
constexpr uint8_t kMpUnreach = 15;
constexpr uint16_t kAfiIpv4 = 1;
constexpr uint8_t kSafiRpd = 75;

bool Fail(WalkError &err, size_t at, const char *what) {
    err.offset = at;
    err.what = what;
    return false;
}

}  // namespace

const char *MessageTypeName(uint8_t type) {
    switch (type) {
        case 1: return "OPEN";
        case 2: return "UPDATE";
        case 3: return "NOTIFICATION";
        case 4: return "KEEPALIVE";
        case 5: return "ROUTE-REFRESH";
        default: return "unknown";
    }
}

bool SplitMessage(const uint8_t *msg, size_t len, uint8_t wcCode, UpdateParts &out, WalkError &err) {
    out = UpdateParts{};
    if (len < kHeader) return Fail(err, 0, "message shorter than the BGP header");
    out.type = msg[18];
    if (out.type != kBgpUpdate) return true;
    size_t p = kHeader;
    // Reported at the message's length field: the byte past the end is no place to point at.
    if (len < p + 2) return Fail(err, kHeader - 3, "UPDATE shorter than its 23-byte minimum");
    const size_t withdrawn = Be16(msg + p);
    p += 2;
    if (len < p + withdrawn + 2) return Fail(err, p - 2, "withdrawn routes run past the message");
    out.ipv4Routes = withdrawn > 0;
    p += withdrawn;
    const size_t attrLen = Be16(msg + p);
    p += 2;
    if (len < p + attrLen) return Fail(err, p - 2, "path attributes run past the message");
    const size_t attrEnd = p + attrLen;
    out.ipv4Routes = out.ipv4Routes || attrEnd < len;
    while (p < attrEnd) {
        const size_t start = p;
        if (attrEnd - p < 3) return Fail(err, start, "path attribute header cut short");
        const uint8_t flags = msg[p];
        const uint8_t code = msg[p + 1];
        size_t vlen;
        if (flags & kExtendedLength) {
            if (attrEnd - p < 4) return Fail(err, start, "path attribute header cut short");
            vlen = Be16(msg + p + 2);
            p += 4;
        } else {
            vlen = msg[p + 2];
            p += 3;
        }
        if (attrEnd - p < vlen) return Fail(err, start, "path attribute runs past the attribute list");
        const uint8_t *v = msg + p;
        if (code == kMpReach || code == kMpUnreach) {
            const size_t head = code == kMpReach ? 5 : 3;  // AFI, SAFI (, next-hop length)
            if (vlen < head) return Fail(err, start, "MP_REACH_NLRI / MP_UNREACH_NLRI cut short");
            const bool rpd = Be16(v) == kAfiIpv4 && v[2] == kSafiRpd;
            size_t field = 3;
            if (code == kMpReach) {
                const size_t nh = v[3];
                field = 4 + nh + 1;  // next hop, reserved octet
                if (vlen < field) return Fail(err, start, "MP_REACH_NLRI next hop runs past the attribute");
            }
            Span &s = code == kMpReach ? out.reach : out.unreach;
            if (!rpd) {
                ++out.otherFamilies;
            } else if (s.present) {
                return Fail(err, start, "MP_REACH_NLRI / MP_UNREACH_NLRI repeated");
            } else {
                s = {p + field, vlen - field, true};
            }
        } else if (code == wcCode) {
            if (out.wideCommunity.present) return Fail(err, start, "Wide Community attribute repeated");
            out.wideCommunity = {p, vlen, true};
        } else {
            ++out.otherAttributes;
        }
        p += vlen;
    }
    return true;
}

}  // namespace rpdhost
