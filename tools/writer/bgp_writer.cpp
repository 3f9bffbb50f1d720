#include "bgp_writer.h"

namespace rpdwire {

void AppendNlri(Bytes &out, const RpdNlri &n) {
    Put8(out, kRpdNlriIpv4);
    Put8(out, n.policyType);
    Put32(out, n.distinguisher);
    Put32(out, n.peer);
}

void AppendPathAttr(Bytes &out, uint8_t flags, uint8_t code, const Bytes &value) {
    const bool ext = value.size() > 255;
    Put8(out, static_cast<uint8_t>(ext ? (flags | kFlagExtendedLength) : (flags & ~kFlagExtendedLength)));
    Put8(out, code);
    if (ext) {
        Put16(out, static_cast<uint16_t>(value.size()));
    } else {
        Put8(out, static_cast<uint8_t>(value.size()));
    }
    Append(out, value);
}

Bytes BgpMessage(uint8_t type, const Bytes &body) {
    Bytes msg(kBgpMarkerLen, 0xFF);
    Put16(msg, static_cast<uint16_t>(kBgpHeaderLen + body.size()));
    Put8(msg, type);
    Append(msg, body);
    return msg;
}

Bytes BuildUpdate(const Update &u) {
    Bytes attrs;
    if (!u.announce.empty() || !u.ipv4.empty()) {
        AppendPathAttr(attrs, kFlagTransitive, kAttrOrigin, {0});  // IGP
        Bytes path;
        if (u.originAs != 0) {
            Put8(path, kAsSequence);
            Put8(path, 1);
            Put32(path, u.originAs);
        }
        AppendPathAttr(attrs, kFlagTransitive, kAttrAsPath, path);
    }
    if (!u.ipv4.empty()) {
        Bytes hop;
        Put32(hop, u.nextHop);
        AppendPathAttr(attrs, kFlagTransitive, kAttrNextHop, hop);
    }
    if (!u.withdraw.empty()) {
        Bytes v;
        Put16(v, kAfiIpv4);
        Put8(v, kSafiRpd);
        for (const RpdNlri &n : u.withdraw) AppendNlri(v, n);
        AppendPathAttr(attrs, kFlagOptional, kAttrMpUnreach, v);
    }
    if (!u.announce.empty()) {
        Bytes v;
        Put16(v, kAfiIpv4);
        Put8(v, kSafiRpd);
        Put8(v, 4);
        Put32(v, u.nextHop);
        Put8(v, 0);  // reserved
        for (const RpdNlri &n : u.announce) AppendNlri(v, n);
        AppendPathAttr(attrs, kFlagOptional, kAttrMpReach, v);
    }
    if (u.hasPolicy) AppendPathAttr(attrs, kFlagOptional | kFlagTransitive, u.wcAttrCode, u.wideCommunity);

    Bytes body;
    Put16(body, 0);  // no IPv4 withdrawn routes
    Put16(body, static_cast<uint16_t>(attrs.size()));
    Append(body, attrs);
    for (const auto &[addr, len] : u.ipv4) {  // the prefix's significant bytes only
        Put8(body, len);
        for (int i = 0; i < (len + 7) / 8; ++i) Put8(body, static_cast<uint8_t>(addr >> (24 - 8 * i)));
    }
    return BgpMessage(kBgpUpdate, body);
}

}  // namespace rpdwire
