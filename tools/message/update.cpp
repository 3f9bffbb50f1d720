#include "update.h"

#include "byte_reader.h"
#include "wire.h"

namespace rpdhost {

namespace {

using rpdwire::ByteReader;

bool Fail(WalkError &err, size_t at, std::string what) {
    err.offset = at;
    err.what = std::move(what);
    return false;
}

// Where `r`'s next byte stands in the message.
size_t At(const uint8_t *msg, const ByteReader &r) { return static_cast<size_t>(r.Here() - msg); }

// An MP_REACH_NLRI / MP_UNREACH_NLRI value: the RPD NLRI field, or a count of another family.
bool Multiprotocol(const uint8_t *msg, uint8_t code, ByteReader v, size_t start, UpdateParts &out, WalkError &err) {
    const bool reach = code == rpdwire::kAttrMpReach;
    // AFI, SAFI (, next-hop length and the reserved octet after an empty next hop).
    if (v.Left() < (reach ? 5u : 3u)) return Fail(err, start, "MP_REACH_NLRI / MP_UNREACH_NLRI cut short");
    uint16_t afi = 0;
    uint8_t safi = 0, nextHop = 0;
    (void)(v.U16(afi) && v.U8(safi));
    if (reach && !(v.U8(nextHop) && v.Skip(nextHop + 1u)))
        return Fail(err, start, "MP_REACH_NLRI next hop runs past the attribute");
    Span &s = reach ? out.reach : out.unreach;
    if (afi != rpdwire::kAfiIpv4 || safi != rpdwire::kSafiRpd) {
        ++out.otherFamilies;
    } else if (s.present) {
        return Fail(err, start, "MP_REACH_NLRI / MP_UNREACH_NLRI repeated");
    } else {
        s = {At(msg, v), v.Left(), true};
    }
    return true;
}

}  // namespace

bool SplitMessage(const uint8_t *msg, size_t len, uint8_t wcCode, UpdateParts &out, WalkError &err) {
    out = UpdateParts{};
    ByteReader r(msg, len);
    if (!r.Skip(rpdwire::kBgpHeaderLen)) return Fail(err, 0, "message shorter than the BGP header");
    out.type = msg[rpdwire::kBgpHeaderLen - 1];
    if (out.type != rpdwire::kBgpUpdate) return true;
    uint16_t withdrawn = 0, attrLen = 0;
    // Reported at the message's length field: the byte past the end is no place to point at.
    if (!r.U16(withdrawn))
        return Fail(err, rpdwire::kBgpMarkerLen,
                    "UPDATE shorter than its " + std::to_string(rpdwire::BgpType(rpdwire::kBgpUpdate)->minLen) +
                        "-byte minimum");
    if (!r.Skip(withdrawn) || !r.U16(attrLen)) return Fail(err, rpdwire::kBgpHeaderLen, "withdrawn routes run past the message");
    ByteReader attrs;
    if (!r.Sub(attrLen, attrs)) return Fail(err, At(msg, r) - 2, "path attributes run past the message");
    out.ipv4Routes = withdrawn > 0 || r.Left() > 0;
    if (r.Left() > 0) out.ipv4Nlri = {At(msg, r), r.Left(), true};
    while (attrs.Left() > 0) {
        const size_t start = At(msg, attrs);
        uint8_t flags = 0, code = 0, len8 = 0;
        uint16_t vlen = 0;
        const bool ext = attrs.U8(flags) && (flags & rpdwire::kFlagExtendedLength) != 0;
        if (!attrs.U8(code) || !(ext ? attrs.U16(vlen) : (attrs.U8(len8) && ((vlen = len8), true))))
            return Fail(err, start, "path attribute header cut short");
        ByteReader v;
        if (!attrs.Sub(vlen, v)) return Fail(err, start, "path attribute runs past the attribute list");
        if (code == rpdwire::kAttrMpReach || code == rpdwire::kAttrMpUnreach) {
            if (!Multiprotocol(msg, code, v, start, out, err)) return false;
        } else if (code == wcCode) {
            if (out.wideCommunity.present) return Fail(err, start, "Wide Community attribute repeated");
            out.wideCommunity = {At(msg, v), vlen, true};
        } else {
            ++out.otherAttributes;
        }
    }
    return true;
}

}  // namespace rpdhost
