// RIB dumps: TABLE_DUMP_V2 (its peer index, every RIB subtype, ADD-PATH
// too) and TABLE_DUMP. Each entry becomes the UPDATE it stands for.
#include "address.h"
#include "bgp_writer.h"
#include "mrt_reader.h"
#include "wire.h"

namespace rpdhost {

using namespace rpdwire;

namespace {

Bytes Value(const ByteReader &v, size_t n) { return Bytes(v.Here(), v.Here() + n); }

// Rebuilds the UPDATE a RIB entry stands for. IPv4 unicast and multicast
// prefixes go in the UPDATE's own NLRI field; every other family's NLRI in
// an MP_REACH_NLRI, made whole from the abbreviated one of RFC 6396 §4.3.4
// (next hop only) or added when the entry has none.
bool Rebuild(uint16_t afi, uint8_t safi, const uint8_t *nlri, size_t nlriLen, ByteReader attrs, Bytes &out,
             std::string &what) {
    const bool plainV4 = afi == kAfiIpv4 && (safi == kSafiUnicast || safi == kSafiMulticast);
    Bytes list;
    bool reach = false;
    while (attrs.Left() > 0) {
        uint8_t flags = 0, code = 0, len8 = 0;
        uint16_t len = 0;
        ByteReader value;
        const bool head = attrs.U8(flags) && attrs.U8(code) &&
                          ((flags & kFlagExtendedLength) ? attrs.U16(len) : (attrs.U8(len8) && ((len = len8), true)));
        if (!head || !attrs.Sub(len, value)) {
            what = "RIB entry attribute runs past its attribute list";
            return false;
        }
        if (code != kAttrMpReach || plainV4) {
            AppendPathAttr(list, flags, code, Value(value, len));
            continue;
        }
        reach = true;
        uint8_t nhLen = 0;
        if (len >= 1 && value.Here()[0] + 1u == len && value.U8(nhLen)) {  // abbreviated: next hop only
            Bytes v;
            Put16(v, afi);
            Put8(v, safi);
            Put8(v, nhLen);
            Append(v, value.Here(), nhLen);
            Put8(v, 0);  // reserved
            Append(v, nlri, nlriLen);
            AppendPathAttr(list, flags, code, v);
        } else {  // already whole
            AppendPathAttr(list, flags, code, Value(value, len));
        }
    }
    if (!reach && !plainV4) {
        Bytes v;
        Put16(v, afi);
        Put8(v, safi);
        Put16(v, 0);  // no next hop, reserved
        Append(v, nlri, nlriLen);
        AppendPathAttr(list, kFlagOptional, kAttrMpReach, v);
    }
    const size_t total = kBgpHeaderLen + 4 + list.size() + (plainV4 ? nlriLen : 0);
    if (total > kBgpMaxLength || list.size() > 0xFFFF) {
        what = "RIB entry too large for one BGP message";
        return false;
    }
    Bytes body;
    Put16(body, 0);  // no withdrawn routes
    Put16(body, static_cast<uint16_t>(list.size()));
    Append(body, list);
    if (plainV4) Append(body, nlri, nlriLen);
    out = BgpMessage(kBgpUpdate, body);
    return true;
}

}  // namespace

void MrtReader::TableDumpV2(uint16_t subtype, ByteReader body) {
    if (subtype == 1) return PeerIndex(body);
    uint16_t afi = 0;
    uint8_t safi = 0;
    const char *name = nullptr;
    switch (subtype) {
        case 2: case 8: afi = 1, safi = 1, name = "RIB_IPV4_UNICAST"; break;
        case 3: case 9: afi = 1, safi = 2, name = "RIB_IPV4_MULTICAST"; break;
        case 4: case 10: afi = 2, safi = 1, name = "RIB_IPV6_UNICAST"; break;
        case 5: case 11: afi = 2, safi = 2, name = "RIB_IPV6_MULTICAST"; break;
        case 6: case 12: name = "RIB_GENERIC"; break;
        default:
            ctx_.Skip("TABLE_DUMP_V2 records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
            return;
    }
    const bool addPath = subtype >= 8;
    uint32_t seq = 0;
    if (!body.U32(seq)) return Damaged(std::string(name) + " record cut short");
    if (subtype == 6 || subtype == 12) {
        if (!body.U16(afi) || !body.U8(safi)) return Damaged("RIB_GENERIC record cut short");
    }
    size_t nlriLen = 0;
    const uint8_t *nlri = nullptr;
    if (!TakeNlri(body, safi, nlri, nlriLen))
        return Damaged(std::string(name) + " prefix runs past the record");
    uint16_t entries = 0;
    if (!body.U16(entries)) return Damaged(std::string(name) + " record cut short before its entries");
    const std::string where = std::string(name) + (addPath ? "_ADDPATH" : "") + " sequence " + std::to_string(seq);
    for (uint16_t i = 0; i < entries; ++i) {
        uint16_t peer = 0, attrLen = 0;
        uint32_t originated = 0, pathId = 0;
        ByteReader attrs;
        if (!body.U16(peer) || !body.U32(originated) || (addPath && !body.U32(pathId)) || !body.U16(attrLen) ||
            !body.Sub(attrLen, attrs))
            return Damaged(where + ": entry " + std::to_string(i + 1) + " of " + std::to_string(entries) +
                           " runs past the record");
        Message m;
        std::string what;
        if (!Rebuild(afi, safi, nlri, nlriLen, attrs, m.bytes, what)) {
            Damaged(where + ": " + what);
            continue;
        }
        if (peer < peers_.size()) {
            m.peer = peers_[peer].addr;
            m.peerAs = peers_[peer].as;
        } else {
            Damaged(where + ": peer index " + std::to_string(peer) + " is not in the peer table");
            m.peer = "peer #" + std::to_string(peer);
        }
        m.where = where;
        m.rebuilt = true;
        m.hasPathId = addPath;
        m.pathId = pathId;
        sec_ = originated;
        usec_ = 0;
        Emit(m);
    }
    if (body.Left() > 0) Damaged(where + ": " + std::to_string(body.Left()) + " bytes after the last entry");
}

void MrtReader::PeerIndex(ByteReader body) {
    uint32_t collector = 0;
    uint16_t nameLen = 0, count = 0;
    peers_.clear();
    if (!body.U32(collector) || !body.U16(nameLen) || !body.Skip(nameLen) || !body.U16(count))
        return Damaged("PEER_INDEX_TABLE cut short");
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        uint32_t id = 0, as = 0;
        uint16_t as2 = 0;
        const uint8_t *ip = nullptr;
        if (!body.U8(type) || !body.U32(id) || !body.Take((type & 1) ? 16 : 4, ip) ||
            !((type & 2) ? body.U32(as) : (body.U16(as2) && ((as = as2), true))))
            return Damaged("PEER_INDEX_TABLE entry " + std::to_string(i + 1) + " runs past the record");
        peers_.push_back({AddressText((type & 1) != 0, ip), as});
    }
}

// TABLE_DUMP (version 1): one prefix and one peer per record.
void MrtReader::TableDump(uint16_t subtype, ByteReader body) {
    if (subtype != 1 && subtype != 2) {
        ctx_.Skip("TABLE_DUMP records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
        return;
    }
    const size_t addrLen = subtype == 1 ? 4 : 16;
    uint16_t view = 0, seq = 0, peerAs = 0, attrLen = 0;
    uint8_t plen = 0, status = 0;
    uint32_t originated = 0;
    const uint8_t *prefix = nullptr, *peerIp = nullptr;
    ByteReader attrs;
    if (!body.U16(view) || !body.U16(seq) || !body.Take(addrLen, prefix) || !body.U8(plen) || !body.U8(status) ||
        !body.U32(originated) || !body.Take(addrLen, peerIp) || !body.U16(peerAs) || !body.U16(attrLen) ||
        !body.Sub(attrLen, attrs))
        return Damaged("TABLE_DUMP record cut short");
    if (plen > addrLen * 8) return Damaged("TABLE_DUMP prefix length " + std::to_string(plen));
    Bytes nlri;
    Put8(nlri, plen);
    Append(nlri, prefix, (plen + 7) / 8);
    Message m;
    std::string what;
    if (!Rebuild(subtype == 1 ? kAfiIpv4 : kAfiIpv6, kSafiUnicast, nlri.data(), nlri.size(), attrs, m.bytes, what))
        return Damaged(what);
    m.peer = AddressText(subtype != 1, peerIp);
    m.peerAs = peerAs;
    m.where = "TABLE_DUMP sequence " + std::to_string(seq);
    m.rebuilt = true;
    sec_ = originated;
    Emit(m);
}

}  // namespace rpdhost
