#include "bgp_session.h"

#include <algorithm>

#include "bgp_message.h"
#include "bgp_writer.h"
#include "byte_reader.h"
#include "input_internal.h"

namespace rpdhost {

namespace {

// Until the peer's OPEN says otherwise, the hold timer runs at the large value RFC 4271 suggests.
constexpr double kOpenHold = 240;
constexpr uint16_t kAsTrans = 23456;
constexpr uint8_t kAfiIpv4Hi = 0, kAfiIpv4Lo = 1, kSafiUnicast = 1;
using Bytes = std::vector<uint8_t>;

// Error codes and subcodes of RFC 4271 section 4.5 (and RFC 6608 for the FSM errors).
constexpr uint8_t kHeaderError = 1, kOpenError = 2, kUpdateError = 3, kHoldExpired = 4, kFsmError = 5;

void Append(std::vector<uint8_t> &to, const std::vector<uint8_t> &m) { to.insert(to.end(), m.begin(), m.end()); }

// The smallest length of each message type (RFC 4271 section 4, RFC 2918).
bool LengthFits(uint8_t type, size_t len) {
    switch (type) {
        case kBgpOpen: return len >= 29;
        case kBgpUpdate: return len >= 23;
        case kBgpNotification: return len >= 21;
        case kBgpKeepalive: return len == 19;
        case kBgpRouteRefresh: return len == 23;
        default: return true;
    }
}

}  // namespace

std::vector<uint8_t> BuildOpen(const SpeakerConfig &cfg) {
    // Multiprotocol for RPD, and for IPv4 unicast that peers may carry it on;
    // route refresh; 4-octet AS.
    std::vector<uint8_t> caps = {1, 4, kAfiIpv4Hi, kAfiIpv4Lo, 0, rpdwire::kSafiRpd, 1, 4, kAfiIpv4Hi, kAfiIpv4Lo, 0,
                                 kSafiUnicast, 2, 0, 65, 4};
    rpdwire::Put32(caps, cfg.localAs);
    std::vector<uint8_t> body = {4};
    rpdwire::Put16(body, static_cast<uint16_t>(cfg.localAs > 0xFFFF ? kAsTrans : cfg.localAs));
    rpdwire::Put16(body, cfg.holdTime);
    rpdwire::Put32(body, cfg.routerId);
    body.push_back(static_cast<uint8_t>(caps.size() + 2));
    body.push_back(2);  // one Capabilities parameter holding them all
    body.push_back(static_cast<uint8_t>(caps.size()));
    Append(body, caps);
    return rpdwire::BgpMessage(kBgpOpen, body);
}

std::vector<uint8_t> BuildKeepalive() { return rpdwire::BgpMessage(kBgpKeepalive, {}); }

std::vector<uint8_t> BuildNotification(uint8_t code, uint8_t subcode, const std::vector<uint8_t> &data) {
    // Sized first: g++ 12 at -O3 takes an append after a two-byte initialiser for an overflow.
    std::vector<uint8_t> body(2 + data.size());
    body[0] = code;
    body[1] = subcode;
    std::copy(data.begin(), data.end(), body.begin() + 2);
    return rpdwire::BgpMessage(kBgpNotification, body);
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
        if (!IsMarker(m)) {
            Fail(out, kHeaderError, 1, {}, "the header's marker is not all ones");
            break;
        }
        const uint16_t len = Be16(m + 16);
        const uint8_t type = m[18];
        if (len < kBgpHeaderLen || len > kBgpMaxMessage || !LengthFits(type, len)) {
            Fail(out, kHeaderError, 2, {m[16], m[17]}, "message length " + std::to_string(len));
            break;
        }
        if (type < kBgpOpen || type > kBgpRouteRefresh) {
            Fail(out, kHeaderError, 3, {type}, "message type " + std::to_string(type));
            break;
        }
        if (pending_.size() - at < len) break;
        if (keepReceived_) out.received.emplace_back(m, m + len);
        OnMessage(m, len, now, out);
        at += len;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return out;
}

void BgpSession::OnMessage(const uint8_t *m, size_t len, double now, SessionOutput &out) {
    const uint8_t type = m[18];
    if (type == kBgpNotification) {
        // A Cease is how a peer says goodbye; anything else is an error it found.
        const std::string what = "peer sent NOTIFICATION " + NotificationText(m[19], m[20]) +
                                 NotificationData(m[19], m[20], m + 21, len - 21);
        if (m[19] == kBgpCease) out.events.push_back("closed: " + what);
        else out.problem = what;
        out.close = true;
        state_ = SessionState::Closed;
        return;
    }
    switch (state_) {
        case SessionState::OpenSent:
            if (type != kBgpOpen) {
                return Fail(out, kFsmError, 1, {}, "message type " + std::to_string(type) + " before OPEN");
            }
            return OnOpen(m, len, now, out);
        case SessionState::OpenConfirm:
            if (type != kBgpKeepalive) {
                return Fail(out, kFsmError, 2, {}, "message type " + std::to_string(type) + " instead of KEEPALIVE");
            }
            state_ = SessionState::Established;
            out.events.push_back("Established");
            Restart(now);
            return;
        case SessionState::Established:
            if (type == kBgpOpen) return Fail(out, kFsmError, 3, {}, "OPEN in an established session");
            Restart(now);
            if (type == kBgpUpdate) {
                // The withdrawn routes and the attributes must fit the message; what is inside is decoded later.
                const size_t withdrawn = Be16(m + 19);
                if (21 + withdrawn + 2 > len || 21 + withdrawn + 2 + Be16(m + 21 + withdrawn) > len) {
                    return Fail(out, kUpdateError, 1, {}, "UPDATE lengths exceed the message");
                }
                out.updates.emplace_back(m, m + len);
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
    if (read == OpenRead::Short) return Fail(out, kHeaderError, 2, {m[16], m[17]}, "OPEN cut short");
    if (open.version != 4) return Fail(out, kOpenError, 1, {0, 4}, "OPEN of version " + std::to_string(open.version));
    if (open.holdTime == 1 || open.holdTime == 2)
        return Fail(out, kOpenError, 6, {}, "hold time " + std::to_string(open.holdTime));
    if (open.id == 0) return Fail(out, kOpenError, 3, {}, "BGP identifier 0");
    if (read == OpenRead::BadParams) return Fail(out, kOpenError, subcode, subcode == 4 ? Bytes{data} : Bytes{}, why);
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
        Fail(out, kHoldExpired, 0, {}, "nothing from the peer within the hold time");
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
            out.events.push_back("closed by the peer");
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
        Append(out.send, BuildNotification(kBgpCease, 2));
        out.events.push_back("closed: sent NOTIFICATION " + NotificationText(kBgpCease, 2));
        state_ = SessionState::Closed;
    }
    out.close = true;
    return out;
}

}  // namespace rpdhost
