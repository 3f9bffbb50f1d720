// What each BMP message says: its BGP messages handed over, the rest as events.
#include <algorithm>
#include <cstdio>

#include "address.h"
#include "bgp_message.h"
#include "bmp_stream.h"
#include "wire.h"

namespace rpdhost {

using namespace rpdwire;

struct BmpPeerHeader {
    uint8_t type = 0, flags = 0;
    std::string addr;
    uint32_t as = 0, id = 0, sec = 0, usec = 0;
};

namespace {

constexpr size_t kMaxText = 256;

bool ReadPeerHeader(ByteReader &r, BmpPeerHeader &h) {
    const uint8_t *dist = nullptr, *addr = nullptr;
    if (!r.U8(h.type) || !r.U8(h.flags) || !r.Take(8, dist) || !r.Take(16, addr) || !r.U32(h.as) || !r.U32(h.id) ||
        !r.U32(h.sec) || !r.U32(h.usec))
        return false;
    const bool v6 = h.type != kBmpPeerLocRib && (h.flags & kBmpFlagV) != 0;
    h.addr = h.type == kBmpPeerLocRib ? "" : AddressText(v6, v6 ? addr : addr + 12);
    return true;
}

// The peer as reports name it: its address, or the router's own Loc-RIB.
std::string PeerName(const BmpPeerHeader &h) { return h.type == kBmpPeerLocRib ? std::string("Loc-RIB") : h.addr; }

// Which table the peer's routes come from: "pre-policy Adj-RIB-In" and the like.
std::string Table(const BmpPeerHeader &h) {
    if (h.type == kBmpPeerLocRib) return "Loc-RIB";
    return std::string(h.flags & kBmpFlagL ? "post-policy" : "pre-policy") +
           (h.flags & kBmpFlagO ? " Adj-RIB-Out" : " Adj-RIB-In");
}

// A text of the router's, safe to print: control bytes become '?', and it is cut at kMaxText.
std::string Printable(const uint8_t *p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n && i < kMaxText; ++i) s += p[i] >= 0x20 && p[i] < 0x7F ? static_cast<char>(p[i]) : '?';
    if (n > kMaxText) s += "...";
    return s;
}

// One whole BGP message at the start of `r` (a marker, and its header's length within what is left).
bool TakeBgp(ByteReader &r, const uint8_t *&m, size_t &len) {
    if (r.Left() < kBgpHeaderLen) return false;
    const HeaderFault f = CheckBgpHeader(r.Here());
    if (f == HeaderFault::Marker || f == HeaderFault::Length) return false;
    len = BgpLength(r.Here());
    return r.Take(len, m);
}

// The counters of a statistics report (RFC 7854 section 4.8, RFC 8671).
const char *StatName(uint16_t type) {
    static const char *const kNames[] = {
        "rejected by inbound policy",       "duplicate prefix advertisements",
        "duplicate withdraws",              "invalidated by a CLUSTER_LIST loop",
        "invalidated by an AS_PATH loop",   "invalidated by ORIGINATOR_ID",
        "invalidated by an AS_CONFED loop", "routes in Adj-RIBs-In",
        "routes in Loc-RIB",                "routes in Adj-RIB-In",
        "routes in Loc-RIB",                "updates treated as withdraw",
        "prefixes treated as withdraw",     "duplicate updates",
        "routes in pre-policy Adj-RIB-Out", "routes in post-policy Adj-RIB-Out",
        "routes in pre-policy Adj-RIB-Out", "routes in post-policy Adj-RIB-Out",
    };
    return type < sizeof(kNames) / sizeof(kNames[0]) ? kNames[type] : nullptr;
}

// One counter as text: "routes in Loc-RIB 12", per family "routes in Adj-RIB-In (AFI 1, SAFI 1) 12".
void StatText(uint16_t type, ByteReader v, std::string &out) {
    const char *name = StatName(type);
    out = name != nullptr ? name : "counter " + std::to_string(type);
    uint16_t afi = 0;
    uint8_t safi = 0;
    uint32_t hi = 0, lo = 0;
    if (v.Left() == 11 && v.U16(afi) && v.U8(safi))
        out += " (AFI " + std::to_string(afi) + ", SAFI " + std::to_string(safi) + ")";
    if (v.Left() == 8 && v.U32(hi) && v.U32(lo)) {
        out += ' ' + std::to_string(static_cast<uint64_t>(hi) << 32 | lo);
    } else if (v.Left() == 4 && v.U32(lo)) {
        out += ' ' + std::to_string(lo);
    } else {
        out += " (" + std::to_string(v.Size()) + " bytes)";
    }
}

}  // namespace

void BmpStream::Event(const BmpPeerHeader *ph, const std::string &what, InputEvent::Ends ends) {
    InputEvent e;
    e.offset = offset_;
    if (ph != nullptr) {
        e.peer = PeerName(*ph);
        e.peerAs = ph->as;
        e.hasTime = ph->sec != 0;
        e.sec = ph->sec;
        e.usec = ph->usec;
    }
    e.what = origin_.where.empty() ? what : origin_.where + ": " + what;
    e.router = origin_.router;
    e.ends = ends;
    ctx_.Event(e);
}

void BmpStream::OnBmp(uint8_t type, const uint8_t *body, size_t len) {
    ByteReader r(body, len);
    if (type == kBmpInitiation || type == kBmpTermination) return Information(type, r);
    if (type > kBmpRouteMirroring) {
        ctx_.Skip("BMP messages of other types (type " + std::to_string(type) + ")", false);
        return;
    }
    BmpPeerHeader ph;
    if (!ReadPeerHeader(r, ph)) return Damaged("BMP per-peer header cut short");
    switch (type) {
        case kBmpRouteMonitoring: return Monitoring(ph, r);
        case kBmpRouteMirroring: return Mirroring(ph, r);
        case kBmpPeerUp: return PeerUp(ph, r);
        case kBmpPeerDown: return PeerDown(ph, r);
        default: return Statistics(ph, r);  // the one type left
    }
}

// Initiation and Termination: their information TLVs as one event.
void BmpStream::Information(uint8_t type, ByteReader r) {
    const bool termination = type == kBmpTermination;
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
    Event(nullptr, what, termination ? InputEvent::Ends::Router : InputEvent::Ends::Nothing);
}

void BmpStream::Emit(const BmpPeerHeader &ph, const uint8_t *m, size_t len, const char *kind) {
    Message msg;
    const std::string table = Table(ph);
    msg.source() = {origin_.frame, (origin_.where.empty() ? "" : origin_.where + ": ") + kind + " of " + PeerName(ph) + ", " + table,
                    ph.addr, ph.as, ph.sec != 0, ph.sec, ph.usec, origin_.router, table};
    msg.bytes.assign(m, m + len);
    msg.offset = offset_;
    ctx_.Emit(msg);
}

void BmpStream::Monitoring(const BmpPeerHeader &ph, ByteReader r) {
    const uint8_t *m = nullptr;
    size_t len = 0;
    if (!TakeBgp(r, m, len) || BgpMessageType(m) != kBgpUpdate) return Damaged("BMP route monitoring without a whole UPDATE");
    Emit(ph, m, len, "route monitoring");
    // TLVs after the UPDATE (routers send them ahead of the BMP TLV work's standard): counted by type, not read;
    // only one that runs past the message is damage.
    while (r.Left() > 0) {
        const size_t left = r.Left();
        uint16_t t = 0, n = 0;
        if (!r.U16(t) || !r.U16(n) || !r.Skip(n))
            return Damaged("BMP route monitoring: a TLV after the UPDATE runs past the message (" + std::to_string(left) +
                           " bytes left)");
        ctx_.Skip(TlvReason(t), false);
    }
}

// The first types are counted each under its own name; a stream of ever new ones does not grow the counts.
std::string BmpStream::TlvReason(uint16_t type) {
    constexpr size_t kNamedTypes = 8;
    const bool named = std::find(tlvTypes_.begin(), tlvTypes_.end(), type) != tlvTypes_.end();
    if (!named && tlvTypes_.size() >= kNamedTypes) return "BMP route monitoring TLVs after the UPDATE (further types)";
    if (!named) tlvTypes_.push_back(type);
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", type);
    return std::string("BMP route monitoring TLVs after the UPDATE (type ") + text +
           (type & kBmpTlvEnterprise ? ", enterprise-specific)" : ")");
}

void BmpStream::Mirroring(const BmpPeerHeader &ph, ByteReader r) {
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
                ctx_.Skip("BGP messages the router could not mirror (lost)", true);
                Damaged("BMP route mirroring: the router lost messages of " + PeerName(ph));
            } else {
                Event(&ph, code == 0 ? "the router marks the mirrored message as errored"
                                     : "route mirroring information " + std::to_string(code));
            }
        } else {
            ctx_.Skip("BMP route mirroring TLVs of other types", false);
        }
    }
}

void BmpStream::PeerUp(const BmpPeerHeader &ph, ByteReader r) {
    const uint8_t *local = nullptr, *sent = nullptr, *received = nullptr;
    uint16_t localPort = 0, remotePort = 0;
    size_t sentLen = 0, receivedLen = 0;
    if (!r.Take(16, local) || !r.U16(localPort) || !r.U16(remotePort) || !TakeBgp(r, sent, sentLen) ||
        !TakeBgp(r, received, receivedLen) || BgpMessageType(sent) != kBgpOpen || BgpMessageType(received) != kBgpOpen)
        return Damaged("BMP peer up without its two OPENs");
    OpenInfo ours, theirs;
    uint8_t sub = 0, data = 0;
    std::string why;
    if (ReadOpen(sent, sentLen, ours, sub, data, why) != OpenRead::Ok ||
        ReadOpen(received, receivedLen, theirs, sub, data, why) != OpenRead::Ok)
        return Damaged("BMP peer up: an OPEN it carries is malformed");
    const bool v6 = (ph.flags & kBmpFlagV) != 0;
    std::string what = "peer up: " + Table(ph) + ", local " + EndpointText(v6, v6 ? local : local + 12, localPort) +
                       ", remote port " + std::to_string(remotePort);
    what += theirs.rpd && ours.rpd ? ", RPD family (AFI 1, SAFI 75) offered by both"
            : theirs.rpd           ? ", RPD family (AFI 1, SAFI 75) offered by the peer only"
            : ours.rpd             ? ", RPD family (AFI 1, SAFI 75) offered by the router only"
                                   : ", no RPD family offered";
    Event(&ph, what);
}

void BmpStream::PeerDown(const BmpPeerHeader &ph, ByteReader r) {
    uint8_t reason = 0;
    if (!r.U8(reason)) return Damaged("BMP peer down without a reason");
    std::string what = "peer down: ";
    const uint8_t *m = nullptr;
    size_t len = 0;
    uint16_t fsm = 0;
    if ((reason == 1 || reason == 3) && TakeBgp(r, m, len) && BgpMessageType(m) == kBgpNotification &&
        len >= BgpType(kBgpNotification)->minLen) {
        what += std::string(reason == 1 ? "the router sent" : "the peer sent") + " NOTIFICATION " +
                NotificationMessageText(m, len);
    } else if (reason == 2 && r.U16(fsm)) {
        what += "the router closed the session (FSM event " + std::to_string(fsm) + ")";
    } else if (reason == 4) {
        what += "the peer closed the session without a NOTIFICATION";
    } else if (reason == 5) {
        what += "the peer is no longer configured";
    } else {
        what += "reason " + std::to_string(reason);
    }
    Event(&ph, what, InputEvent::Ends::Peer);
}

// A statistics report: its counters as one event, "statistics: routes in Loc-RIB 12, ...".
void BmpStream::Statistics(const BmpPeerHeader &ph, ByteReader r) {
    uint32_t count = 0;
    if (!r.U32(count)) return Damaged("BMP statistics report without its count");
    std::string what = "statistics:";
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t t = 0, n = 0;
        ByteReader v;
        if (!r.U16(t) || !r.U16(n) || !r.Sub(n, v))
            return Damaged("BMP statistics report: counter " + std::to_string(i + 1) + " of " +
                           std::to_string(count) + " cut short");
        std::string text;
        StatText(t, v, text);
        what += (i == 0 ? " " : ", ") + text;
    }
    if (count == 0) what += " no counters";
    if (r.Left() > 0)
        return Damaged("BMP statistics report: " + std::to_string(r.Left()) + " bytes after its " +
                       std::to_string(count) + " counters");
    Event(&ph, what);
}

}  // namespace rpdhost
