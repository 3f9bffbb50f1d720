// The socket plumbing of the live modes: a descriptor's owner, socket
// addresses as text, a listening socket, the stop signals, and the serving
// loop the listening modes share.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "message.h"

namespace rpdhost {

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0) Close();
    }
    int get() const { return fd_; }
    void Close();
    void Reset(int fd);
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// An IPv4 or IPv6 socket address as text, with its port or without.
std::string SocketText(const sockaddr_storage &sa, bool withPort);
uint16_t SocketPort(const sockaddr_storage &sa);
// `addr` (IPv4 or IPv6 text) and `port` as a socket address; false when `addr` is neither.
bool SocketAddress(const std::string &addr, uint16_t port, sockaddr_storage &sa, socklen_t &len);
// A listening TCP socket; false with the reason.
bool ListenOn(const std::string &addr, uint16_t port, Fd &out, std::string &local, std::string &why);

// SIGINT and SIGTERM ask the live modes to stop (after a Cease); SIGPIPE is ignored.
void InstallStopSignals();
bool StopRequested();
// Has the sink push out what it wrote, as it happens; when its output failed
// (a full disk) the live modes stop: what they read would be lost, and the
// run reports it as it ends.
void FlushOutput(MessageSink &sink);

// The loop of the listening modes: accepts on `listener`, reads what each
// connection has, ticks, and drops the connections that closed, until a stop
// signal, `duration` seconds (0: none) or `maxEnded` ended connections (0:
// none). `Conn` has `sock` and `closed`; `accept(now)` appends to `conns`.
// False, with the reason, when poll fails.
template <typename Conn, typename Accept, typename Ready, typename Tick>
bool Serve(int listener, std::vector<std::unique_ptr<Conn>> &conns, double duration, unsigned maxEnded,
           Accept accept, Ready ready, Tick tick, std::string &why) {
    const double end = duration > 0 ? Now() + duration : 0;
    unsigned ended = 0;
    while (!StopRequested() && (end == 0 || Now() < end) && (maxEnded == 0 || ended < maxEnded)) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const auto &c : conns) fds.push_back({c->sock.get(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) {
            why = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        const double now = Now();
        if (fds[0].revents & POLLIN) accept(now);
        for (size_t i = 1; i < fds.size(); ++i)  // connections accepted just now come after these
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ready(*conns[i - 1], now);
        tick(now);
        ended += static_cast<unsigned>(std::erase_if(conns, [](const std::unique_ptr<Conn> &c) { return c->closed; }));
    }
    return true;
}

}  // namespace rpdhost
