// The serving loop the listening modes (listen, bmp) share.
#pragma once

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acceptor.h"
#include "clock.h"
#include "net.h"

namespace rpdhost {

// The loop of the listening modes: accepts through `acceptor`, reads what
// each connection has, ticks, and drops the connections that closed, until a
// stop signal, `duration` seconds (0: none) or `maxEnded` ended connections
// (0: none). `Conn` has `sock` and `closed`; `accept(taken, now)` appends to
// `conns` or refuses. False, with the reason, when poll fails.
template <typename Conn, typename Accept, typename Ready, typename Tick>
bool Serve(Acceptor &acceptor, std::vector<std::unique_ptr<Conn>> &conns, double duration, unsigned maxEnded,
           Accept accept, Ready ready, Tick tick, std::string &why) {
    const double end = duration > 0 ? Now() + duration : 0;
    unsigned ended = 0;
    while (!StopRequested() && (end == 0 || Now() < end) && (maxEnded == 0 || ended < maxEnded)) {
        std::vector<pollfd> fds{{acceptor.Ready(Now()) ? acceptor.listener() : -1, POLLIN, 0}};
        for (const auto &c : conns) fds.push_back({c->sock.get(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) {
            why = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        const double now = Now();
        if (fds[0].revents & POLLIN) {
            accept(acceptor.Accept(now), now);
            acceptor.Refill();  // a connection taken with the reserve is closed by now
        }
        for (size_t i = 1; i < fds.size(); ++i)  // connections accepted just now come after these
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ready(*conns[i - 1], now);
        tick(now);
        ended += static_cast<unsigned>(std::erase_if(conns, [](const std::unique_ptr<Conn> &c) { return c->closed; }));
    }
    return true;
}

}  // namespace rpdhost
