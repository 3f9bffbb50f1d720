#include "capture.h"

#include <algorithm>
#include <cstring>

#include "fragments.h"
#include "tcp_streams.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

bool Has(const std::vector<uint16_t> &ports, uint16_t p) { return std::find(ports.begin(), ports.end(), p) != ports.end(); }

// The fixed IPv4 header: false with the reason the packet is skipped.
bool Ipv4(ByteReader r, size_t wire, Datagram &d, size_t &l4, size_t &end, uint32_t &id, size_t &fragOffset,
          bool &more, const char *&why) {
    uint8_t vihl = 0;
    uint16_t total = 0, id16 = 0, frag = 0;
    const uint8_t *src = nullptr, *dst = nullptr;
    if (!r.U8(vihl) || (vihl >> 4) != 4 || !r.Skip(1) || !r.U16(total) || !r.U16(id16) || !r.U16(frag) ||
        !r.Skip(1) || !r.U8(d.proto) || !r.Skip(2) || !r.Take(4, src) || !r.Take(4, dst)) {
        why = "IPv4 packets with a bad header";
        return false;
    }
    l4 = (vihl & 15u) * 4u;
    end = total;
    if (l4 < 20 || l4 > r.Size()) {
        why = "IPv4 packets with a bad header length";
        return false;
    }
    if (end < l4 || end > wire) {
        why = "IPv4 packets with a bad total length";
        return false;
    }
    more = (frag & 0x2000) != 0;
    fragOffset = (frag & 0x1FFFu) * 8u;
    id = id16;
    std::memcpy(d.src, src, 4);
    std::memcpy(d.dst, dst, 4);
    return true;
}

// The IPv6 header and its extension headers up to the transport (past a
// fragment header, which `fragment` then reports).
bool Ipv6(ByteReader r, size_t wire, Datagram &d, size_t &l4, size_t &end, bool &fragment, uint32_t &id,
          size_t &fragOffset, bool &more, const char *&why) {
    uint8_t version = 0;
    uint16_t payload = 0;
    const uint8_t *src = nullptr, *dst = nullptr;
    if (r.Size() < 40 || !r.U8(version) || (version >> 4) != 6 || !r.Skip(3) || !r.U16(payload) || !r.U8(d.proto) ||
        !r.Skip(1) || !r.Take(16, src) || !r.Take(16, dst)) {
        why = "IPv6 packets with a bad header";
        return false;
    }
    d.v6 = true;
    std::memcpy(d.src, src, 16);
    std::memcpy(d.dst, dst, 16);
    end = 40 + size_t{payload};
    if (end > wire) {
        why = "IPv6 packets with a bad payload length";
        return false;
    }
    // Hop-by-hop, routing and destination options headers, then perhaps a fragment header.
    ByteReader ext(r.Data(), std::min(r.Size(), end));
    (void)ext.Skip(40);
    while (d.proto == kIpv6HopByHop || d.proto == kIpv6Routing || d.proto == kIpv6DestOptions ||
           d.proto == kIpv6Fragment) {
        uint8_t next = 0, extLen = 0;
        uint16_t frag = 0;
        if (ext.Left() < 8 || !ext.U8(next) || !ext.U8(extLen)) {
            why = "IPv6 packets cut inside their extension headers";
            return false;
        }
        if (d.proto == kIpv6Fragment) {
            (void)(ext.U16(frag) && ext.U32(id));
            more = (frag & 1) != 0;
            fragOffset = frag & 0xFFF8u;
            fragment = true;
            d.proto = next;
            break;
        }
        if (!ext.Skip((size_t{extLen} + 1) * 8 - 2)) {
            why = "IPv6 packets cut inside their extension headers";
            return false;
        }
        d.proto = next;
    }
    l4 = ext.Pos();
    return true;
}

}  // namespace

CaptureDecoder::CaptureDecoder(const CaptureOptions &opt, ReaderContext &ctx)
    : opt_(opt), ctx_(ctx), memory_(opt.memory), fragments_(std::make_unique<Fragments>(ctx, memory_)),
      streams_(std::make_unique<TcpStreams>(ctx, memory_)) {}

CaptureDecoder::~CaptureDecoder() = default;

void CaptureDecoder::Frame(const FrameInfo &f, const uint8_t *p, size_t n) {
    ByteReader r(p, n);
    uint16_t proto = 0;
    bool ok = true;
    switch (f.linkType) {
        case kLinkEthernet: {
            ok = r.Skip(12) && r.U16(proto);
            for (int tags = 0; ok && tags < 2 && (proto == kEtherVlan || proto == kEtherQinQ); ++tags)
                ok = r.Skip(2) && r.U16(proto);
            break;
        }
        case kLinkLinuxSll: ok = r.Skip(14) && r.U16(proto); break;
        case kLinkLinuxSll2: ok = r.U16(proto) && r.Skip(18); break;
        case kLinkNull:
        case kLinkLoop: {
            // The address family, in the byte order of the machine that wrote it.
            const uint8_t *fam = nullptr;
            ok = r.Take(4, fam);
            if (!ok) break;
            uint32_t v = 0;
            std::memcpy(&v, fam, 4);
            const uint32_t s = __builtin_bswap32(v);
            auto isV6 = [](uint32_t x) { return x == 10 || x == 24 || x == 28 || x == 30; };
            proto = (v == 2 || s == 2) ? kEtherIpv4 : (isV6(v) || isV6(s)) ? kEtherIpv6 : 0;
            break;
        }
        case kLinkRaw:
        case 12:  // DLT_RAW as some writers store it
        case 14:
        case kLinkIpv4:
        case kLinkIpv6:
            ok = n > 0;
            if (ok) proto = (p[0] >> 4) == 6 ? kEtherIpv6 : kEtherIpv4;
            break;
        default:
            ctx_.Skip("frames of an unsupported link type (" + std::to_string(f.linkType) + ")", true);
            return;
    }
    if (!ok) return ctx_.Skip("frames too short for their link-layer header", true);
    if (proto != kEtherIpv4 && proto != kEtherIpv6)
        return ctx_.Skip("frames of other network protocols (not IPv4 or IPv6)", false);
    const size_t wire = f.wireLen >= n ? r.Left() + (f.wireLen - n) : r.Left();
    Ip(f, r.Here(), r.Left(), wire, proto == kEtherIpv4 ? 4 : 6);
    if (memory_.Over()) Enforce();
}

void CaptureDecoder::Enforce() {
    if (!budgetSaid_) {
        budgetSaid_ = true;
        ctx_.Problem("capture", Place(), "reassembly reached its memory budget (" +
                                             std::to_string(memory_.Limit() >> 20) +
                                             " MiB, --capture-memory): the oldest held data gives way, counted below");
    }
    while (memory_.Over()) {
        const uint64_t frag = fragments_->OldestAge(), tcp = streams_->OldestAge();
        if (frag == kNothingHeld && tcp == kNothingHeld) break;
        if (frag < tcp) fragments_->EvictOldest();
        else streams_->EvictOldest();
    }
}

void CaptureDecoder::Ip(const FrameInfo &f, const uint8_t *ip, size_t len, size_t wire, int version) {
    Datagram d;
    size_t l4 = 0, end = 0, fragOffset = 0;
    bool fragment = false, more = false;
    uint32_t id = 0;
    const char *why = nullptr;
    if (version == 4) {
        if (!Ipv4(ByteReader(ip, len), wire, d, l4, end, id, fragOffset, more, why)) return ctx_.Skip(why, true);
        fragment = more || fragOffset != 0;
    } else if (!Ipv6(ByteReader(ip, len), wire, d, l4, end, fragment, id, fragOffset, more, why)) {
        return ctx_.Skip(why, true);
    }
    if (end > len) {  // the capture kept less than the packet
        d.cut = true;
        end = len;
    }
    if (l4 > end) return ctx_.Skip("IP packets cut short by the capture", true);
    d.payload = ip + l4;
    d.len = end - l4;
    if (!fragment) return Transport(f, d);
    if (d.cut) return ctx_.Skip("IP fragments cut short by the capture", true);
    Datagram whole;
    Bytes buffer;
    if (fragments_->Add(d, id, fragOffset, more, whole, buffer)) Transport(f, whole);
}

void CaptureDecoder::Transport(const FrameInfo &f, const Datagram &d) {
    if (d.proto != kIpProtoTcp) return ctx_.Skip("IP packets of other protocols (not TCP)", false);
    ByteReader r(d.payload, d.len);
    TcpPacket s;
    uint8_t offset = 0;
    if (!r.U16(s.sport) || !r.U16(s.dport) || !r.U32(s.seq) || !r.U32(s.ack) || !r.U8(offset) || !r.U8(s.flags) ||
        d.len < 20)
        return ctx_.Skip(d.cut ? "TCP segments cut short by the capture" : "TCP segments with a header cut short", true);
    const size_t doff = (offset >> 4) * 4u;
    if (doff < 20) return ctx_.Skip("TCP segments with a data offset below 5", true);
    if (doff > d.len) return ctx_.Skip("TCP segments with a data offset past their end", true);
    s.ip = &d;
    s.data = d.payload + doff;
    s.len = d.len - doff;
    if (!Kind(s, s.kind)) return;
    if (d.cut && s.len > 0) {
        // Its bytes are lost (the stream resumes after them); its flags and acknowledgement still count.
        ctx_.Skip("TCP segments cut short by the capture", true);
        s.len = 0;
    }
    if (s.kind == FlowKind::BmpStation && s.len > 0) {
        ctx_.Skip("TCP segments a BMP station sent (not read)", false);
        s.len = 0;
    }
    streams_->Segment(f, s);
}

bool CaptureDecoder::Kind(const TcpPacket &s, FlowKind &kind) {
    if (Has(opt_.bmpPorts, s.dport)) kind = FlowKind::Bmp;
    else if (Has(opt_.bmpPorts, s.sport)) kind = FlowKind::BmpStation;
    else if (Has(opt_.bgpPorts, s.sport) || Has(opt_.bgpPorts, s.dport)) kind = FlowKind::Bgp;
    else {
        // Not ours by its ports; what it starts with gives the operator a hint.
        if (StartsBgpMessage(s.data, s.len)) {
            const uint16_t port = std::min(s.sport, s.dport);
            ctx_.Skip("TCP segments on port " + std::to_string(port) + " that start a BGP message (try --port " +
                          std::to_string(port) + ")",
                      false);
        } else if (StartsBmpMessage(s.data, s.len)) {
            ctx_.Skip("TCP segments on port " + std::to_string(s.dport) +
                          " that start a BMP message (try --bmp-port " + std::to_string(s.dport) + ")",
                      false);
        } else {
            ctx_.Skip("TCP segments on other ports", false);
        }
        return false;
    }
    return true;
}

void CaptureDecoder::Finish() {
    fragments_->Finish();
    streams_->Finish();
}

}  // namespace rpdhost
