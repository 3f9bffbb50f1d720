#include "live_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "address.h"

namespace rpdhost {

namespace {

volatile sig_atomic_t g_stop = 0;
extern "C" void OnStopSignal(int) { g_stop = 1; }

// RFC 6396 state numbers of the MRT state change records.
constexpr uint16_t kMrtIdle = 1, kMrtOpenConfirm = 5, kMrtEstablished = 6;

void Stamp(double now, bool &has, int64_t &sec, uint32_t &usec) {
    const WallTime w = Split(now);
    has = true;
    sec = w.sec;
    usec = w.usec;
}

uint16_t SocketPort(const sockaddr_storage &sa) {
    return ntohs(sa.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6 *>(&sa)->sin6_port
                                          : reinterpret_cast<const sockaddr_in *>(&sa)->sin_port);
}

}  // namespace

void Fd::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void Fd::Reset(int fd) {
    Close();
    fd_ = fd;
}

std::string SocketText(const sockaddr_storage &sa, bool withPort) {
    const bool v6 = sa.ss_family == AF_INET6;
    const auto *in = reinterpret_cast<const sockaddr_in *>(&sa);
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&sa);
    const auto *addr = v6 ? reinterpret_cast<const uint8_t *>(&in6->sin6_addr)
                          : reinterpret_cast<const uint8_t *>(&in->sin_addr);
    return withPort ? EndpointText(v6, addr, SocketPort(sa)) : AddressText(v6, addr);
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

void LiveReport::Connected(LiveLink &l, double now) {
    sockaddr_storage peer{}, local{};
    socklen_t pl = sizeof(peer), ll = sizeof(local);
    getpeername(l.sock.get(), reinterpret_cast<sockaddr *>(&peer), &pl);
    getsockname(l.sock.get(), reinterpret_cast<sockaddr *>(&local), &ll);
    l.addr = SocketText(peer, false);
    l.where = SocketText(peer, true) + " -> " + SocketText(local, true);
    l.record.ep.peerAddr = l.addr;
    l.record.ep.localAddr = SocketText(local, false);
    l.record.ep.peerPort = SocketPort(peer);
    l.record.ep.localPort = SocketPort(local);
    l.record.ep.peerAs = 0;
    l.record.ep.localAs = localAs_;
    rec_.Connected(l.record, now);
}

bool LiveReport::Send(LiveLink &l, const rpdwire::Bytes &bytes, double now) {
    if (l.closed || bytes.empty()) return !l.closed;
    // A full send buffer is waited out for a while, so that a burst of UPDATEs
    // reaches a slow peer whole; a peer that stops reading altogether is let go
    // rather than holding up the other sessions.
    constexpr int kStallMs = 10000;
    size_t sent = 0;
    std::string why;
    while (sent < bytes.size() && why.empty()) {
        const ssize_t n = send(l.sock.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pf{l.sock.get(), POLLOUT, 0};
            if (poll(&pf, 1, kStallMs) == 0) why = "the peer has read nothing for " + std::to_string(kStallMs / 1000) + " s";
        } else if (n < 0 && errno != EINTR) {
            why = std::string("cannot send to the peer: ") + std::strerror(errno);
        }
    }
    if (why.empty()) return true;
    SessionOutput out;
    out.problem = why;
    out.close = true;
    Apply(l, std::move(out), now);
    return false;
}

void LiveReport::Apply(LiveLink &l, SessionOutput out, double now) {
    if (l.closed) return;
    if (!out.send.empty() && !Send(l, out.send, now)) return;
    l.record.ep.peerAs = l.session.peerAs();
    for (const rpdwire::Bytes &m : out.received) rec_.Received(l.record, m, now);
    for (const std::string &e : out.events) {
        std::string what = e;
        if (e == "Established") {
            l.established = true;
            rec_.StateChange(l.record, kMrtOpenConfirm, kMrtEstablished, now);
            what = "Established: AS " + std::to_string(l.session.peerAs()) + ", hold time " +
                   std::to_string(l.session.holdTime()) + " s" +
                   (l.session.peerHasRpd() ? ", RPD family (AFI 1, SAFI 75) offered" : ", no RPD family offered");
        }
        Event(l.addr, l.session.peerAs(), what);
    }
    for (std::vector<uint8_t> &u : out.updates) {
        Message m;
        m.number = ++l.messages;
        m.offset = l.offset;
        l.offset += u.size();
        m.where = l.where;
        m.peer = l.addr;
        m.peerAs = l.session.peerAs();
        Stamp(now, m.hasTime, m.sec, m.usec);  // the read that brought it
        m.bytes = std::move(u);
        host_.OnMessage(m);
    }
    if (!out.problem.empty()) Problem(l.where, out.problem);
    if (out.close) {
        l.closed = true;
        if (l.established) rec_.StateChange(l.record, kMrtEstablished, kMrtIdle, now);
        rec_.Closed(l.record, now);
        l.sock.Close();
    }
}

void LiveReport::Read(LiveLink &l, double now) {
    if (l.closed) return;
    uint8_t buf[65536];
    const ssize_t n = recv(l.sock.get(), buf, sizeof(buf), MSG_DONTWAIT);
    if (n > 0) {
        Apply(l, l.session.Receive(buf, static_cast<size_t>(n), now), now);
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        Apply(l, l.session.PeerClosed(), now);
    }
}

void LiveEvents::Event(const std::string &peer, uint32_t as, const std::string &what) {
    InputEvent e;
    e.live = true;
    e.peer = peer;
    e.peerAs = as;
    Stamp(Now(), e.hasTime, e.sec, e.usec);
    e.what = what;
    host_.OnEvent(e);
    std::fflush(stdout);
}

void LiveEvents::Problem(const std::string &where, const std::string &what) {
    InputProblem ip;
    ip.where = where;
    ip.what = where.empty() ? what : where + ": " + what;
    host_.OnProblem(ip);
}

void LiveReport::Flush() {
    std::string why;
    if (!rec_.Flush(why) && !recordFailed_) {
        recordFailed_ = true;
        Problem("", "recording stopped: " + why);
    }
    std::fflush(stdout);
}

}  // namespace rpdhost
