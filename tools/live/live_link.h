// One BGP session over a connection, as listen and speak run it: the
// session's output is sent, its UPDATEs handed to the sink, its events and
// problems reported and everything recorded the same way in both modes.
#pragma once

#include <cstdint>
#include <string>

#include "bgp_session.h"
#include "message.h"
#include "net.h"
#include "reader_context.h"
#include "recorder.h"

namespace rpdhost {

// An event or problem of a live input, stamped with the time it happens.
// `router` is the BMP router the event concerns; a live session's events concern its peer.
void LiveEvent(ReaderContext &ctx, const std::string &peer, uint32_t as, const std::string &what,
               const std::string &router = "", InputEvent::Ends ends = InputEvent::Ends::Nothing);
void LiveProblem(ReaderContext &ctx, const std::string &where, const std::string &what);
// Pushes a record to its file (closes it when `last`) and the sink's output
// out; a new file of a rotating record is said, and the record's first
// failure (`failed` then set).
void FlushRecording(ReaderContext &ctx, Recorder &rec, bool last, bool &failed);

// One connection and its session.
struct LiveLink {
    LiveLink(int fd, const SpeakerConfig &cfg, double now) : sock(fd), session(cfg, now) {}
    Fd sock;
    BgpSession session;
    std::string addr;     // the peer's address
    std::string where;    // "peer:port -> local:port"
    uint64_t offset = 0;  // bytes the peer sent so far: where its next message starts
    bool closed = false;
    bool established = false;
    RecordLink record;
};

// The mode's sessions, reported and recorded: every message a peer sends is
// numbered in the order it arrives, across the sessions, as a recording of
// them numbers it when it is read back.
class LiveReport {
public:
    LiveReport(MessageSink &sink, Recorder &recorder, uint32_t localAs)
        : ctx_(sink, counts_, true), rec_(recorder), localAs_(localAs) {}

    // The mode's own events and problems (listening, a refused peer).
    void Event(const std::string &peer, uint32_t as, const std::string &what) { LiveEvent(ctx_, peer, as, what); }
    void Problem(const std::string &where, const std::string &what) { LiveProblem(ctx_, where, what); }
    // Names the link from its socket and starts its record; `outgoing` when we connected.
    void Connected(LiveLink &l, double now, bool outgoing = false);
    // Sends what the session asks, hands its UPDATEs to the sink, records and reports the rest.
    void Apply(LiveLink &l, SessionOutput out, double now);
    // Reads what the socket has and gives it to the session.
    void Read(LiveLink &l, double now);
    // Sends bytes of our own (UPDATEs); false, with the link closed and reported, when they cannot go.
    bool Send(LiveLink &l, const rpdwire::Bytes &bytes, double now);
    // Pushes the record to its file (closes it when `last`); a write failure is reported once.
    void Flush(bool last = false);

private:
    void Received(LiveLink &l, rpdwire::Bytes &message, double now);
    void Established(LiveLink &l, double now);
    void Closed(LiveLink &l, double now);

    InputCounts counts_;
    ReaderContext ctx_;
    Recorder &rec_;
    uint32_t localAs_;
    bool recordFailed_ = false;
};

}  // namespace rpdhost
