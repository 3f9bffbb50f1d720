#include "tcp_streams.h"

#include <algorithm>
#include <cstring>

#include "address.h"
#include "bgp_stream.h"
#include "bmp_stream.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

// Data held behind a gap (bookkeeping included) before the gap counts as
// lost. Well above what reordering needs, well below the whole budget.
constexpr size_t kMaxHeldCost = 4u << 20;
// Delivered bytes kept to compare a copy that comes again (a retransmission).
constexpr size_t kRecent = 4096;
constexpr char kLost[] = "bytes missing from the capture in TCP streams (passed over)";
constexpr char kEvictedBytes[] = "bytes of TCP streams passed over to stay within the capture memory budget";
constexpr char kEvictedStreams[] = "TCP streams closed to stay within the capture memory budget";
constexpr char kConflict[] =
    "TCP segments whose bytes differ from those already received at the same place (the first copy kept)";

// One direction: from `src` port `sport` to `dst` port `dport`.
std::string FlowKey(const uint8_t *src, const uint8_t *dst, uint16_t sport, uint16_t dport, bool v6) {
    std::string k(reinterpret_cast<const char *>(src), 16);
    k.append(reinterpret_cast<const char *>(dst), 16);
    k.push_back(static_cast<char>(sport >> 8));
    k.push_back(static_cast<char>(sport));
    k.push_back(static_cast<char>(dport >> 8));
    k.push_back(static_cast<char>(dport));
    k.push_back(static_cast<char>(v6));
    return k;
}

}  // namespace

TcpStreams::Flow &TcpStreams::Find(const TcpPacket &s) {
    const Datagram &d = *s.ip;
    const std::string key = FlowKey(d.src, d.dst, s.sport, s.dport, d.v6);
    auto it = index_.find(key);
    if (it != index_.end()) {
        flows_.splice(flows_.end(), flows_, it->second);  // now the most recently active
        it->second->active = memory_.Tick();
        return *it->second;
    }
    flows_.emplace_back();
    Flow &f = flows_.back();
    f.key = key;
    f.kind = s.kind;
    f.active = memory_.Tick();
    index_[key] = std::prev(flows_.end());
    const auto rev = index_.find(FlowKey(d.dst, d.src, s.dport, s.sport, d.v6));
    if (rev != index_.end() && rev->second->key != key) {  // (a connection to itself has no other side)
        f.reverse = &*rev->second;
        rev->second->reverse = &f;
    }
    Start(f, s);
    ++ctx_.counts().streams;
    return f;
}

void TcpStreams::Remove(FlowList::iterator it) {
    Flow &f = *it;
    Close(f);
    memory_.Release(f.charged);
    if (f.reverse != nullptr) {
        f.reverse->reverse = nullptr;
        Pair(*f.reverse);
    }
    index_.erase(f.key);
    flows_.erase(it);
}

// A new decoder for the stream, named for the reports: a BGP direction by
// both its ends, a BMP stream by the router that sends it.
void TcpStreams::Start(Flow &f, const TcpPacket &s) {
    const Datagram &d = *s.ip;
    f.validFrom = 0;
    if (f.kind == FlowKind::BmpStation) return;
    if (f.kind == FlowKind::Bmp) {
        f.decoder = std::make_unique<BmpStream>(ctx_, BmpStream::Mode::Resync);
        f.decoder->origin().where = "router " + EndpointText(d.v6, d.src, s.sport);
        f.decoder->origin().router = AddressText(d.v6, d.src);
        return;
    }
    f.decoder = std::make_unique<BgpStream>(ctx_);
    Origin &o = f.decoder->origin();
    o.where = "TCP " + EndpointText(d.v6, d.src, s.sport) + " > " + EndpointText(d.v6, d.dst, s.dport);
    o.peer = AddressText(d.v6, d.src);
    o.hasTime = true;
    Pair(f);
}

// The two directions of a BGP session each see the other's OPEN.
void TcpStreams::Pair(Flow &f) {
    if (f.kind != FlowKind::Bgp || !f.decoder) return;
    auto &mine = static_cast<BgpStream &>(*f.decoder);
    Flow *r = f.reverse;
    if (r == nullptr || r->kind != FlowKind::Bgp || !r->decoder) return mine.FollowSession(nullptr);
    auto &theirs = static_cast<BgpStream &>(*r->decoder);
    mine.FollowSession(&theirs.opens());
    theirs.FollowSession(&mine.opens());
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
            return Rebill(f);
        }
    }
    if (!f.synData.empty() && s.len > 0) SynData(f, &s);
    // The other side acknowledged data this capture never saw: it is lost, not late.
    if ((s.flags & kTcpAck) && f.reverse != nullptr && f.reverse->anchored && !f.reverse->held.empty()) {
        Flow &r = *f.reverse;
        const uint64_t acked = Offset(r, s.ack);
        if (acked > r.next) SkipGap(r, std::min(acked, r.held.begin()->first), "acknowledged but not captured");
        Rebill(r);
    }
    if (s.len > 0) {
        if (!f.anchored) {  // the capture began inside the connection
            f.anchored = true;
            f.base = s.seq;
            f.next = 0;
        }
        Accept(f, Offset(f, s.seq), s.data, s.len);
    }
    Rebill(f);
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
    if (at > f.next) return Hold(f, at, data, len);  // a gap before it: held until it fills
    Again(f, at, data, len);
    const uint64_t skip = f.next - at;
    if (skip >= len) return;  // a retransmission of what came already
    Deliver(f, data + skip, len - static_cast<size_t>(skip));
    DrainHeld(f);
}

void TcpStreams::Hold(Flow &f, uint64_t at, const uint8_t *data, size_t len) {
    auto [it, fresh] = f.held.try_emplace(at);
    Bytes &slot = it->second;
    if (fresh) {
        slot.assign(data, data + len);
        f.heldCost += HeldMemory::kPieceCost + len;
    } else {
        // Held already: the bytes held stand, a longer copy only adds its tail.
        if (std::memcmp(slot.data(), data, std::min(slot.size(), len)) != 0) Differs(f, at);
        if (len <= slot.size()) return;
        f.heldCost += len - slot.size();
        slot.insert(slot.end(), data + slot.size(), data + len);
    }
    Wait(f);
    if (f.heldCost > kMaxHeldCost) SkipGap(f, f.held.begin()->first, "too much data waiting behind it");
}

void TcpStreams::DrainHeld(Flow &f) {
    while (!f.held.empty() && f.held.begin()->first <= f.next) {
        auto it = f.held.begin();
        const Bytes bytes = std::move(it->second);
        const uint64_t at = it->first;
        f.heldCost -= HeldMemory::kPieceCost + bytes.size();
        f.held.erase(it);
        Again(f, at, bytes.data(), bytes.size());
        if (at + bytes.size() > f.next) {
            const size_t over = static_cast<size_t>(f.next - at);
            Deliver(f, bytes.data() + over, bytes.size() - over);
        }
    }
    Wait(f);
}

void TcpStreams::SkipGap(Flow &f, uint64_t to, const char *why, bool budget) {
    if (to <= f.next) return;
    const uint64_t lost = to - f.next;
    ctx_.Skip(budget ? kEvictedBytes : kLost, true, lost);
    if (f.decoder) {
        StreamDecoder &d = *f.decoder;
        const size_t partial = d.Drop();  // the message the gap cut is lost too
        if (partial > 0) ctx_.Skip("bytes of messages cut by a gap in the capture", true, partial);
        ctx_.Problem("capture", Place(d.Consumed(), d.origin().frame, d.origin().where),
                     std::to_string(lost) + " bytes " + (budget ? "passed over" : "missing from the capture") +
                         " at stream offset " + std::to_string(f.next) + " (" + why + "); resuming at the next " +
                         d.Protocol() + " header");
        d.Lost(lost);
    }
    f.next = to;
    f.validFrom = to;  // the bytes kept stand before the gap
    DrainHeld(f);
}

void TcpStreams::Deliver(Flow &f, const uint8_t *data, size_t len) {
    // Keep the last kRecent bytes, each at its offset modulo kRecent.
    if (f.recent.size() != kRecent) f.recent.assign(kRecent, 0);
    const size_t keep = std::min(len, kRecent);
    for (size_t done = 0; done < keep;) {
        const uint64_t at = f.next + len - keep + done;
        const size_t pos = static_cast<size_t>(at % kRecent);
        const size_t n = std::min(keep - done, kRecent - pos);
        std::memcpy(f.recent.data() + pos, data + len - keep + done, n);
        done += n;
    }
    f.next += len;
    if (f.validFrom + kRecent < f.next) f.validFrom = f.next - kRecent;
    if (f.decoder) f.decoder->Feed(data, len);
}

void TcpStreams::Again(Flow &f, uint64_t at, const uint8_t *data, size_t len) {
    const uint64_t from = std::max(at, f.validFrom), to = std::min(at + len, f.next);
    for (uint64_t o = from; o < to; ++o) {
        if (f.recent[static_cast<size_t>(o % kRecent)] != data[o - at]) return Differs(f, o);
    }
}

void TcpStreams::Differs(Flow &f, uint64_t at) {
    ctx_.Skip(kConflict, true);
    if (f.conflictSaid || !f.decoder) return;
    f.conflictSaid = true;
    const Origin &o = f.decoder->origin();
    ctx_.Problem("capture", Place(at, o.frame, o.where),
                 "a TCP segment's bytes at stream offset " + std::to_string(at) +
                     " differ from those already received there; the first copy is kept (further ones in this "
                     "stream are only counted)");
}

void TcpStreams::Rebill(Flow &f) {
    const size_t now = HeldMemory::kEntryCost + f.heldCost + f.recent.capacity() + f.synData.capacity() +
                       (f.decoder ? f.decoder->Held() : 0);
    memory_.Rebill(f.charged, now);
}

// Keeps the direction's place among those waiting for a gap to fill.
void TcpStreams::Wait(Flow &f) {
    if (f.held.empty() == (f.waiting == 0)) return;
    if (f.waiting != 0) {
        waiting_.erase({f.waiting, &f});
        f.waiting = 0;
    } else {
        f.waiting = memory_.Tick();
        waiting_.emplace(f.waiting, &f);
    }
}

void TcpStreams::Close(Flow &f) {
    if (!f.synData.empty()) SynData(f, nullptr);
    while (!f.held.empty()) SkipGap(f, f.held.begin()->first, "the stream ends before it filled");
    if (f.decoder) f.decoder->Finish();
}

uint64_t TcpStreams::OldestAge() const {
    const uint64_t gap = waiting_.empty() ? kNothingHeld : waiting_.begin()->first;
    return flows_.empty() ? gap : std::min(gap, flows_.front().active);
}

void TcpStreams::EvictOldest() {
    if (!waiting_.empty() && (flows_.empty() || waiting_.begin()->first <= flows_.front().active)) {
        Flow &f = *waiting_.begin()->second;
        SkipGap(f, f.held.begin()->first, "the capture memory budget needs its room", true);
        return Rebill(f);
    }
    if (flows_.empty()) return;
    ctx_.Skip(kEvictedStreams, false);
    Remove(flows_.begin());
}

void TcpStreams::Finish() {
    for (Flow &f : flows_) {
        Close(f);
        Rebill(f);
    }
}

}  // namespace rpdhost
