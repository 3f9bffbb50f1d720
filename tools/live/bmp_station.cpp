#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "bmp_stream.h"
#include "counted.h"
#include "live_link.h"
#include "modes.h"
#include "serve.h"

namespace rpdhost {

namespace {

// One monitored router's connection, read like a BMP file.
struct Router {
    Router(int fd, MessageSink &sink, const std::string &where, const std::string &address)
        : sock(fd), ctx(sink, counts), reader(ctx, BmpStream::Mode::Strict) {
        reader.origin().where = "router " + where;
        reader.origin().router = address;
    }
    const std::string &address() { return reader.origin().router; }
    const std::string &name() { return reader.origin().where; }
    Fd sock;
    InputCounts counts;
    ReaderContext ctx;
    BmpStream reader;
    RecordLink record;
    bool closed = false;
};

class Station {
public:
    Station(const ListenOptions &lo, MessageSink &sink, Recorder &rec)
        : lo_(lo), sink_(sink), ctx_(sink, counts_, true), rec_(rec) {}

    bool Run(std::string &why) {
        Fd listener;
        std::string local;
        if (!ListenOn(lo_.bind, lo_.port, listener, local, why)) return false;
        sink_.OnInput("bmp " + local);
        LiveEvent(ctx_, "", 0, "BMP station listening on " + local);
        InstallStopSignals();
        Acceptor acceptor(listener.get());
        const bool served = Serve(
            acceptor, routers_, lo_.duration, lo_.stopAfter, [&](const Acceptor::Taken &t, double now) { Accept(t, now); },
            [&](Router &r, double now) { Read(r, now); },
            [&](double) { FlushRecording(ctx_, rec_, false, recordFailed_); }, why);
        for (const auto &r : routers_) Close(*r, "as the station stopped", Now());
        routers_.clear();
        FlushRecording(ctx_, rec_, true, recordFailed_);
        return served;
    }

private:
    void Accept(const Acceptor::Taken &t, double now) {
        if (!t.problem.empty()) LiveProblem(ctx_, "bmp", t.problem);
        if (!t.event.empty()) LiveEvent(ctx_, "", 0, t.event);
        if (t.fd < 0) return;
        Fd sock(t.fd);
        sockaddr_storage from, to;
        if (!SocketEnds(t.fd, from, to)) return;  // gone before we could look at it
        const std::string where = SocketText(from, true);
        // BMP has no refusal message: a router turned away sees its connection closed, and retries later.
        if (t.refuse || routers_.size() >= lo_.maxSessions) {
            LiveEvent(ctx_, "", 0,
                      "router " + where + ": connection refused and closed: " +
                          (t.refuse ? std::string("no descriptors left")
                                    : rpdwire::Counted(lo_.maxSessions, "router", "routers") + " already (--max-sessions)"));
            return;
        }
        routers_.push_back(std::make_unique<Router>(sock.Release(), sink_, where, SocketText(from, false)));
        Router &r = *routers_.back();
        LiveEvent(ctx_, "", 0, r.name() + ": connected", r.address());
        if (!rec_.active()) return;
        // Recorded with the station on BMP's port, so that the record replays with no option.
        r.record.ep.peerAddr = SocketText(from, false);
        r.record.ep.localAddr = SocketText(to, false);
        r.record.ep.peerPort = SocketPort(from);
        r.record.ep.localPort = rpdwire::kBmpPort;
        rec_.Connected(r.record, now);
        r.reader.Tap([this, &r](const uint8_t *m, size_t n) { rec_.Received(r.record, rpdwire::Bytes(m, m + n), Now()); });
    }

    void Read(Router &r, double now) {
        uint8_t buf[65536];
        const ssize_t n = recv(r.sock.get(), buf, sizeof(buf), MSG_DONTWAIT);
        if (n > 0) {
            r.reader.Feed(buf, static_cast<size_t>(n));
            if (r.reader.Broken()) Close(r, "as the stream cannot be followed", now);
            else if (r.reader.terminated()) Close(r, "after its termination message", now);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            Close(r, n == 0 ? "by the router" : std::string("on an error: ") + std::strerror(errno), now);
        }
    }

    void Close(Router &r, const std::string &how, double now) {
        if (r.closed) return;
        r.reader.Finish();
        r.closed = true;
        r.sock.Close();
        if (rec_.active()) rec_.Closed(r.record, now);
        LiveEvent(ctx_, "", 0,
                  r.name() + ": connection closed " + how + " (" + rpdwire::Counted(r.counts.messages, "BGP message", "BGP messages") + ")",
                  r.address(), InputEvent::Ends::Router);
        sink_.OnCounts(r.counts);
    }

    const ListenOptions &lo_;
    MessageSink &sink_;
    InputCounts counts_;
    ReaderContext ctx_;
    Recorder &rec_;
    bool recordFailed_ = false;
    std::vector<std::unique_ptr<Router>> routers_;
};

}  // namespace

bool BmpStation(const ListenOptions &lo, MessageSink &sink, std::string &why) {
    Recorder rec;
    if (!lo.write.empty() && Recorder::FormatFor(lo.write, lo.writeFormat) == Recorder::Format::Mrt) {
        why = "--write: a BMP station records pcap or pcapng (name the file .pcap or .pcapng, or give "
              "--write-format); MRT holds no BMP";
        return false;
    }
    if (!rec.Open(lo.write, lo.writeFormat, why, lo.writeRotate)) return false;
    Station s(lo, sink, rec);
    return s.Run(why);
}

}  // namespace rpdhost
