#include "live_link.h"

#include <poll.h>
#include <sys/socket.h>

#include "clock.h"

namespace rpdhost {

namespace {

void Stamp(double now, bool &has, int64_t &sec, uint32_t &usec) {
    const WallTime w = Split(now);
    has = true;
    sec = w.sec;
    usec = w.usec;
}

}  // namespace

void LiveEvent(ReaderContext &ctx, const std::string &peer, uint32_t as, const std::string &what,
               const std::string &router, InputEvent::Ends ends) {
    InputEvent e;
    e.peer = peer;
    e.peerAs = as;
    Stamp(Now(), e.hasTime, e.sec, e.usec);
    e.what = what;
    e.router = router.empty() ? peer : router;
    e.ends = ends;
    ctx.Event(e);
    FlushOutput(ctx.sink());
}

void LiveProblem(ReaderContext &ctx, const std::string &where, const std::string &what) {
    ctx.Problem("session", Place(0, 0, where), where.empty() ? what : where + ": " + what);
}

void LiveReport::Connected(LiveLink &l, double now, bool outgoing) {
    sockaddr_storage peer, local;
    SocketEnds(l.sock.get(), peer, local);  // zeroed ends when the connection is already gone
    l.addr = SocketText(peer, false);
    // The arrow points the way the connection was made.
    l.where = outgoing ? SocketText(local, true) + " -> " + SocketText(peer, true)
                       : SocketText(peer, true) + " -> " + SocketText(local, true);
    l.record.ep.peerAddr = l.addr;
    l.record.ep.localAddr = SocketText(local, false);
    // The listening side on BGP's port, so that a captured record replays with no option.
    l.record.ep.peerPort = outgoing ? rpdwire::kBgpPort : SocketPort(peer);
    l.record.ep.localPort = outgoing ? SocketPort(local) : rpdwire::kBgpPort;
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

void LiveReport::Received(LiveLink &l, rpdwire::Bytes &message, double now) {
    rec_.Received(l.record, message, now);
    Message m;
    m.source() = {0, l.where, l.addr, l.session.peerAs()};
    m.router = l.addr;
    Stamp(now, m.hasTime, m.sec, m.usec);  // the read that brought it
    m.offset = l.offset;
    l.offset += message.size();
    m.bytes = std::move(message);
    ctx_.Emit(m);
}

void LiveReport::Established(LiveLink &l, double now) {
    const BgpSession &s = l.session;
    l.established = true;
    rec_.StateChange(l.record, rpdwire::kStateOpenConfirm, rpdwire::kStateEstablished, now);
    LiveEvent(ctx_, l.addr, s.peerAs(),
              "Established: AS " + std::to_string(s.peerAs()) + ", hold time " + std::to_string(s.holdTime()) + " s" +
                  (s.peerHasRpd() ? ", RPD family (AFI 1, SAFI 75) offered" : ", no RPD family offered"));
}

void LiveReport::Closed(LiveLink &l, double now) {
    l.closed = true;
    if (l.established) rec_.StateChange(l.record, rpdwire::kStateEstablished, rpdwire::kStateIdle, now);
    rec_.Closed(l.record, now);
    l.sock.Close();
}

void LiveReport::Apply(LiveLink &l, SessionOutput out, double now) {
    if (l.closed) return;
    if (!out.send.empty() && !Send(l, out.send, now)) return;
    l.record.ep.peerAs = l.session.peerAs();
    for (SessionEvent &e : out.events) {
        switch (e.kind) {
            case SessionEvent::Kind::Message: Received(l, e.message, now); break;
            case SessionEvent::Kind::Established: Established(l, now); break;
            case SessionEvent::Kind::Closed:
                LiveEvent(ctx_, l.addr, l.session.peerAs(), e.how, "", InputEvent::Ends::Peer);
                break;
        }
    }
    if (!out.problem.empty()) LiveProblem(ctx_, l.where, out.problem);
    if (out.close) Closed(l, now);
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

void FlushRecording(ReaderContext &ctx, Recorder &rec, bool last, bool &failed) {
    std::string why;
    if (const std::string begun = rec.TakeBegun(); !begun.empty()) LiveEvent(ctx, "", 0, "recording to " + begun);
    if (!(last ? rec.Close(why) : rec.Flush(why)) && !failed) {
        failed = true;
        LiveProblem(ctx, "", "recording stopped: " + why);
    }
    FlushOutput(ctx.sink());
}

void LiveReport::Flush(bool last) { FlushRecording(ctx_, rec_, last, recordFailed_); }

}  // namespace rpdhost
