#include "mrt_reader.h"

#include "address.h"
#include "file_read.h"
#include "readers.h"
#include "wire.h"

namespace rpdhost {

using namespace rpdwire;

void MrtReader::Record(uint32_t sec, uint16_t type, uint16_t subtype, ByteReader body, uint64_t offset) {
    offset_ = offset;
    sec_ = sec;
    usec_ = 0;
    switch (type) {
        case kMrtBgp4mpEt:
            if (!body.U32(usec_)) return Damaged("BGP4MP_ET record without its microsecond field");
            [[fallthrough]];
        case kMrtBgp4mp: return Bgp4mp(subtype, body);
        case kMrtTableDumpV2: return TableDumpV2(subtype, body);
        case kMrtTableDump: return TableDump(subtype, body);
        default: ctx_.Skip("MRT records of other types (type " + std::to_string(type) + ")", false);
    }
}

void MrtReader::Damaged(std::string what) { ctx_.Damage("MRT", Place(offset_), "MRT records malformed", std::move(what)); }

void MrtReader::Emit(Message &m) {
    m.offset = offset_;
    m.hasTime = true;
    m.sec = sec_;
    m.usec = usec_;
    ctx_.Emit(m);
}

void MrtReader::Bgp4mp(uint16_t subtype, ByteReader body) {
    const bool state = subtype == 0 || subtype == kBgp4mpStateChangeAs4;
    const bool message = subtype == 1 || (subtype >= 4 && subtype <= 11 && subtype != kBgp4mpStateChangeAs4);
    if (!state && !message) {
        ctx_.Skip("BGP4MP records of other subtypes (subtype " + std::to_string(subtype) + ")", false);
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
    if (afi != kAfiIpv4 && afi != kAfiIpv6) return Damaged("BGP4MP record with address family " + std::to_string(afi));
    const bool v6 = afi == kAfiIpv6;
    if (!body.Take(v6 ? 16 : 4, peerIp) || !body.Take(v6 ? 16 : 4, localIp))
        return Damaged("BGP4MP record cut short inside the peer addresses");
    if (state) {
        uint16_t from = 0, to = 0;
        if (!body.U16(from) || !body.U16(to)) return Damaged("BGP4MP state change cut short");
        InputEvent e{offset_, AddressText(v6, peerIp), peerAs, true, sec_, usec_,
                     std::string("state ") + StateName(from) + " -> " + StateName(to)};
        constexpr uint16_t kEstablished = 6;
        if (from == kEstablished && to != kEstablished) e.ends = InputEvent::Ends::Peer;
        ctx_.Event(e);
        return;
    }
    const size_t n = body.Left();
    if (n < kBgpHeaderLen || CheckBgpHeader(body.Here()) == HeaderFault::Marker || BgpLength(body.Here()) != n)
        return Damaged("BGP4MP record does not hold exactly one BGP message");
    Message m;
    m.bytes.assign(body.Here(), body.Here() + n);
    // The sender of a _LOCAL message is the local speaker.
    m.peer = AddressText(v6, local ? localIp : peerIp);
    m.peerAs = local ? localAs : peerAs;
    m.addPath = subtype >= 8;
    Emit(m);
}

bool LooksLikeMrt(const uint8_t *head, size_t n, bool anyType) {
    if (n < kMrtHeaderLen || Be32(head + 8) > kMrtMaxRecord) return false;
    const size_t next = kMrtHeaderLen + size_t{Be32(head + 8)};
    if (!anyType) return KnownMrtType(Be16(head + 4)) && (n < next + kMrtHeaderLen || KnownMrtType(Be16(head + next + 4)));
    // Records of types rpd-host does not read: the next record where the first one's length says, a day apart at most.
    constexpr uint32_t kDay = 86400;
    if (n < next + kMrtHeaderLen) return false;
    const uint32_t t1 = Be32(head), t2 = Be32(head + next);
    return (t1 > t2 ? t1 - t2 : t2 - t1) <= kDay && Be32(head + next + 8) <= kMrtMaxRecord;
}

void ReadMrt(FILE *in, ReaderContext &ctx) {
    MrtReader reader(ctx);
    std::vector<uint8_t> body;
    uint64_t offset = 0;
    for (;;) {
        uint8_t hdr[kMrtHeaderLen];
        reader.At(offset);
        const size_t got = std::fread(hdr, 1, sizeof(hdr), in);
        if (got == 0) return;
        if (got < sizeof(hdr))
            return reader.Damaged("MRT record header cut short (" + std::to_string(got) + " of 12 bytes)");
        const uint32_t len = Be32(hdr + 8);
        if (len > kMrtMaxRecord)
            return reader.Damaged("MRT record length " + std::to_string(len) +
                                  " is implausible; the rest of the input is unread (is it MRT?)");
        if (!ReadExactly(in, body, len))
            return reader.Damaged("MRT record cut short (" + std::to_string(body.size()) + " of " +
                                  std::to_string(len) + " bytes)");
        reader.Record(Be32(hdr), Be16(hdr + 4), Be16(hdr + 6), ByteReader(body.data(), len), offset);
        offset += sizeof(hdr) + len;
        ctx.Progress(offset);
    }
}

}  // namespace rpdhost
