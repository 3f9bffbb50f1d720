#include "listen.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "address.h"

namespace rpdhost {

namespace {

volatile sig_atomic_t g_stop = 0;
extern "C" void OnStopSignal(int) { g_stop = 1; }

double Now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// A socket address (IPv4 or IPv6) as text, with its port or without.
std::string SocketText(const sockaddr_storage &sa, bool withPort) {
    const bool v6 = sa.ss_family == AF_INET6;
    const auto *in = reinterpret_cast<const sockaddr_in *>(&sa);
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&sa);
    const auto *addr = v6 ? reinterpret_cast<const uint8_t *>(&in6->sin6_addr)
                          : reinterpret_cast<const uint8_t *>(&in->sin_addr);
    return withPort ? EndpointText(v6, addr, ntohs(v6 ? in6->sin6_port : in->sin_port)) : AddressText(v6, addr);
}

// One accepted connection and its session.
struct Peer {
    Peer(int fd, const SpeakerConfig &cfg, double now) : sock(fd), session(cfg, now) {}
    Fd sock;
    BgpSession session;
    std::string addr;   // the peer's address
    std::string where;  // "peer:port -> local:port"
    uint64_t messages = 0;
    uint64_t offset = 0;  // bytes of UPDATEs handed over so far
    bool closed = false;
};

class Speaker {
public:
    Speaker(const ListenOptions &lo, Host &host) : lo_(lo), host_(host) {}

    bool Run(std::string &why) {
        sockaddr_storage sa{};
        socklen_t saLen = 0;
        if (!BindAddress(sa, saLen)) {
            why = "--bind needs an IPv4 or IPv6 address: " + lo_.bind;
            return false;
        }
        Fd listener(socket(sa.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int one = 1;
        if (listener.get() < 0 || setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0 ||
            bind(listener.get(), reinterpret_cast<sockaddr *>(&sa), saLen) != 0 || listen(listener.get(), 64) != 0) {
            why = "cannot listen on " + SocketText(sa, true) + ": " + std::strerror(errno);
            return false;
        }
        local_ = SocketText(sa, true);
        host_.BeginLive("listen " + local_);
        Event("", 0, "listening on " + local_);
        struct sigaction act {};
        act.sa_handler = OnStopSignal;
        sigaction(SIGINT, &act, nullptr);
        sigaction(SIGTERM, &act, nullptr);
        signal(SIGPIPE, SIG_IGN);

        const double end = lo_.duration > 0 ? Now() + lo_.duration : 0;
        while (!g_stop && (end == 0 || Now() < end) && (lo_.maxSessions == 0 || ended_ < lo_.maxSessions)) {
            std::vector<pollfd> fds{{listener.get(), POLLIN, 0}};
            for (const auto &p : peers_) fds.push_back({p->sock.get(), POLLIN, 0});
            if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) {
                why = std::string("poll: ") + std::strerror(errno);
                return false;
            }
            const double now = Now();
            if (fds[0].revents & POLLIN) Accept(listener.get(), now);
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) Read(*peers_[i - 1], now);
            for (const auto &p : peers_)
                if (!p->closed) Apply(*p, p->session.Tick(now));
            Reap();
        }
        for (const auto &p : peers_) Apply(*p, p->session.Shutdown());
        Reap();
        return true;
    }

private:
    bool BindAddress(sockaddr_storage &sa, socklen_t &len) const {
        auto *in = reinterpret_cast<sockaddr_in *>(&sa);
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&sa);
        if (inet_pton(AF_INET, lo_.bind.c_str(), &in->sin_addr) == 1) {
            in->sin_family = AF_INET;
            in->sin_port = htons(lo_.port);
            len = sizeof(sockaddr_in);
            return true;
        }
        if (inet_pton(AF_INET6, lo_.bind.c_str(), &in6->sin6_addr) == 1) {
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(lo_.port);
            len = sizeof(sockaddr_in6);
            return true;
        }
        return false;
    }

    void Accept(int listener, double now) {
        sockaddr_storage from{};
        socklen_t len = sizeof(from);
        const int fd = accept4(listener, reinterpret_cast<sockaddr *>(&from), &len, SOCK_CLOEXEC);
        if (fd < 0) return;
        auto p = std::make_unique<Peer>(fd, lo_.speaker, now);
        p->addr = SocketText(from, false);
        p->where = SocketText(from, true) + " -> " + local_;
        if (!Allowed(p->addr)) {
            Problem(*p, "connection refused: " + p->addr + " is not an allowed --peer");
            return;
        }
        Event(p->addr, 0, "connected from " + SocketText(from, true));
        SessionOutput out = p->session.Start();
        peers_.push_back(std::move(p));
        Apply(*peers_.back(), std::move(out));
    }

    bool Allowed(const std::string &addr) const {
        if (lo_.allowed.empty()) return true;
        for (const std::string &a : lo_.allowed)
            if (a == addr) return true;
        return false;
    }

    void Read(Peer &p, double now) {
        if (p.closed) return;
        uint8_t buf[65536];
        const ssize_t n = recv(p.sock.get(), buf, sizeof(buf), 0);
        if (n > 0) {
            Apply(p, p.session.Receive(buf, static_cast<size_t>(n), now));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            Apply(p, p.session.PeerClosed());
        }
    }

    // Sends what the session asks, hands its UPDATEs to the walk and reports the rest.
    void Apply(Peer &p, SessionOutput out) {
        if (p.closed) return;
        if (!out.send.empty() &&
            send(p.sock.get(), out.send.data(), out.send.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
                static_cast<ssize_t>(out.send.size())) {
            out.problem = out.problem.empty() ? std::string("cannot send to the peer: ") + std::strerror(errno)
                                              : out.problem;
            out.close = true;
        }
        for (const std::string &e : out.events) {
            std::string what = e;
            if (e == "Established") {
                what = "Established: AS " + std::to_string(p.session.peerAs()) + ", hold time " +
                       std::to_string(p.session.holdTime()) + " s" +
                       (p.session.peerHasRpd() ? ", RPD family (AFI 1, SAFI 75) offered" : ", no RPD family offered");
            }
            Event(p.addr, p.session.peerAs(), what);
        }
        for (std::vector<uint8_t> &u : out.updates) {
            Message m;
            m.number = ++p.messages;
            m.offset = p.offset;
            p.offset += u.size();
            m.where = p.where;
            m.peer = p.addr;
            m.peerAs = p.session.peerAs();
            Stamp(m.hasTime, m.sec, m.usec);
            m.bytes = std::move(u);
            host_.OnMessage(m);
        }
        if (!out.problem.empty()) Problem(p, out.problem);
        if (out.close) p.closed = true;
        std::fflush(stdout);
    }

    void Reap() {
        for (auto it = peers_.begin(); it != peers_.end();) {
            if ((*it)->closed) {
                ++ended_;
                it = peers_.erase(it);
            } else {
                ++it;
            }
        }
    }

    static void Stamp(bool &has, int64_t &sec, uint32_t &usec) {
        timeval tv;
        gettimeofday(&tv, nullptr);
        has = true;
        sec = tv.tv_sec;
        usec = static_cast<uint32_t>(tv.tv_usec);
    }

    void Event(const std::string &peer, uint32_t as, const std::string &what) {
        InputEvent e;
        e.peer = peer;
        e.peerAs = as;
        Stamp(e.hasTime, e.sec, e.usec);
        e.what = what;
        host_.OnEvent(e);
        std::fflush(stdout);
    }

    void Problem(const Peer &p, const std::string &what) {
        InputProblem ip;
        ip.where = p.where;
        ip.what = p.where + ": " + what;
        host_.OnProblem(ip);
    }

    const ListenOptions &lo_;
    Host &host_;
    std::string local_;
    std::vector<std::unique_ptr<Peer>> peers_;
    unsigned ended_ = 0;
};

}  // namespace

bool Listen(const ListenOptions &lo, Host &host, std::string &why) {
    Speaker s(lo, host);
    return s.Run(why);
}

}  // namespace rpdhost
