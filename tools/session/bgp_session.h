// One BGP session as a passive speaker runs it (RFC 4271): the OPEN
// exchange, the hold and keepalive timers, and a NOTIFICATION with the
// prescribed code and subcode for every error. Pure logic: bytes and the
// clock go in, bytes to send and what happened come out; the owner does the
// socket work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bgp_message.h"

namespace rpdhost {

struct SpeakerConfig {
    uint32_t localAs = 65000;
    uint32_t routerId = 0x7F000001;  // host order
    uint16_t holdTime = 90;          // seconds; 0 disables the timers
};

enum class SessionState { OpenSent, OpenConfirm, Established, Closed };

// Something that happened on the session: a whole message the peer sent,
// or a change of state worth reporting.
struct SessionEvent {
    enum class Kind { Message, Established, Closed } kind;
    std::vector<uint8_t> message;  // Message: the message, header included
    std::string how;               // Closed: what ended the session, as the report says it
};

// What the owner must do after an input, a tick or a close.
struct SessionOutput {
    std::vector<uint8_t> send;         // bytes for the peer, in order
    std::vector<SessionEvent> events;  // in the order they happened: every message read, each change of state
    std::string problem;               // why the session ends badly ("" when it does not)
    bool close = false;                // close the connection after sending
};

class BgpSession {
public:
    BgpSession(const SpeakerConfig &cfg, double now);
    // Our OPEN: the first thing sent on a new connection.
    SessionOutput Start();
    SessionOutput Receive(const uint8_t *p, size_t n, double now);
    // Timers: the hold timer's expiry ends the session, the keepalive timer sends one.
    SessionOutput Tick(double now);
    // The peer closed the connection (or reset it).
    SessionOutput PeerClosed();
    // We stop: Cease, administrative shutdown.
    SessionOutput Shutdown();

    SessionState state() const { return state_; }
    uint32_t peerAs() const { return peerAs_; }
    uint32_t peerId() const { return peerId_; }
    uint16_t holdTime() const { return hold_; }
    bool peerHasRpd() const { return peerRpd_; }
    // When the next Tick has something to do (0: never).
    double NextDeadline() const;

private:
    void OnMessage(const uint8_t *m, size_t len, double now, SessionOutput &out);
    void OnOpen(const uint8_t *m, size_t len, double now, SessionOutput &out);
    void Fail(SessionOutput &out, uint8_t code, uint8_t subcode, std::vector<uint8_t> data, const std::string &why);
    void Restart(double now);

    SpeakerConfig cfg_;
    SessionState state_ = SessionState::OpenSent;
    std::vector<uint8_t> pending_;  // bytes of a message not yet whole
    uint16_t hold_ = 0;
    double holdDeadline_ = 0;
    double keepaliveDue_ = 0;
    uint32_t peerAs_ = 0;
    uint32_t peerId_ = 0;
    bool peerRpd_ = false;
};

std::vector<uint8_t> BuildOpen(const SpeakerConfig &cfg);
std::vector<uint8_t> BuildKeepalive();
std::vector<uint8_t> BuildNotification(uint8_t code, uint8_t subcode, const std::vector<uint8_t> &data = {});

}  // namespace rpdhost
