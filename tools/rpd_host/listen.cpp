#include "listen.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "live_link.h"

namespace rpdhost {

namespace {

class Speaker {
public:
    Speaker(const ListenOptions &lo, Host &host, Recorder &rec)
        : lo_(lo), host_(host), rec_(rec), report_(host, rec, lo.speaker.localAs) {}

    bool Run(std::string &why) {
        Fd listener;
        std::string local;
        if (!ListenOn(lo_.bind, lo_.port, listener, local, why)) return false;
        host_.BeginLive("listen " + local);
        report_.Event("", 0, "listening on " + local);
        InstallStopSignals();

        const double end = lo_.duration > 0 ? Now() + lo_.duration : 0;
        while (!StopRequested() && (end == 0 || Now() < end) &&
               (lo_.maxSessions == 0 || ended_ < lo_.maxSessions)) {
            std::vector<pollfd> fds{{listener.get(), POLLIN, 0}};
            for (const auto &p : peers_) fds.push_back({p->sock.get(), POLLIN, 0});
            if (poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) {
                why = std::string("poll: ") + std::strerror(errno);
                return false;
            }
            const double now = Now();
            if (fds[0].revents & POLLIN) Accept(listener.get(), now);
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) report_.Read(*peers_[i - 1], now);
            for (const auto &p : peers_)
                if (!p->closed) report_.Apply(*p, p->session.Tick(now), now);
            Reap();
            report_.Flush();
        }
        for (const auto &p : peers_) report_.Apply(*p, p->session.Shutdown(), Now());
        Reap();
        report_.Flush();
        return true;
    }

private:
    void Accept(int listener, double now) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        auto p = std::make_unique<LiveLink>(fd, lo_.speaker, now);
        p->session.KeepReceived(rec_.active());
        report_.Connected(*p, now);
        if (!Allowed(p->addr)) {
            report_.Problem(p->where, "connection refused: " + p->addr + " is not an allowed --peer");
            return;
        }
        report_.Event(p->addr, 0, "connected: " + p->where);
        SessionOutput out = p->session.Start();
        peers_.push_back(std::move(p));
        report_.Apply(*peers_.back(), std::move(out), now);
    }

    bool Allowed(const std::string &addr) const {
        if (lo_.allowed.empty()) return true;
        for (const std::string &a : lo_.allowed)
            if (a == addr) return true;
        return false;
    }

    void Reap() { ended_ += static_cast<unsigned>(ReapClosed(peers_)); }

    const ListenOptions &lo_;
    Host &host_;
    Recorder &rec_;
    LiveReport report_;
    std::vector<std::unique_ptr<LiveLink>> peers_;
    unsigned ended_ = 0;
};

}  // namespace

bool Listen(const ListenOptions &lo, Host &host, std::string &why) {
    Recorder rec;
    if (!lo.write.empty() && !rec.Open(lo.write, lo.writeFormat, why)) return false;
    Speaker s(lo, host, rec);
    return s.Run(why);
}

}  // namespace rpdhost
