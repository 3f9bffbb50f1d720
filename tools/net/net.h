// The socket plumbing of the live modes: a descriptor's owner, socket
// addresses as text, a listening socket and the stop signals.
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
// The two ends of a connected socket; false when the connection is already gone.
bool SocketEnds(int fd, sockaddr_storage &peer, sockaddr_storage &local);
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

}  // namespace rpdhost
