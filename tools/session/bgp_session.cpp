#include "bgp_session.h"

#include <algorithm>

#include "bgp_message.h"
#include "bgp_writer.h"
#include "byte_reader.h"

namespace rpdhost {

using namespace rpdwire;

namespace {

// Until the peer's OPEN says otherwise, the hold timer runs at the large value RFC 4271 suggests.
constexpr double kOpenHold = 240;

}  // namespace

std::vector<uint8_t> BuildOpen(const SpeakerConfig &cfg) {
    // Multiprotocol for RPD, and for IPv4 unicast that peers may carry it on;
    // route refresh; 4-octet AS.
    Bytes caps;
    for (const uint8_t safi : {kSafiRpd, kSafiUnicast}) {
        Put8(caps, kCapMultiprotocol);
        Put8(caps, 4);
        Put16(caps, kAfiIpv4);
        Put8(caps, 0);
        Put8(caps, safi);
    }
    Put8(caps, kCapRouteRefresh);
    Put8(caps, 0);
    Put8(caps, kCapAs4);
    Put8(caps, 4);
    Put32(caps, cfg.localAs);
    Bytes body = {4};  // version
    Put16(body, static_cast<uint16_t>(cfg.localAs > 0xFFFF ? kAsTrans : cfg.localAs));
    Put16(body, cfg.holdTime);
    Put32(body, cfg.routerId);
    Put8(body, static_cast<uint8_t>(caps.size() + 2));
    Put8(body, kParamCapabilities);  // one parameter holding them all
    Put8(body, static_cast<uint8_t>(caps.size()));
    Append(body, caps);
    return BgpMessage(kBgpOpen, body);
}

std::vector<uint8_t> BuildKeepalive() { return BgpMessage(kBgpKeepalive, {}); }

std::vector<uint8_t> BuildNotification(uint8_t code, uint8_t subcode, const std::vector<uint8_t> &data) {
    // Sized first: g++ 12 at -O3 takes an append after a two-byte initialiser for an overflow.
    std::vector<uint8_t> body(2 + data.size());
    body[0] = code;
    body[1] = subcode;
    std::copy(data.begin(), data.end(), body.begin() + 2);
    return BgpMessage(kBgpNotification, body);
}

BgpSession::BgpSession(const SpeakerConfig &cfg, double now) : cfg_(cfg) { holdDeadline_ = now + kOpenHold; }

SessionOutput BgpSession::Start() {
    SessionOutput out;
    out.send = BuildOpen(cfg_);
    return out;
}

double BgpSession::NextDeadline() const {
    if (state_ == SessionState::Closed) return 0;
    if (holdDeadline_ == 0) return keepaliveDue_;
    if (keepaliveDue_ == 0) return holdDeadline_;
    return holdDeadline_ < keepaliveDue_ ? holdDeadline_ : keepaliveDue_;
}

void BgpSession::Restart(double now) {
    holdDeadline_ = hold_ == 0 ? 0 : now + hold_;
}

void BgpSession::Fail(SessionOutput &out, uint8_t code, uint8_t subcode, std::vector<uint8_t> data,
                      const std::string &why) {
    Append(out.send, BuildNotification(code, subcode, data));
    out.problem = why + ": sent NOTIFICATION " + NotificationText(code, subcode);
    out.close = true;
    state_ = SessionState::Closed;
}

SessionOutput BgpSession::Receive(const uint8_t *p, size_t n, double now) {
    SessionOutput out;
    if (state_ == SessionState::Closed) return out;
    pending_.insert(pending_.end(), p, p + n);
    size_t at = 0;
    while (state_ != SessionState::Closed && pending_.size() - at >= kBgpHeaderLen) {
        const uint8_t *m = pending_.data() + at;
        const uint16_t len = BgpLength(m);
        const uint8_t type = BgpMessageType(m);
        const HeaderFault fault = CheckBgpHeader(m, kBgpMaxMessage, true);
        if (fault == HeaderFault::Marker) {
            Fail(out, kErrHeader, 1, {}, "the header's marker is not all ones");
            break;
        }
        if (fault == HeaderFault::Length) {
            Fail(out, kErrHeader, 2, {m[16], m[17]}, "message length " + std::to_string(len));
            break;
        }
        if (fault == HeaderFault::Type) {
            Fail(out, kErrHeader, 3, {type}, "message type " + std::to_string(type));
            break;
        }
        if (pending_.size() - at < len) break;
        // Every whole message is handed over (and recorded), whatever the session makes of it.
        out.events.push_back({SessionEvent::Kind::Message, Bytes(m, m + len), ""});
        OnMessage(m, len, now, out);
        at += len;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return out;
}

void BgpSession::OnMessage(const uint8_t *m, size_t len, double now, SessionOutput &out) {
    const uint8_t type = BgpMessageType(m);
    if (type == kBgpNotification) {
        // A Cease is how a peer says goodbye; anything else is an error it found.
        const std::string what = "peer sent NOTIFICATION " + NotificationMessageText(m, len);
        if (m[kBgpHeaderLen] == kErrCease) out.events.push_back({SessionEvent::Kind::Closed, {}, "closed: " + what});
        else out.problem = what;
        out.close = true;
        state_ = SessionState::Closed;
        return;
    }
    switch (state_) {
        case SessionState::OpenSent:
            if (type != kBgpOpen) {
                return Fail(out, kErrFsm, 1, {}, "message type " + std::to_string(type) + " before OPEN");
            }
            return OnOpen(m, len, now, out);
        case SessionState::OpenConfirm:
            if (type != kBgpKeepalive) {
                return Fail(out, kErrFsm, 2, {}, "message type " + std::to_string(type) + " instead of KEEPALIVE");
            }
            state_ = SessionState::Established;
            out.events.push_back({SessionEvent::Kind::Established, {}, ""});
            Restart(now);
            return;
        case SessionState::Established:
            if (type == kBgpOpen) return Fail(out, kErrFsm, 3, {}, "OPEN in an established session");
            Restart(now);
            if (type == kBgpUpdate) {
                // The withdrawn routes and the attributes must fit the message; what is inside is decoded later.
                ByteReader r(m + kBgpHeaderLen, len - kBgpHeaderLen);
                uint16_t withdrawn = 0, attrs = 0;
                if (!r.U16(withdrawn) || !r.Skip(withdrawn) || !r.U16(attrs) || !r.Skip(attrs))
                    return Fail(out, kErrUpdate, 1, {}, "UPDATE lengths exceed the message");
            }
            return;
        case SessionState::Closed: return;
    }
}

void BgpSession::OnOpen(const uint8_t *m, size_t len, double now, SessionOutput &out) {
    OpenInfo open;
    uint8_t subcode = 0, data = 0;
    std::string why;
    const OpenRead read = ReadOpen(m, len, open, subcode, data, why);
    if (read == OpenRead::Short) return Fail(out, kErrHeader, 2, {m[16], m[17]}, "OPEN cut short");
    if (open.version != 4) return Fail(out, kErrOpen, 1, {0, 4}, "OPEN of version " + std::to_string(open.version));
    if (open.holdTime == 1 || open.holdTime == 2)
        return Fail(out, kErrOpen, 6, {}, "hold time " + std::to_string(open.holdTime));
    if (open.id == 0) return Fail(out, kErrOpen, 3, {}, "BGP identifier 0");
    if (read == OpenRead::BadParams) return Fail(out, kErrOpen, subcode, subcode == 4 ? Bytes{data} : Bytes{}, why);
    peerAs_ = open.as;
    peerRpd_ = open.rpd;
    peerId_ = open.id;
    hold_ = open.holdTime < cfg_.holdTime ? open.holdTime : cfg_.holdTime;
    Append(out.send, BuildKeepalive());
    keepaliveDue_ = hold_ == 0 ? 0 : now + hold_ / 3.0;
    Restart(now);
    state_ = SessionState::OpenConfirm;
}

SessionOutput BgpSession::Tick(double now) {
    SessionOutput out;
    if (state_ == SessionState::Closed) return out;
    if (holdDeadline_ != 0 && now >= holdDeadline_) {
        Fail(out, kErrHoldExpired, 0, {}, "nothing from the peer within the hold time");
        return out;
    }
    if (keepaliveDue_ != 0 && now >= keepaliveDue_ && state_ != SessionState::OpenSent) {
        Append(out.send, BuildKeepalive());
        keepaliveDue_ = now + hold_ / 3.0;
    }
    return out;
}

SessionOutput BgpSession::PeerClosed() {
    SessionOutput out;
    if (state_ != SessionState::Closed) {
        if (pending_.empty()) {
            out.events.push_back({SessionEvent::Kind::Closed, {}, "closed by the peer"});
        } else {
            out.problem = "peer closed the connection inside a message (" + std::to_string(pending_.size()) +
                          " bytes of it received)";
        }
        state_ = SessionState::Closed;
    }
    out.close = true;
    return out;
}

SessionOutput BgpSession::Shutdown() {
    SessionOutput out;
    if (state_ != SessionState::Closed) {
        Append(out.send, BuildNotification(kErrCease, kCeaseShutdown));
        out.events.push_back(
            {SessionEvent::Kind::Closed, {}, "closed: sent NOTIFICATION " + NotificationText(kErrCease, kCeaseShutdown)});
        state_ = SessionState::Closed;
    }
    out.close = true;
    return out;
}

}  // namespace rpdhost
