// rpd-host bmp: a BMP station (RFC 7854). Monitored routers connect to it;
// each connection's stream is read like a BMP file, its messages attributed
// to the router and the peer they come from. Several routers at once, each
// on its own: a broken stream is reported and closed, the others go on.
#pragma once

#include <string>

#include "host.h"
#include "listen.h"

namespace rpdhost {

constexpr uint16_t kBmpPort = 11019;

// Uses ListenOptions' --bind, --port, --max-sessions and --duration. Runs
// until SIGINT or SIGTERM, the duration or the session count; false, with
// the reason, when it cannot listen.
bool BmpStation(const ListenOptions &lo, Host &host, std::string &why);

}  // namespace rpdhost
