#include "net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>

#include "address.h"

namespace rpdhost {

namespace {

volatile sig_atomic_t g_stop = 0;
extern "C" void OnStopSignal(int) { g_stop = 1; }

}  // namespace

void Fd::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void Fd::Reset(int fd) {
    Close();
    fd_ = fd;
}

uint16_t SocketPort(const sockaddr_storage &sa) {
    return ntohs(sa.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6 *>(&sa)->sin6_port
                                          : reinterpret_cast<const sockaddr_in *>(&sa)->sin_port);
}

std::string SocketText(const sockaddr_storage &sa, bool withPort) {
    const bool v6 = sa.ss_family == AF_INET6;
    const auto *in = reinterpret_cast<const sockaddr_in *>(&sa);
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&sa);
    const auto *addr = v6 ? reinterpret_cast<const uint8_t *>(&in6->sin6_addr)
                          : reinterpret_cast<const uint8_t *>(&in->sin_addr);
    return withPort ? rpdwire::EndpointText(v6, addr, SocketPort(sa)) : rpdwire::AddressText(v6, addr);
}

bool SocketEnds(int fd, sockaddr_storage &peer, sockaddr_storage &local) {
    peer = {};
    local = {};
    socklen_t pl = sizeof(peer), ll = sizeof(local);
    return getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &pl) == 0 &&
           getsockname(fd, reinterpret_cast<sockaddr *>(&local), &ll) == 0;
}

bool SocketAddress(const std::string &addr, uint16_t port, sockaddr_storage &sa, socklen_t &len) {
    sa = {};
    auto *in = reinterpret_cast<sockaddr_in *>(&sa);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&sa);
    if (inet_pton(AF_INET, addr.c_str(), &in->sin_addr) == 1) {
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        len = sizeof(sockaddr_in);
        return true;
    }
    if (inet_pton(AF_INET6, addr.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        len = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

bool ListenOn(const std::string &addr, uint16_t port, Fd &out, std::string &local, std::string &why) {
    sockaddr_storage sa{};
    socklen_t len = 0;
    if (!SocketAddress(addr, port, sa, len)) {
        why = "--bind needs an IPv4 or IPv6 address: " + addr;
        return false;
    }
    local = SocketText(sa, true);
    const int fd = socket(sa.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0 ||
        bind(fd, reinterpret_cast<sockaddr *>(&sa), len) != 0 || listen(fd, 128) != 0) {
        why = "cannot listen on " + local + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    out.Reset(fd);
    return true;
}

void InstallStopSignals() {
    struct sigaction act {};
    act.sa_handler = OnStopSignal;
    sigaction(SIGINT, &act, nullptr);
    sigaction(SIGTERM, &act, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stop != 0; }

void FlushOutput(MessageSink &sink) {
    if (!sink.Flush()) g_stop = 1;
}

}  // namespace rpdhost
