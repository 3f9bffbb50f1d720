#include "tcp_streams.h"

#include "address.h"
#include "bgp_stream.h"
#include "bmp_stream.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

constexpr size_t kMaxFlows = 1u << 16;
// Data held behind a gap before the gap counts as lost. Well above what
// reordering needs, well below what a long capture would pile up.
constexpr size_t kMaxHeldBytes = 4u << 20;
constexpr size_t kMaxHeldSegments = 1u << 16;  // per direction: bounds the bookkeeping of tiny segments
constexpr size_t kMaxHeldTotal = 64u << 20;    // behind gaps in all streams together
constexpr char kLost[] = "bytes missing from the capture in TCP streams (passed over)";

std::string FlowKey(const Datagram &d, uint16_t sport, uint16_t dport) {
    std::string k(reinterpret_cast<const char *>(d.src), 16);
    k.append(reinterpret_cast<const char *>(d.dst), 16);
    k.push_back(static_cast<char>(sport >> 8));
    k.push_back(static_cast<char>(sport));
    k.push_back(static_cast<char>(dport >> 8));
    k.push_back(static_cast<char>(dport));
    k.push_back(static_cast<char>(d.v6));
    return k;
}

}  // namespace

TcpStreams::Flow &TcpStreams::Find(const TcpPacket &s) {
    const std::string key = FlowKey(*s.ip, s.sport, s.dport);
    auto it = index_.find(key);
    if (it != index_.end()) {
        flows_.splice(flows_.end(), flows_, it->second);  // now the most recently active
        return *it->second;
    }
    if (flows_.size() >= kMaxFlows) {
        // The least recently active stream gives way; what it still held is reported as lost.
        if (!fullReported_) {
            fullReported_ = true;
            ctx_.Problem("capture", Place(), "more than " + std::to_string(kMaxFlows) +
                                 " TCP streams at once: the least recently active ones are closed to make room");
        }
        Flow &old = flows_.front();
        Close(old);
        ctx_.Skip("TCP streams closed early to make room in a full stream table", false);
        if (old.reverse != nullptr) old.reverse->reverse = nullptr;
        index_.erase(old.key);
        flows_.pop_front();
    }
    flows_.emplace_back();
    Flow &f = flows_.back();
    f.key = key;
    f.kind = s.kind;
    index_[key] = std::prev(flows_.end());
    Start(f, s);
    const auto rev = index_.find(FlowKey(*s.ip, s.dport, s.sport));
    if (rev != index_.end() && rev->second->key != key) {  // (a connection to itself has no other side)
        f.reverse = &*rev->second;
        rev->second->reverse = &f;
    }
    ++ctx_.counts().streams;
    return f;
}

// A new decoder for the stream, named for the reports: a BGP direction by
// both its ends, a BMP stream by the router that sends it.
void TcpStreams::Start(Flow &f, const TcpPacket &s) {
    const Datagram &d = *s.ip;
    if (f.kind == FlowKind::BmpStation) return;
    if (f.kind == FlowKind::Bmp) {
        f.decoder = std::make_unique<BmpStream>(ctx_, BmpStream::Mode::Resync);
        f.decoder->origin().where = "router " + EndpointText(d.v6, d.src, s.sport);
        return;
    }
    f.decoder = std::make_unique<BgpStream>(ctx_);
    Origin &o = f.decoder->origin();
    o.where = "TCP " + EndpointText(d.v6, d.src, s.sport) + " > " + EndpointText(d.v6, d.dst, s.dport);
    o.peer = AddressText(d.v6, d.src);
    o.hasTime = true;
}

uint64_t TcpStreams::Offset(const Flow &f, uint32_t seq) const {
    // The stream offset nearest to the one expected that has this sequence number.
    const uint32_t expected = f.base + static_cast<uint32_t>(f.next);
    const int64_t at = static_cast<int64_t>(f.next) + static_cast<int32_t>(seq - expected);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

void TcpStreams::Segment(const FrameInfo &fr, const TcpPacket &s) {
    Flow &f = Find(s);
    auto stamp = [&] {
        if (!f.decoder) return;
        Origin &o = f.decoder->origin();
        o.sec = fr.sec;
        o.usec = fr.usec;
        o.frame = fr.number;
    };
    stamp();
    if ((s.flags & kTcpSyn) && !(f.synSeen && s.seq == f.base - 1)) {  // a new connection on these addresses and ports
        Close(f);
        Start(f, s);
        stamp();
        f.synSeen = true;
        f.anchored = true;
        f.base = s.seq + 1;
        f.next = 0;
        if (s.len > 0) {  // data on the SYN: where it stands shows with the next segment
            f.synData.assign(s.data, s.data + s.len);
            f.synSeq = s.seq;
            return;
        }
    }
    if (!f.synData.empty() && s.len > 0) SynData(f, &s);
    // The other side acknowledged data this capture never saw: it is lost, not late.
    if ((s.flags & kTcpAck) && f.reverse != nullptr && f.reverse->anchored && !f.reverse->held.empty()) {
        Flow &r = *f.reverse;
        const uint64_t acked = Offset(r, s.ack);
        if (acked > r.next) SkipGap(r, std::min(acked, r.held.begin()->first), "acknowledged but not captured");
    }
    if (s.len == 0) return;
    if (!f.anchored) {  // the capture began inside the connection
        f.anchored = true;
        f.base = s.seq;
        f.next = 0;
    }
    Accept(f, Offset(f, s.seq), s.data, s.len);
}

// A SYN's data stands after the SYN's own sequence number. Some captures
// (replayed or edited ones) number it from the SYN's number itself: the next
// segment then starts where that data ends, and is read so, not cut by one.
void TcpStreams::SynData(Flow &f, const TcpPacket *next) {
    const Bytes data = std::move(f.synData);
    f.synData.clear();
    if (next != nullptr && next->seq == f.synSeq + static_cast<uint32_t>(data.size())) {
        f.base = f.synSeq;
        ctx_.Skip("TCP SYNs whose data is numbered from the SYN itself (read so)", false);
    }
    Accept(f, 0, data.data(), data.size());
}

void TcpStreams::Accept(Flow &f, uint64_t at, const uint8_t *data, size_t len) {
    if (at > f.next) {  // a gap before it: hold until it fills
        auto &slot = f.held[at];
        if (slot.size() >= len) return;
        f.heldBytes += len - slot.size();
        heldTotal_ += len - slot.size();
        slot.assign(data, data + len);
        if (f.heldBytes > kMaxHeldBytes || f.held.size() > kMaxHeldSegments || heldTotal_ > kMaxHeldTotal)
            SkipGap(f, f.held.begin()->first, "too much data waiting behind it");
        return;
    }
    const uint64_t skip = f.next - at;
    if (skip >= len) return;  // a retransmission of what came already
    Deliver(f, data + skip, len - static_cast<size_t>(skip));
    DrainHeld(f);
}

void TcpStreams::DrainHeld(Flow &f) {
    while (!f.held.empty() && f.held.begin()->first <= f.next) {
        auto it = f.held.begin();
        const Bytes bytes = std::move(it->second);
        const uint64_t at = it->first;
        f.heldBytes -= bytes.size();
        heldTotal_ -= bytes.size();
        f.held.erase(it);
        if (at + bytes.size() > f.next) {
            const size_t over = static_cast<size_t>(f.next - at);
            Deliver(f, bytes.data() + over, bytes.size() - over);
        }
    }
}

void TcpStreams::SkipGap(Flow &f, uint64_t to, const char *why) {
    if (to <= f.next) return;
    const uint64_t lost = to - f.next;
    ctx_.Skip(kLost, true, lost);
    if (f.decoder) {
        StreamDecoder &d = *f.decoder;
        const size_t partial = d.Drop();  // the message the gap cut is lost too
        if (partial > 0) ctx_.Skip("bytes of messages cut by a gap in the capture", true, partial);
        ctx_.Problem("capture", Place(d.Consumed(), d.origin().frame, d.origin().where),
                     std::to_string(lost) + " bytes missing from the capture at stream offset " +
                         std::to_string(f.next) + " (" + why + "); resuming at the next " + d.Protocol() + " header");
        d.Lost(lost);
    }
    f.next = to;
    DrainHeld(f);
}

void TcpStreams::Deliver(Flow &f, const uint8_t *data, size_t len) {
    f.next += len;
    if (f.decoder) f.decoder->Feed(data, len);
}

void TcpStreams::Close(Flow &f) {
    if (!f.synData.empty()) SynData(f, nullptr);
    while (!f.held.empty()) SkipGap(f, f.held.begin()->first, "the stream ends before it filled");
    if (f.decoder) f.decoder->Finish();
}

void TcpStreams::Finish() {
    for (Flow &f : flows_) Close(f);
}

}  // namespace rpdhost
