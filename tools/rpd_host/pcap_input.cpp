// BGP over TCP from pcap/pcapng captures: frames are taken apart down to TCP,
// each direction of a port-179 connection is reassembled in sequence order
// (out-of-order segments held until the gap before them fills, overlaps and
// retransmissions trimmed) and cut into BGP messages.
#include <arpa/inet.h>
#include <pcap/pcap.h>

#include <cstring>
#include <map>

#include "input_internal.h"

namespace rpdhost {

namespace {

constexpr uint16_t kBgpPort = 179;
constexpr size_t kMaxHeldBytes = 8u << 20;  // out-of-order data kept per direction
constexpr size_t kMaxFlows = 1u << 16;


struct Segment {
    bool v6 = false;
    uint8_t src[16] = {};
    uint8_t dst[16] = {};
    uint16_t sport = 0, dport = 0;
    uint32_t seq = 0;
    uint8_t flags = 0;
    const uint8_t *data = nullptr;
    size_t len = 0;
    bool cut = false;  // the capture kept less than the packet carried
};

enum class Frame { Tcp, Skip };

// Finds the IP packet inside a link-layer frame.
bool LinkPayload(int dlt, const uint8_t *p, size_t n, const uint8_t *&ip, size_t &ipLen, int &version) {
    size_t off = 0;
    uint16_t proto = 0;
    switch (dlt) {
        case DLT_EN10MB:
            if (n < 14) return false;
            proto = Be16(p + 12);
            off = 14;
            for (int tags = 0; tags < 2 && (proto == 0x8100 || proto == 0x88A8); ++tags) {
                if (n < off + 4) return false;
                proto = Be16(p + off + 2);
                off += 4;
            }
            break;
        case DLT_LINUX_SLL:
            if (n < 16) return false;
            proto = Be16(p + 14);
            off = 16;
            break;
#ifdef DLT_LINUX_SLL2
        case DLT_LINUX_SLL2:
            if (n < 20) return false;
            proto = Be16(p);
            off = 20;
            break;
#endif
        case DLT_NULL:
        case DLT_LOOP: {
            if (n < 4) return false;
            uint32_t fam;
            std::memcpy(&fam, p, 4);
            const uint32_t swapped = __builtin_bswap32(fam);
            auto isV6 = [](uint32_t f) { return f == 24 || f == 28 || f == 30; };
            proto = (fam == 2 || swapped == 2) ? 0x0800 : (isV6(fam) || isV6(swapped)) ? 0x86DD : 0;
            off = 4;
            break;
        }
        case DLT_RAW:
#ifdef DLT_IPV4
        case DLT_IPV4:
        case DLT_IPV6:
#endif
            if (n < 1) return false;
            proto = (p[0] >> 4) == 6 ? 0x86DD : 0x0800;
            break;
        default:
            return false;
    }
    if (proto != 0x0800 && proto != 0x86DD) return false;
    ip = p + off;
    ipLen = n - off;
    version = proto == 0x0800 ? 4 : 6;
    return true;
}

// Takes an IP packet apart down to its TCP payload. `wire` is the packet's
// length on the wire when the capture cut it, else equal to ipLen.
Frame ParseIp(const uint8_t *ip, size_t ipLen, size_t wire, int version, Segment &s) {
    size_t l4 = 0, end = 0;
    uint8_t proto = 0;
    if (version == 4) {
        if (ipLen < 20 || (ip[0] >> 4) != 4) return Frame::Skip;
        const size_t ihl = (ip[0] & 15u) * 4u;
        const size_t total = Be16(ip + 2);
        if (ihl < 20 || total < ihl) return Frame::Skip;
        if ((Be16(ip + 6) & 0x3FFF) != 0) return Frame::Skip;  // fragment
        proto = ip[9];
        std::memcpy(s.src, ip + 12, 4);
        std::memcpy(s.dst, ip + 16, 4);
        l4 = ihl;
        end = total;
    } else {
        if (ipLen < 40 || (ip[0] >> 4) != 6) return Frame::Skip;
        s.v6 = true;
        std::memcpy(s.src, ip + 8, 16);
        std::memcpy(s.dst, ip + 24, 16);
        end = 40 + size_t{Be16(ip + 4)};
        proto = ip[6];
        l4 = 40;
        // Hop-by-hop, routing and destination options headers; fragments are not followed.
        while (proto == 0 || proto == 43 || proto == 60) {
            if (ipLen < l4 + 8) return Frame::Skip;
            proto = ip[l4];
            l4 += (size_t{ip[l4 + 1]} + 1) * 8;
        }
    }
    if (proto != 6) return Frame::Skip;
    if (end > wire) return Frame::Skip;  // claims more than the packet carried
    if (end > ipLen) {
        s.cut = true;
        end = ipLen;
    }
    if (end < l4 + 20) return Frame::Skip;
    const uint8_t *tcp = ip + l4;
    const size_t doff = (tcp[12] >> 4) * 4u;
    if (doff < 20 || l4 + doff > end) return Frame::Skip;
    s.sport = Be16(tcp);
    s.dport = Be16(tcp + 2);
    if (s.sport != kBgpPort && s.dport != kBgpPort) return Frame::Skip;
    s.seq = Be32(tcp + 4);
    s.flags = tcp[13];
    s.data = tcp + doff;
    s.len = end - l4 - doff;
    return Frame::Tcp;
}

struct Flow {
    std::string where;
    std::string peer;
    bool started = false;
    bool dead = false;
    bool synSeen = false;
    uint32_t isn = 0;
    uint32_t next = 0;
    std::map<uint32_t, std::vector<uint8_t>> held;
    size_t heldBytes = 0;
    Framer framer{false};
};

class PcapReader {
public:
    PcapReader(InputSink &sink, InputCounts &counts) : sink_(sink), counts_(counts) {}

    void OnSegment(const Segment &s, int64_t sec, uint32_t usec) {
        sec_ = sec;
        usec_ = usec;
        const std::string key(reinterpret_cast<const char *>(s.src), 16);
        std::string id = key + std::string(reinterpret_cast<const char *>(s.dst), 16);
        id.push_back(static_cast<char>(s.sport >> 8));
        id.push_back(static_cast<char>(s.sport));
        id.push_back(static_cast<char>(s.dport >> 8));
        id.push_back(static_cast<char>(s.dport));
        auto it = flows_.find(id);
        if (it == flows_.end()) {
            if (flows_.size() >= kMaxFlows) {
                ++counts_.skippedPackets;
                return;
            }
            it = flows_.emplace(id, Flow{}).first;
            Describe(s, it->second);
            ++counts_.streams;
        }
        Flow &f = it->second;
        if ((s.flags & 0x02) && !(f.synSeen && s.seq == f.isn)) {  // SYN: a new connection on this 4-tuple
            Finish(f);
            f.synSeen = true;
            f.isn = s.seq;
            f.started = true;
            f.dead = false;
            f.next = s.seq + 1;
            f.held.clear();
            f.heldBytes = 0;
            f.framer = Framer(false);
        }
        if (f.dead || s.len == 0) return;
        if (s.cut) {
            Problem(f, "a segment was cut short by the capture's snapshot length; the rest of this stream is skipped");
            f.dead = true;
            return;
        }
        if (!f.started) {  // capture began mid-connection
            f.started = true;
            f.next = s.seq;
        }
        Accept(f, s.seq, s.data, s.len);
    }

    void FinishAll() {
        for (auto &[id, f] : flows_) Finish(f);
    }

private:
    void Describe(const Segment &s, Flow &f) {
        char a[INET6_ADDRSTRLEN] = "", b[INET6_ADDRSTRLEN] = "";
        const int fam = s.v6 ? AF_INET6 : AF_INET;
        inet_ntop(fam, s.src, a, sizeof(a));
        inet_ntop(fam, s.dst, b, sizeof(b));
        f.peer = a;
        const bool br = s.v6;
        f.where = std::string("TCP ") + (br ? "[" : "") + a + (br ? "]" : "") + ":" + std::to_string(s.sport) +
                  " > " + (br ? "[" : "") + b + (br ? "]" : "") + ":" + std::to_string(s.dport);
    }

    void Accept(Flow &f, uint32_t seq, const uint8_t *data, size_t len) {
        const int32_t rel = static_cast<int32_t>(seq - f.next);
        if (rel > 0) {  // a gap before it: hold until it fills
            auto &slot = f.held[seq];
            if (slot.size() >= len) return;
            f.heldBytes += len - slot.size();
            slot.assign(data, data + len);
            if (f.heldBytes > kMaxHeldBytes) {
                Problem(f, "too much data behind a gap in the stream; the rest of this stream is skipped");
                f.dead = true;
            }
            return;
        }
        const size_t skip = static_cast<size_t>(-static_cast<int64_t>(rel));
        if (skip >= len) return;  // retransmission of what we have
        Deliver(f, data + skip, len - skip);
        // Held segments that now continue the stream.
        for (bool moved = true; moved && !f.dead && !f.held.empty();) {
            moved = false;
            for (auto it = f.held.begin(); it != f.held.end(); ++it) {
                if (static_cast<int32_t>(it->first - f.next) > 0) continue;
                std::vector<uint8_t> bytes = std::move(it->second);
                const uint32_t at = it->first;
                f.heldBytes -= bytes.size();
                f.held.erase(it);
                const size_t over = static_cast<size_t>(f.next - at);
                if (over < bytes.size()) Deliver(f, bytes.data() + over, bytes.size() - over);
                moved = true;
                break;
            }
        }
    }

    void Deliver(Flow &f, const uint8_t *data, size_t len) {
        f.next += static_cast<uint32_t>(len);
        f.framer.Feed(data, len);
        std::vector<uint8_t> bytes;
        uint64_t offset = 0;
        std::string what;
        for (;;) {
            const int r = f.framer.Next(bytes, offset, what);
            if (r == 0) return;
            if (r < 0) {
                ++counts_.problems;
                sink_.OnProblem({counts_.messages + 1, offset, f.where, what});
                f.dead = true;
                return;
            }
            Message m;
            m.bytes.swap(bytes);
            m.number = ++counts_.messages;
            m.offset = offset;
            m.where = f.where;
            m.peer = f.peer;
            m.hasTime = true;
            m.sec = sec_;
            m.usec = usec_;
            sink_.OnMessage(m);
        }
    }

    void Finish(Flow &f) {
        if (!f.started || f.dead) return;
        if (!f.held.empty())
            Problem(f, "stream ends with data missing before " + std::to_string(f.heldBytes) + " held bytes");
        else if (f.framer.Pending() > 0)
            Problem(f, "stream ends inside a message (" + std::to_string(f.framer.Pending()) + " bytes left over)");
        f.started = false;
    }

    void Problem(Flow &f, const std::string &what) {
        ++counts_.problems;
        sink_.OnProblem({counts_.messages + 1, f.framer.Consumed(), f.where, what});
    }

    InputSink &sink_;
    InputCounts &counts_;
    std::map<std::string, Flow> flows_;
    int64_t sec_ = 0;
    uint32_t usec_ = 0;
};

}  // namespace

bool ReadPcap(FILE *in, InputSink &sink, InputCounts &counts, std::string &fatal) {
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t *pc = pcap_fopen_offline(in, errbuf);
    if (pc == nullptr) {
        std::fclose(in);
        fatal = std::string("not a readable capture: ") + errbuf;
        return false;
    }
    const int dlt = pcap_datalink(pc);
    const bool nanos = pcap_get_tstamp_precision(pc) == PCAP_TSTAMP_PRECISION_NANO;
    PcapReader reader(sink, counts);
    pcap_pkthdr *hdr = nullptr;
    const u_char *data = nullptr;
    int r;
    uint64_t bytes = 24;
    while ((r = pcap_next_ex(pc, &hdr, &data)) == 1) {
        ++counts.packets;
        bytes += 16 + hdr->caplen;
        sink.OnProgress(bytes);
        const uint8_t *ip = nullptr;
        size_t ipLen = 0;
        int version = 0;
        Segment s;
        if (!LinkPayload(dlt, data, hdr->caplen, ip, ipLen, version)) {
            ++counts.skippedPackets;
            continue;
        }
        const size_t wire = hdr->len >= hdr->caplen ? ipLen + (hdr->len - hdr->caplen) : ipLen;
        if (ParseIp(ip, ipLen, wire, version, s) != Frame::Tcp) {
            ++counts.skippedPackets;
            continue;
        }
        const uint32_t usec = nanos ? static_cast<uint32_t>(hdr->ts.tv_usec / 1000) : static_cast<uint32_t>(hdr->ts.tv_usec);
        reader.OnSegment(s, hdr->ts.tv_sec, usec);
    }
    if (r == -1) {
        ++counts.problems;
        sink.OnProblem({counts.messages + 1, bytes, "", std::string("capture: ") + pcap_geterr(pc)});
    }
    reader.FinishAll();
    pcap_close(pc);
    return true;
}

}  // namespace rpdhost
