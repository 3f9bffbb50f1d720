#include "bmp_input.h"

#include "address.h"
#include "bgp_message.h"
#include "bmp_writer.h"
#include "input_internal.h"

namespace rpdhost {

struct BmpPeerHeader {
    uint8_t type = 0, flags = 0;
    std::string addr;
    uint32_t as = 0, id = 0, sec = 0, usec = 0;
};

namespace {

constexpr uint8_t kVersion = 3;
constexpr size_t kCommonHeader = 6;
// Two OPENs and the largest UPDATE fit many times over; a larger length is a broken stream.
constexpr uint32_t kMaxBmp = 1u << 20;
constexpr uint8_t kLocRib = 3;  // peer type of RFC 9069
constexpr uint8_t kFlagV = 0x80, kFlagL = 0x40, kFlagO = 0x10;
constexpr size_t kMaxText = 256;


bool ReadPeerHeader(ByteReader &r, BmpPeerHeader &h) {
    const uint8_t *dist = nullptr, *addr = nullptr;
    if (!r.U8(h.type) || !r.U8(h.flags) || !r.Take(8, dist) || !r.Take(16, addr) || !r.U32(h.as) || !r.U32(h.id) ||
        !r.U32(h.sec) || !r.U32(h.usec))
        return false;
    const bool v6 = h.type != kLocRib && (h.flags & kFlagV) != 0;
    h.addr = h.type == kLocRib ? "" : AddressText(v6, v6 ? addr : addr + 12);
    return true;
}

// The peer as reports name it: its address, or the router's own Loc-RIB.
std::string PeerName(const BmpPeerHeader &h) { return h.type == kLocRib ? std::string("Loc-RIB") : h.addr; }

// Which table the peer's routes come from: "pre-policy Adj-RIB-In" and the like.
std::string Table(const BmpPeerHeader &h) {
    if (h.type == kLocRib) return "Loc-RIB";
    return std::string(h.flags & kFlagL ? "post-policy" : "pre-policy") + (h.flags & kFlagO ? " Adj-RIB-Out" : " Adj-RIB-In");
}

// A text of the router's, safe to print: control bytes become '?', and it is cut at kMaxText.
std::string Printable(const uint8_t *p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n && i < kMaxText; ++i) s += p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '?';
    if (n > kMaxText) s += "...";
    return s;
}

// One whole BGP message at the start of `r` (its header's length within what is left).
bool TakeBgp(ByteReader &r, const uint8_t *&m, size_t &len) {
    if (r.Left() < kBgpHeaderLen || !IsMarker(r.Here())) return false;
    len = Be16(r.Here() + 16);
    return len >= kBgpHeaderLen && r.Take(len, m);
}

}  // namespace

bool LooksLikeBmp(const uint8_t *head, size_t n) {
    auto plausible = [&](size_t at) {
        return head[at] == kVersion && Be32(head + at + 1) >= kCommonHeader && Be32(head + at + 1) <= kMaxBmp &&
               head[at + 5] <= rpdwire::kBmpRouteMirroring;
    };
    if (n < kCommonHeader || !plausible(0)) return false;
    const size_t next = Be32(head + 1);
    return n < next + kCommonHeader || plausible(next);
}

bool BmpReader::Feed(const uint8_t *p, size_t n) {
    if (broken_) return false;
    pending_.insert(pending_.end(), p, p + n);
    size_t at = 0;
    while (pending_.size() - at >= kCommonHeader) {
        const uint8_t *h = pending_.data() + at;
        const uint32_t len = Be32(h + 1);
        if (h[0] != kVersion || len < kCommonHeader || len > kMaxBmp) {
            Damaged(h[0] != kVersion ? "BMP version " + std::to_string(h[0]) + ", not 3"
                                     : "BMP message length " + std::to_string(len));
            counts_.Skip("BMP streams that could not be followed to their end", true);
            broken_ = true;
            pending_.clear();
            return false;
        }
        if (pending_.size() - at < len) break;
        OnBmp(h[5], h + kCommonHeader, len - kCommonHeader);
        offset_ += len;
        at += len;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

void BmpReader::Finish() {
    if (broken_ || pending_.empty()) return;
    Damaged("BMP stream ends inside a message (" + std::to_string(pending_.size()) + " bytes of it)");
    pending_.clear();
}

void BmpReader::Damaged(const std::string &what) {
    counts_.Skip("BMP messages malformed or cut short", true);
    ++counts_.problems;
    sink_.OnProblem({counts_.messages + 1, offset_, router_, what});
}

void BmpReader::Event(const BmpPeerHeader *ph, const std::string &what) {
    InputEvent e;
    e.offset = offset_;
    if (ph != nullptr) {
        e.peer = PeerName(*ph);
        e.peerAs = ph->as;
        e.hasTime = ph->sec != 0;
        e.sec = ph->sec;
        e.usec = ph->usec;
    }
    e.what = router_.empty() ? what : router_ + ": " + what;
    ++counts_.events;
    sink_.OnEvent(e);
}

void BmpReader::OnBmp(uint8_t type, const uint8_t *body, size_t len) {
    ByteReader r(body, len);
    if (type == rpdwire::kBmpInitiation || type == rpdwire::kBmpTermination) return Information(type, r);
    if (type > rpdwire::kBmpRouteMirroring) {
        counts_.Skip("BMP messages of other types (type " + std::to_string(type) + ")", false);
        return;
    }
    BmpPeerHeader ph;
    if (!ReadPeerHeader(r, ph)) return Damaged("BMP per-peer header cut short");
    switch (type) {
        case rpdwire::kBmpRouteMonitoring: return Monitoring(ph, r);
        case rpdwire::kBmpRouteMirroring: return Mirroring(ph, r);
        case rpdwire::kBmpPeerUp: return PeerUp(ph, r);
        case rpdwire::kBmpPeerDown: return PeerDown(ph, r);
        default: counts_.Skip("BMP statistics reports (not read)", false);  // the one type left
    }
}

// Initiation and Termination: their information TLVs as one event.
void BmpReader::Information(uint8_t type, ByteReader r) {
    const bool termination = type == rpdwire::kBmpTermination;
    std::string what = termination ? "BMP termination" : "BMP initiation";
    while (r.Left() > 0) {
        uint16_t t = 0, n = 0;
        const uint8_t *v = nullptr;
        if (!r.U16(t) || !r.U16(n) || !r.Take(n, v)) return Damaged(what + ": information TLV cut short");
        static const char *const kInfo[] = {"", "sysDescr", "sysName"};
        static const char *const kReason[] = {"administratively closed", "unspecified", "out of resources",
                                              "redundant connection", "permanently administratively closed"};
        if (termination && t == 1 && n == 2)
            what += Be16(v) < 5 ? std::string(", ") + kReason[Be16(v)] : ", reason " + std::to_string(Be16(v));
        else if (t <= 2 && !(termination && t != 0))
            what += std::string(", ") + (t == 0 ? "" : std::string(kInfo[t]) + " ") + "\"" + Printable(v, n) + "\"";
    }
    if (termination) terminated_ = true;
    Event(nullptr, what);
}

void BmpReader::Emit(const BmpPeerHeader &ph, const uint8_t *m, size_t len, const char *kind) {
    Message msg;
    msg.bytes.assign(m, m + len);
    msg.number = ++counts_.messages;
    msg.offset = offset_;
    msg.where = (router_.empty() ? "" : router_ + ": ") + kind + " of " + PeerName(ph) + ", " + Table(ph);
    msg.peer = ph.addr;
    msg.peerAs = ph.as;
    msg.hasTime = ph.sec != 0;
    msg.sec = ph.sec;
    msg.usec = ph.usec;
    sink_.OnMessage(msg);
}

void BmpReader::Monitoring(const BmpPeerHeader &ph, ByteReader r) {
    const uint8_t *m = nullptr;
    size_t len = 0;
    if (!TakeBgp(r, m, len) || m[18] != kBgpUpdate) return Damaged("BMP route monitoring without a whole UPDATE");
    Emit(ph, m, len, "route monitoring");
    if (r.Left() > 0) Damaged("BMP route monitoring: " + std::to_string(r.Left()) + " bytes after the UPDATE");
}

void BmpReader::Mirroring(const BmpPeerHeader &ph, ByteReader r) {
    while (r.Left() > 0) {
        uint16_t t = 0, n = 0;
        ByteReader v;
        if (!r.U16(t) || !r.U16(n) || !r.Sub(n, v)) return Damaged("BMP route mirroring TLV cut short");
        const uint8_t *m = nullptr;
        size_t len = 0;
        uint16_t code = 0;
        if (t == 0) {
            if (!TakeBgp(v, m, len) || v.Left() > 0) return Damaged("BMP route mirroring: not one whole BGP message");
            Emit(ph, m, len, "route mirroring");
        } else if (t == 1) {
            if (!v.U16(code)) return Damaged("BMP route mirroring information cut short");
            if (code == 1) {
                counts_.Skip("BGP messages the router could not mirror (lost)", true);
                Damaged("BMP route mirroring: the router lost messages of " + PeerName(ph));
            } else {
                Event(&ph, code == 0 ? "the router marks the mirrored message as errored"
                                     : "route mirroring information " + std::to_string(code));
            }
        } else {
            counts_.Skip("BMP route mirroring TLVs of other types", false);
        }
    }
}

void BmpReader::PeerUp(const BmpPeerHeader &ph, ByteReader r) {
    const uint8_t *local = nullptr, *sent = nullptr, *received = nullptr;
    uint16_t localPort = 0, remotePort = 0;
    size_t sentLen = 0, receivedLen = 0;
    if (!r.Take(16, local) || !r.U16(localPort) || !r.U16(remotePort) || !TakeBgp(r, sent, sentLen) ||
        !TakeBgp(r, received, receivedLen) || sent[18] != kBgpOpen || received[18] != kBgpOpen)
        return Damaged("BMP peer up without its two OPENs");
    OpenInfo ours, theirs;
    uint8_t sub = 0, data = 0;
    std::string why;
    if (ReadOpen(sent, sentLen, ours, sub, data, why) != OpenRead::Ok ||
        ReadOpen(received, receivedLen, theirs, sub, data, why) != OpenRead::Ok)
        return Damaged("BMP peer up: an OPEN it carries is malformed");
    const bool v6 = (ph.flags & kFlagV) != 0;
    std::string what = "peer up: " + Table(ph) + ", local " + EndpointText(v6, v6 ? local : local + 12, localPort) +
                       ", remote port " + std::to_string(remotePort);
    what += theirs.rpd && ours.rpd ? ", RPD family (AFI 1, SAFI 75) offered by both"
            : theirs.rpd           ? ", RPD family (AFI 1, SAFI 75) offered by the peer only"
            : ours.rpd             ? ", RPD family (AFI 1, SAFI 75) offered by the router only"
                                   : ", no RPD family offered";
    Event(&ph, what);
}

void BmpReader::PeerDown(const BmpPeerHeader &ph, ByteReader r) {
    uint8_t reason = 0;
    if (!r.U8(reason)) return Damaged("BMP peer down without a reason");
    std::string what = "peer down: ";
    const uint8_t *m = nullptr;
    size_t len = 0;
    uint16_t fsm = 0;
    if ((reason == 1 || reason == 3) && TakeBgp(r, m, len) && m[18] == kBgpNotification && len >= 21) {
        what += std::string(reason == 1 ? "the router sent" : "the peer sent") + " NOTIFICATION " +
                NotificationText(m[19], m[20]) + NotificationData(m[19], m[20], m + 21, len - 21);
    } else if (reason == 2 && r.U16(fsm)) {
        what += "the router closed the session (FSM event " + std::to_string(fsm) + ")";
    } else if (reason == 4) {
        what += "the peer closed the session without a NOTIFICATION";
    } else if (reason == 5) {
        what += "the peer is no longer configured";
    } else {
        what += "reason " + std::to_string(reason);
    }
    Event(&ph, what);
}

bool ReadBmp(FILE *in, InputSink &sink, InputCounts &counts) {
    BmpReader reader(sink, counts);
    uint8_t buf[65536];
    uint64_t offset = 0;
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof(buf), in)) > 0) {
        if (!reader.Feed(buf, n)) return true;
        offset += n;
        sink.OnProgress(offset);
    }
    reader.Finish();
    return true;
}

}  // namespace rpdhost
