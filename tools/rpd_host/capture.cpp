#include "capture.h"

#include <algorithm>
#include <cstring>

#include "capture_internal.h"

namespace rpdhost {

namespace {

constexpr uint16_t kEtherIpv4 = 0x0800, kEtherIpv6 = 0x86DD;
constexpr uint8_t kProtoTcp = 6;
constexpr uint8_t kIpv6Fragment = 44;

}  // namespace

CaptureDecoder::CaptureDecoder(const InputOptions &opt, InputSink &sink, InputCounts &counts)
    : opt_(opt), counts_(counts), fragments_(std::make_unique<Fragments>(counts)),
      streams_(std::make_unique<TcpStreams>(sink, counts)) {}

CaptureDecoder::~CaptureDecoder() = default;

void CaptureDecoder::Frame(const FrameInfo &f, const uint8_t *p, size_t n) {
    ByteReader r(p, n);
    uint16_t proto = 0;
    bool ok = true;
    switch (f.linkType) {
        case kLinkEthernet: {
            ok = r.Skip(12) && r.U16(proto);
            for (int tags = 0; ok && tags < 2 && (proto == 0x8100 || proto == 0x88A8); ++tags) ok = r.Skip(2) && r.U16(proto);
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
            counts_.Skip("frames of an unsupported link type (" + std::to_string(f.linkType) + ")", true);
            return;
    }
    if (!ok) return counts_.Skip("frames too short for their link-layer header", true);
    if (proto != kEtherIpv4 && proto != kEtherIpv6)
        return counts_.Skip("frames of other network protocols (not IPv4 or IPv6)", false);
    const size_t wire = f.wireLen >= n ? r.Left() + (f.wireLen - n) : r.Left();
    Ip(f, r.Here(), r.Left(), wire, proto == kEtherIpv4 ? 4 : 6);
}

void CaptureDecoder::Ip(const FrameInfo &f, const uint8_t *ip, size_t len, size_t wire, int version) {
    Datagram d;
    size_t l4 = 0, end = 0;
    bool fragment = false, more = false;
    size_t fragOffset = 0;
    uint32_t id = 0;
    if (version == 4) {
        if (len < 20 || (ip[0] >> 4) != 4) return counts_.Skip("IPv4 packets with a bad header", true);
        const size_t ihl = (ip[0] & 15u) * 4u;
        end = Be16(ip + 2);
        if (ihl < 20 || ihl > len) return counts_.Skip("IPv4 packets with a bad header length", true);
        if (end < ihl || end > wire) return counts_.Skip("IPv4 packets with a bad total length", true);
        const uint16_t frag = Be16(ip + 6);
        more = (frag & 0x2000) != 0;
        fragOffset = (frag & 0x1FFFu) * 8u;
        fragment = more || fragOffset != 0;
        id = Be16(ip + 4);
        d.proto = ip[9];
        std::memcpy(d.src, ip + 12, 4);
        std::memcpy(d.dst, ip + 16, 4);
        l4 = ihl;
    } else {
        if (len < 40 || (ip[0] >> 4) != 6) return counts_.Skip("IPv6 packets with a bad header", true);
        d.v6 = true;
        std::memcpy(d.src, ip + 8, 16);
        std::memcpy(d.dst, ip + 24, 16);
        end = 40 + size_t{Be16(ip + 4)};
        if (end > wire) return counts_.Skip("IPv6 packets with a bad payload length", true);
        d.proto = ip[6];
        l4 = 40;
        // Hop-by-hop, routing and destination options headers, then perhaps a fragment header.
        while (d.proto == 0 || d.proto == 43 || d.proto == 60 || d.proto == kIpv6Fragment) {
            if (std::min(len, end) < l4 + 8) return counts_.Skip("IPv6 packets cut inside their extension headers", true);
            const uint8_t nextHeader = ip[l4];
            if (d.proto == kIpv6Fragment) {
                const uint16_t frag = Be16(ip + l4 + 2);
                more = (frag & 1) != 0;
                fragOffset = frag & 0xFFF8u;
                fragment = true;
                id = Be32(ip + l4 + 4);
                d.proto = nextHeader;
                l4 += 8;
                break;
            }
            l4 += (size_t{ip[l4 + 1]} + 1) * 8;
            d.proto = nextHeader;
        }
        if (l4 > end) return counts_.Skip("IPv6 packets cut inside their extension headers", true);
    }
    if (end > len) {  // the capture kept less than the packet
        d.cut = true;
        end = len;
    }
    if (l4 > end) return counts_.Skip("IP packets cut short by the capture", true);
    d.payload = ip + l4;
    d.len = end - l4;
    if (!fragment) return Transport(f, d);
    if (d.cut) return counts_.Skip("IP fragments cut short by the capture", true);
    Datagram whole;
    std::vector<uint8_t> buffer;
    if (fragments_->Add(d, id, fragOffset, more, whole, buffer)) Transport(f, whole);
}

void CaptureDecoder::Transport(const FrameInfo &f, const Datagram &d) {
    if (d.proto != kProtoTcp) return counts_.Skip("IP packets of other protocols (not TCP)", false);
    if (d.len < 20) return counts_.Skip(d.cut ? "TCP segments cut short by the capture" : "TCP segments with a header cut short", true);
    const uint8_t *tcp = d.payload;
    const size_t doff = (tcp[12] >> 4) * 4u;
    if (doff < 20) return counts_.Skip("TCP segments with a data offset below 5", true);
    if (doff > d.len) return counts_.Skip("TCP segments with a data offset past their end", true);
    TcpSegment s;
    s.ip = &d;
    s.sport = Be16(tcp);
    s.dport = Be16(tcp + 2);
    s.seq = Be32(tcp + 4);
    s.ack = Be32(tcp + 8);
    s.flags = tcp[13];
    s.data = tcp + doff;
    s.len = d.len - doff;
    const auto &ports = opt_.ports;
    if (std::find(ports.begin(), ports.end(), s.sport) == ports.end() &&
        std::find(ports.begin(), ports.end(), s.dport) == ports.end()) {
        if (StartsMessage(s.data, s.len)) {
            const uint16_t port = std::min(s.sport, s.dport);
            counts_.Skip("TCP segments on port " + std::to_string(port) + " that start a BGP message (try --port " +
                             std::to_string(port) + ")",
                         false);
        } else {
            counts_.Skip("TCP segments on other ports", false);
        }
        return;
    }
    if (d.cut && s.len > 0) {
        // Its bytes are lost (the stream resumes after them); its flags and acknowledgement still count.
        counts_.Skip("TCP segments cut short by the capture", true);
        s.len = 0;
    }
    streams_->Segment(f, s);
}

void CaptureDecoder::Finish() {
    fragments_->Finish();
    streams_->Finish();
}

}  // namespace rpdhost
