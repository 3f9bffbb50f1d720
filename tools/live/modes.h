// The live modes. Each feeds what it reads to a MessageSink, as the file
// readers do:
//   listen  a passive BGP speaker: accepts sessions, runs each one's state
//           machine and hands every UPDATE over. Sessions are isolated: a peer
//           that misbehaves gets its NOTIFICATION and is closed, the others go on.
//   speak   an RPD controller for testing a router: connects to (or accepts)
//           one peer, announces the UPDATEs of an encode description once the
//           session is up, withdraws them on request (SIGUSR1 or "withdraw" on
//           standard input; SIGUSR2 or "announce" sends them again) and when it
//           stops, and hands over everything the peer sends.
//   bmp     a BMP station (RFC 7854): monitored routers connect; each stream
//           is read like a BMP file, its messages attributed to the router and
//           the peer they come from. A broken stream is reported and closed,
//           the others go on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bgp_session.h"
#include "encode.h"
#include "message.h"
#include "recorder.h"

namespace rpdhost {

// The port `rpd-host bmp` listens on unless told.
constexpr uint16_t kStationPort = 11019;
// Connections served at once unless told: well within the usual limit of
// 1024 descriptors, far beyond the peers of one RPD controller or station.
constexpr unsigned kDefaultMaxSessions = 256;

struct ListenOptions {
    std::string bind = "0.0.0.0";
    uint16_t port = rpdwire::kBgpPort;
    SpeakerConfig speaker;
    std::vector<std::string> allowed;  // peer addresses allowed to connect, as given; empty: any
    unsigned maxSessions = kDefaultMaxSessions;  // connections at once; more are refused
    unsigned stopAfter = 0;            // stop once this many sessions have ended (0: no limit)
    double duration = 0;               // stop after this many seconds (0: no limit)
    std::string write;                 // record what peers send to this file ("": no record)
    std::optional<Recorder::Format> writeFormat;  // none: told by the file name
    RecordRotation writeRotate;                   // none: one file
};

struct SpeakOptions {
    ListenOptions link;   // --bind / --port / speaker settings / --duration / --write
    std::string connect;  // the peer to connect to ("": accept one on --bind, --port)
    bool force = false;   // announce even when the peer did not offer the RPD family
};

// Each runs until SIGINT or SIGTERM, its duration or its session count (speak:
// until its one session ends); open sessions then get a Cease. False, with
// the reason, when it cannot start at all (bad address, port in use, a
// message too big to send).
bool Listen(const ListenOptions &lo, MessageSink &sink, std::string &why);
bool Speak(const SpeakOptions &so, const EncodeJob &job, MessageSink &sink, std::string &why);
// Uses ListenOptions' bind, port, maxSessions, stopAfter and duration.
bool BmpStation(const ListenOptions &lo, MessageSink &sink, std::string &why);

}  // namespace rpdhost
