// MRT (RFC 6396, RFC 8050): BGP4MP and BGP4MP_ET messages (2- and 4-octet
// AS, local, ADD-PATH), their state changes, and RIB dumps (TABLE_DUMP_V2
// with its peer index, ADD-PATH variants included, and TABLE_DUMP). A RIB
// entry becomes an UPDATE rebuilt from its attributes and its prefix, so it
// takes the same walk as a received one.
#include <algorithm>

#include "address.h"
#include "input_internal.h"

namespace rpdhost {

namespace {

constexpr uint16_t kTableDump = 12, kTableDumpV2 = 13, kBgp4mp = 16, kBgp4mpEt = 17;
constexpr uint32_t kMaxRecord = 1u << 24;
constexpr uint8_t kMpReach = 14;
constexpr uint8_t kSafiRpd = 75;
constexpr size_t kMaxMessage = 65535;

bool KnownType(uint16_t t) {
    switch (t) {
        case 11: case 12: case 13: case 16: case 17: case 32: case 33: case 48: case 49: return true;
        default: return false;
    }
}

const char *StateName(uint16_t s) {
    static const char *const kNames[] = {"?", "Idle", "Connect", "Active", "OpenSent", "OpenConfirm", "Established"};
    return s < 7 ? kNames[s] : "?";
}

std::string Address(uint16_t afi, const uint8_t *p) { return AddressText(afi == 2, p); }

void Put16(std::vector<uint8_t> &o, size_t v) {
    o.push_back(static_cast<uint8_t>(v >> 8));
    o.push_back(static_cast<uint8_t>(v));
}

void PutAttr(std::vector<uint8_t> &o, uint8_t flags, uint8_t code, const uint8_t *v, size_t n, const uint8_t *v2 = nullptr,
             size_t n2 = 0) {
    const size_t len = n + n2;
    if (len > 255) {
        o.insert(o.end(), {static_cast<uint8_t>(flags | 0x10), code});
        Put16(o, len);
    } else {
        o.insert(o.end(), {static_cast<uint8_t>(flags & ~0x10), code, static_cast<uint8_t>(len)});
    }
    o.insert(o.end(), v, v + n);
    if (n2 > 0) o.insert(o.end(), v2, v2 + n2);
}

// Rebuilds the UPDATE a RIB entry stands for. IPv4 unicast and multicast
// prefixes go in the UPDATE's own NLRI field; every other family's NLRI in
// an MP_REACH_NLRI, made whole from the abbreviated one of RFC 6396 §4.3.4
// (next hop only) or added when the entry has none.
bool Rebuild(uint16_t afi, uint8_t safi, const uint8_t *nlri, size_t nlriLen, ByteReader attrs,
             std::vector<uint8_t> &out, std::string &what) {
    const bool plainV4 = afi == 1 && (safi == 1 || safi == 2);
    std::vector<uint8_t> list;
    bool reach = false;
    while (attrs.Left() > 0) {
        uint8_t flags = 0, code = 0;
        uint16_t len = 0;
        uint8_t len8 = 0;
        ByteReader value;
        const bool head = attrs.U8(flags) && attrs.U8(code) &&
                          ((flags & 0x10) ? attrs.U16(len) : (attrs.U8(len8) && ((len = len8), true)));
        if (!head || !attrs.Sub(len, value)) {
            what = "RIB entry attribute runs past its attribute list";
            return false;
        }
        if (code != kMpReach || plainV4) {
            PutAttr(list, flags, code, value.Here(), len);
            continue;
        }
        reach = true;
        uint8_t nhLen = 0;
        if (len >= 1 && value.Here()[0] + 1u == len && value.U8(nhLen)) {  // abbreviated: next hop only
            std::vector<uint8_t> v = {static_cast<uint8_t>(afi >> 8), static_cast<uint8_t>(afi), safi, nhLen};
            v.insert(v.end(), value.Here(), value.Here() + nhLen);
            v.push_back(0);  // reserved
            PutAttr(list, flags, code, v.data(), v.size(), nlri, nlriLen);
        } else {  // already whole
            PutAttr(list, flags, code, value.Here(), len);
        }
    }
    if (!reach && !plainV4) {
        const uint8_t v[] = {static_cast<uint8_t>(afi >> 8), static_cast<uint8_t>(afi), safi, 0, 0};
        PutAttr(list, 0x80, kMpReach, v, sizeof(v), nlri, nlriLen);
    }
    const size_t total = kBgpHeaderLen + 4 + list.size() + (plainV4 ? nlriLen : 0);
    if (total > kMaxMessage || list.size() > 0xFFFF) {
        what = "RIB entry too large for one BGP message";
        return false;
    }
    out.assign(kBgpMarkerLen, 0xFF);
    Put16(out, total);
    out.insert(out.end(), {2, 0, 0});  // UPDATE, no withdrawn routes
    Put16(out, list.size());
    out.insert(out.end(), list.begin(), list.end());
    if (plainV4) out.insert(out.end(), nlri, nlri + nlriLen);
    return true;
}

// Length of one NLRI of a family as it stands in MP_REACH_NLRI.
bool NlriLength(uint8_t safi, ByteReader r, size_t &len) {
    uint8_t first = 0;
    if (!r.U8(first)) return false;
    len = safi == kSafiRpd ? 1u + first : 1u + (first + 7u) / 8u;  // RPD counts octets, prefixes bits
    return len <= r.Left() + 1;
}

class MrtReader {
public:
    MrtReader(InputSink &sink, InputCounts &counts) : sink_(sink), counts_(counts) {}

    void Record(uint32_t sec, uint16_t type, uint16_t subtype, ByteReader body, uint64_t offset) {
        offset_ = offset;
        sec_ = sec;
        usec_ = 0;
        switch (type) {
            case kBgp4mpEt:
                if (!body.U32(usec_)) return Damaged("BGP4MP_ET record without its microsecond field");
                [[fallthrough]];
            case kBgp4mp: return Bgp4mp(subtype, body);
            case kTableDumpV2: return TableDumpV2(subtype, body);
            case kTableDump: return TableDump(subtype, body);
            default: counts_.Skip("MRT records of other types (type " + std::to_string(type) + ")", false);
        }
    }

    void At(uint64_t offset) { offset_ = offset; }

    void Damaged(const std::string &what) {
        counts_.Skip("MRT records malformed", true);
        ++counts_.problems;
        sink_.OnProblem({counts_.messages + 1, offset_, "", what});
    }

private:
    struct Peer {
        std::string addr;
        uint32_t as = 0;
    };

    void Bgp4mp(uint16_t subtype, ByteReader body) {
        const bool state = subtype == 0 || subtype == 5;
        const bool message = subtype == 1 || (subtype >= 4 && subtype <= 11 && subtype != 5);
        if (!state && !message) {
            counts_.Skip("BGP4MP records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
            return;
        }
        const bool as4 = subtype == 4 || subtype == 5 || subtype == 7 || subtype == 9 || subtype == 11;
        const bool local = subtype == 6 || subtype == 7 || subtype == 10 || subtype == 11;
        uint32_t peerAs = 0, localAs = 0;
        uint16_t as2a = 0, as2b = 0, ifIndex = 0, afi = 0;
        const bool asOk = as4 ? body.U32(peerAs) && body.U32(localAs)
                              : body.U16(as2a) && body.U16(as2b) && ((peerAs = as2a), (localAs = as2b), true);
        const uint8_t *peerIp = nullptr, *localIp = nullptr;
        if (!asOk || !body.U16(ifIndex) || !body.U16(afi)) return Damaged("BGP4MP record cut short before the addresses");
        if (afi != 1 && afi != 2) return Damaged("BGP4MP record with address family " + std::to_string(afi));
        const size_t addrLen = afi == 1 ? 4 : 16;
        if (!body.Take(addrLen, peerIp) || !body.Take(addrLen, localIp))
            return Damaged("BGP4MP record cut short inside the peer addresses");
        if (state) {
            uint16_t from = 0, to = 0;
            if (!body.U16(from) || !body.U16(to)) return Damaged("BGP4MP state change cut short");
            InputEvent e{offset_, Address(afi, peerIp), peerAs, true, sec_, usec_,
                         std::string("state ") + StateName(from) + " -> " + StateName(to)};
            ++counts_.events;
            sink_.OnEvent(e);
            return;
        }
        const size_t n = body.Left();
        if (n < kBgpHeaderLen || !IsMarker(body.Here()) || Be16(body.Here() + kBgpMarkerLen) != n)
            return Damaged("BGP4MP record does not hold exactly one BGP message");
        Message m;
        m.bytes.assign(body.Here(), body.Here() + n);
        // The sender of a _LOCAL message is the local speaker.
        m.peer = Address(afi, local ? localIp : peerIp);
        m.peerAs = local ? localAs : peerAs;
        m.addPath = subtype >= 8;
        Emit(m);
    }

    void TableDumpV2(uint16_t subtype, ByteReader body) {
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
                counts_.Skip("TABLE_DUMP_V2 records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
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
        if (!NlriLength(safi, body, nlriLen) || !body.Take(nlriLen, nlri))
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

    void PeerIndex(ByteReader body) {
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
            peers_.push_back({Address((type & 1) ? 2 : 1, ip), as});
        }
    }

    // TABLE_DUMP (version 1): one prefix and one peer per record.
    void TableDump(uint16_t subtype, ByteReader body) {
        if (subtype != 1 && subtype != 2) {
            counts_.Skip("TABLE_DUMP records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
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
        std::vector<uint8_t> nlri = {plen};
        nlri.insert(nlri.end(), prefix, prefix + (plen + 7) / 8);
        Message m;
        std::string what;
        if (!Rebuild(subtype == 1 ? 1 : 2, 1, nlri.data(), nlri.size(), attrs, m.bytes, what)) return Damaged(what);
        m.peer = Address(subtype == 1 ? 1 : 2, peerIp);
        m.peerAs = peerAs;
        m.where = "TABLE_DUMP sequence " + std::to_string(seq);
        m.rebuilt = true;
        sec_ = originated;
        Emit(m);
    }

    void Emit(Message &m) {
        m.number = ++counts_.messages;
        m.offset = offset_;
        m.hasTime = true;
        m.sec = sec_;
        m.usec = usec_;
        sink_.OnMessage(m);
    }

    InputSink &sink_;
    InputCounts &counts_;
    std::vector<Peer> peers_;
    uint64_t offset_ = 0;
    uint32_t sec_ = 0;
    uint32_t usec_ = 0;
};

}  // namespace

bool LooksLikeMrt(const uint8_t *head, size_t n) {
    if (n < 12 || !KnownType(Be16(head + 4)) || Be32(head + 8) > kMaxRecord) return false;
    const size_t next = 12 + size_t{Be32(head + 8)};
    return n < next + 12 || KnownType(Be16(head + next + 4));
}

bool ReadMrt(FILE *in, InputSink &sink, InputCounts &counts) {
    MrtReader reader(sink, counts);
    std::vector<uint8_t> body;
    uint64_t offset = 0;
    for (;;) {
        uint8_t hdr[12];
        reader.At(offset);
        const size_t got = std::fread(hdr, 1, sizeof(hdr), in);
        if (got == 0) return true;
        if (got < sizeof(hdr)) {
            reader.Damaged("MRT record header cut short (" + std::to_string(got) + " of 12 bytes)");
            return true;
        }
        const uint32_t len = Be32(hdr + 8);
        if (len > kMaxRecord) {
            reader.Damaged("MRT record length " + std::to_string(len) +
                           " is implausible; the rest of the input is unread (is it MRT?)");
            return true;
        }
        if (!ReadExactly(in, body, len)) {
            reader.Damaged("MRT record cut short (" + std::to_string(body.size()) + " of " + std::to_string(len) +
                           " bytes)");
            return true;
        }
        reader.Record(Be32(hdr), Be16(hdr + 4), Be16(hdr + 6), ByteReader(body.data(), len), offset);
        offset += sizeof(hdr) + len;
        sink.OnProgress(offset);
    }
}

}  // namespace rpdhost
