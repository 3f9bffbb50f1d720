#include <sys/socket.h>

#include <memory>

#include "counted.h"
#include "live_link.h"
#include "modes.h"
#include "serve.h"

namespace rpdhost {

namespace {

class Speaker {
public:
    Speaker(const ListenOptions &lo, MessageSink &sink, Recorder &rec)
        : lo_(lo), sink_(sink), report_(sink, rec, lo.speaker.localAs) {}

    bool Run(std::string &why) {
        Fd listener;
        std::string local;
        if (!ListenOn(lo_.bind, lo_.port, listener, local, why)) return false;
        sink_.OnInput("listen " + local);
        report_.Event("", 0, "listening on " + local);
        InstallStopSignals();

        Acceptor acceptor(listener.get());
        const bool served = Serve(
            acceptor, peers_, lo_.duration, lo_.stopAfter, [&](const Acceptor::Taken &t, double now) { Accept(t, now); },
            [&](LiveLink &p, double now) { report_.Read(p, now); },
            [&](double now) {
                for (const auto &p : peers_)
                    if (!p->closed) report_.Apply(*p, p->session.Tick(now), now);
                report_.Flush();
            },
            why);
        for (const auto &p : peers_) report_.Apply(*p, p->session.Shutdown(), Now());
        peers_.clear();
        report_.Flush(true);
        return served;
    }

private:
    void Accept(const Acceptor::Taken &t, double now) {
        if (!t.problem.empty()) report_.Problem("listen", t.problem);
        if (!t.event.empty()) report_.Event("", 0, t.event);
        if (t.fd < 0) return;
        auto p = std::make_unique<LiveLink>(t.fd, lo_.speaker, now);
        report_.Connected(*p, now);
        // A peer we do not take is told so (RFC 4486) and the connection closed: a refusal, not a failure.
        if (!Allowed(p->addr)) return Refuse(*p, rpdwire::kCeaseRejected, "not an allowed peer (--allow)", now);
        if (t.refuse) return Refuse(*p, rpdwire::kCeaseOutOfResources, "no descriptors left", now);
        if (peers_.size() >= lo_.maxSessions)
            return Refuse(*p, rpdwire::kCeaseOutOfResources,
                          rpdwire::Counted(lo_.maxSessions, "session", "sessions") + " already (--max-sessions)", now);
        report_.Event(p->addr, 0, "connected: " + p->where);
        SessionOutput out = p->session.Start();
        peers_.push_back(std::move(p));
        report_.Apply(*peers_.back(), std::move(out), now);
    }

    void Refuse(LiveLink &p, uint8_t subcode, const std::string &why, double now) {
        SessionOutput out;
        out.send = BuildNotification(rpdwire::kErrCease, subcode);
        out.events.push_back({SessionEvent::Kind::Closed, {},
                              "connection rejected: " + p.where + ", " + why + "; sent NOTIFICATION " +
                                  NotificationText(rpdwire::kErrCease, subcode)});
        out.close = true;
        report_.Apply(p, std::move(out), now);
    }

    bool Allowed(const std::string &addr) const {
        if (lo_.allowed.empty()) return true;
        for (const std::string &a : lo_.allowed)
            if (a == addr) return true;
        return false;
    }

    const ListenOptions &lo_;
    MessageSink &sink_;
    LiveReport report_;
    std::vector<std::unique_ptr<LiveLink>> peers_;
};

}  // namespace

bool Listen(const ListenOptions &lo, MessageSink &sink, std::string &why) {
    Recorder rec;
    if (!rec.Open(lo.write, lo.writeFormat, why, lo.writeRotate)) return false;
    Speaker s(lo, sink, rec);
    return s.Run(why);
}

}  // namespace rpdhost
