#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "counted.h"
#include "live_link.h"
#include "modes.h"

namespace rpdhost {

namespace {

volatile sig_atomic_t g_withdraw = 0, g_announce = 0;
extern "C" void OnWithdrawSignal(int) { g_withdraw = 1; }
extern "C" void OnAnnounceSignal(int) { g_announce = 1; }

constexpr double kConnectRetry = 5;

class Controller {
public:
    Controller(const SpeakOptions &so, const EncodeJob &job, MessageSink &sink, Recorder &rec)
        : so_(so), job_(job), sink_(sink), report_(sink, rec, so.link.speaker.localAs) {}

    bool Run(std::string &why) {
        for (const rpdwire::Bytes &m : job_.messages)
            if (m.size() > rpdwire::kBgpMaxMessage) {
                why = "an UPDATE of " + std::to_string(m.size()) + " bytes exceeds the " +
                      std::to_string(rpdwire::kBgpMaxMessage) + " a BGP message may have";
                return false;
            }
        InstallStopSignals();
        struct sigaction act {};
        act.sa_handler = OnWithdrawSignal;
        sigaction(SIGUSR1, &act, nullptr);
        act.sa_handler = OnAnnounceSignal;
        sigaction(SIGUSR2, &act, nullptr);
        end_ = so_.link.duration > 0 ? Now() + so_.link.duration : 0;

        const bool active = !so_.connect.empty();
        sink_.OnInput(active ? "speak to " + so_.connect : "speak on " + so_.link.bind);
        const int fd = active ? Connect(why) : Accept(why);
        if (fd < 0) {
            if (!why.empty()) return false;
            // Stopped before a peer came: nothing was announced, which is a failure.
            report_.Problem("", active ? "no session: no connection to " + so_.connect + " before the end"
                                       : "no session: no peer connected before the end");
            report_.Flush(true);
            return true;
        }
        link_ = std::make_unique<LiveLink>(fd, so_.link.speaker, Now());
        report_.Connected(*link_, Now(), active);
        report_.Event(link_->addr, 0, "connected: " + link_->where);
        report_.Apply(*link_, link_->session.Start(), Now());
        Loop();
        if (!link_->established) report_.Problem(link_->where, "no session: it ended before it was established");
        report_.Flush(true);
        return true;
    }

private:
    bool TimeLeft() const { return !StopRequested() && (end_ == 0 || Now() < end_); }

    // A connection to --connect, tried again every few seconds until it is made or we stop.
    int Connect(std::string &why) {
        sockaddr_storage sa{};
        socklen_t len = 0;
        if (!SocketAddress(so_.connect, so_.link.port, sa, len)) {
            why = "--connect needs an IPv4 or IPv6 address: " + so_.connect;
            return -1;
        }
        sockaddr_storage from{};
        socklen_t fromLen = 0;
        const bool bindLocal = so_.link.bind != "0.0.0.0";
        if (bindLocal && !SocketAddress(so_.link.bind, 0, from, fromLen)) {
            why = "--bind needs an IPv4 or IPv6 address: " + so_.link.bind;
            return -1;
        }
        // A connection attempt gives up after the retry interval rather than the system's minutes.
        const timeval limit{static_cast<time_t>(kConnectRetry), 0};
        while (TimeLeft()) {
            Fd fd(socket(sa.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
            if (fd.get() >= 0 && setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) == 0 &&
                (!bindLocal || bind(fd.get(), reinterpret_cast<sockaddr *>(&from), fromLen) == 0) &&
                connect(fd.get(), reinterpret_cast<sockaddr *>(&sa), len) == 0) {
                return fd.Release();
            }
            report_.Event(so_.connect, 0, "cannot connect to " + SocketText(sa, true) + ": " + std::strerror(errno) +
                                              "; trying again in 5 s");
            const double until = Now() + kConnectRetry;
            while (TimeLeft() && Now() < until) usleep(100000);
        }
        return -1;
    }

    // The first connection to --bind, --port.
    int Accept(std::string &why) {
        Fd listener;
        std::string local;
        if (!ListenOn(so_.link.bind, so_.link.port, listener, local, why)) return -1;
        report_.Event("", 0, "waiting for the peer on " + local);
        while (TimeLeft()) {
            pollfd pf{listener.get(), POLLIN, 0};
            if (poll(&pf, 1, 100) > 0) {
                const int fd = accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) return fd;
            }
        }
        return -1;
    }

    void Loop() {
        LiveLink &l = *link_;
        bool stdinOpen = true;
        std::string line;
        while (!l.closed && TimeLeft()) {
            pollfd fds[2] = {{l.sock.get(), POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
            poll(fds, 2, 100);
            const double now = Now();
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) report_.Read(l, now);
            if (fds[1].revents & (POLLIN | POLLHUP)) stdinOpen = ReadCommands(line);
            if (!l.closed) report_.Apply(l, l.session.Tick(now), now);
            // Requests wait for the session to be up.
            if (l.session.state() == SessionState::Established) {
                if (!offered_) Offer();
                if (g_withdraw) {
                    g_withdraw = 0;
                    Withdraw();
                }
                if (g_announce) {
                    g_announce = 0;
                    Announce();
                }
            }
            report_.Flush();
        }
        if (!l.closed) {
            if (announced_) Withdraw();
            report_.Apply(l, l.session.Shutdown(), Now());
        }
    }

    // Commands, one a line: "withdraw", "announce", "quit". False at the end of the input.
    bool ReadCommands(std::string &line) {
        char buf[256];
        const ssize_t n = read(0, buf, sizeof(buf));
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (line.size() < 64) line += buf[i];
                continue;
            }
            if (line == "withdraw") g_withdraw = 1;
            else if (line == "announce") g_announce = 1;
            else if (line == "quit") raise(SIGTERM);
            else if (!line.empty()) report_.Event("", 0, "unknown command \"" + line + "\" (withdraw, announce, quit)");
            line.clear();
        }
        return true;
    }

    // Once the session is up: announce, unless the peer cannot take the family.
    void Offer() {
        offered_ = true;
        if (link_->session.peerHasRpd() || so_.force) return Announce();
        report_.Event(link_->addr, link_->session.peerAs(),
                      "the peer did not offer AFI 1 / SAFI 75: nothing announced (--force sends the policies anyway)");
    }

    // Sends UPDATEs of ours, each counted as sent; false when the connection is lost on the way.
    bool SendUpdates(const std::vector<rpdwire::Bytes> &updates) {
        for (const rpdwire::Bytes &m : updates) {
            if (!report_.Send(*link_, m, Now())) return false;
            sink_.OnSent(m);
        }
        return true;
    }

    void Announce() {
        if (!SendUpdates(job_.messages)) return;
        announced_ = true;
        report_.Event(link_->addr, link_->session.peerAs(),
                      "announced " + rpdwire::Counted(job_.messages.size(), "UPDATE", "UPDATEs") + ", " +
                          rpdwire::Counted(job_.standing.size(), "route", "routes") + " standing");
    }

    void Withdraw() {
        const std::vector<rpdwire::Bytes> w = Withdrawals(job_.standing);
        if (!SendUpdates(w)) return;
        announced_ = false;
        report_.Event(link_->addr, link_->session.peerAs(),
                      "withdrew " + rpdwire::Counted(job_.standing.size(), "route", "routes") + " in " +
                          rpdwire::Counted(w.size(), "UPDATE", "UPDATEs"));
    }

    const SpeakOptions &so_;
    const EncodeJob &job_;
    MessageSink &sink_;
    LiveReport report_;
    std::unique_ptr<LiveLink> link_;
    double end_ = 0;
    bool offered_ = false;
    bool announced_ = false;
};

}  // namespace

bool Speak(const SpeakOptions &so, const EncodeJob &job, MessageSink &sink, std::string &why) {
    Recorder rec;
    if (!rec.Open(so.link.write, so.link.writeFormat, why, so.link.writeRotate)) return false;
    Controller c(so, job, sink, rec);
    return c.Run(why);
}

}  // namespace rpdhost
