// rpd-host speak: an RPD controller for testing a router. It connects to
// (or accepts) one peer, announces the policies of an encode description
// once the session is up, withdraws them on request (SIGUSR1 or "withdraw"
// on standard input; SIGUSR2 or "announce" sends them again) and when it
// stops, and reports everything the peer sends back, NOTIFICATIONs above all.
#pragma once

#include <string>

#include "encode.h"
#include "listen.h"

namespace rpdhost {

struct SpeakOptions {
    ListenOptions link;   // --bind / --port / speaker settings / --duration / --write
    std::string connect;  // the peer to connect to ("": accept one on --bind, --port)
    bool force = false;   // announce even when the peer did not offer the RPD family
};

// Runs until the session ends or we stop it. False, with the reason, when no
// session could be attempted at all (bad address, port in use, a message too big).
bool Speak(const SpeakOptions &so, const EncodeJob &job, Host &host, std::string &why);

}  // namespace rpdhost
