// rpd-host listen: a passive BGP speaker. It accepts sessions, runs each
// one's state machine, and hands every UPDATE to the route walk like a
// message read from a file. Sessions are isolated: a peer that misbehaves
// gets its NOTIFICATION and is closed, the others go on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bgp_session.h"
#include "host.h"
#include "recorder.h"

namespace rpdhost {

struct ListenOptions {
    std::string bind = "0.0.0.0";
    uint16_t port = 179;
    SpeakerConfig speaker;
    std::vector<std::string> allowed;  // peer addresses allowed to connect, as given; empty: any
    unsigned maxSessions = 0;          // stop once this many sessions have ended (0: no limit)
    double duration = 0;               // stop after this many seconds (0: no limit)
    std::string write;                 // record what peers send to this file ("": no record)
    std::optional<Recorder::Format> writeFormat;  // none: told by the file name
};

// Runs until SIGINT or SIGTERM, the duration or the session count; open
// sessions then get a Cease. False, with the reason, when it cannot listen.
bool Listen(const ListenOptions &lo, Host &host, std::string &why);

}  // namespace rpdhost
