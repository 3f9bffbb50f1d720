// What the route walk tells whoever listens, and the listeners' interface.
// The walk does not know who listens: the output formats, the verifier, the
// problem log and the filters are all route sinks, behind one fan-out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "message.h"
#include "route_buffers.h"
#include "tam_rpd.h"
#include "wc_explain.h"

namespace rpdhost {

struct Summary;

// One BGP message as read, and the input it came from.
struct MessageView {
    const std::string &file;
    const Message &m;
    uint8_t type = 0;  // BGP message type
    size_t ipv4Offset = 0, ipv4Length = 0;  // the IPv4 unicast prefixes an UPDATE announces (its NLRI field)
};

// The Wide Community attribute of an UPDATE, as the plug-in and the diagnostic reading saw it.
struct PolicyView {
    bool present = false;
    uint32_t status = TAM_RPD_OK;  // of the plug-in's parse
    const OutBuf *attr = nullptr;  // the stored attribute, when the plug-in accepted it
    size_t offset = 0;             // of the value in the message
    size_t length = 0;
    const WcPolicy *wire = nullptr;  // its structure, when accepted and a sink asked for it
    bool Accepted() const { return present && attr != nullptr && *attr; }
};

// One route of an MP_REACH_NLRI or MP_UNREACH_NLRI.
struct RouteView {
    bool announce = true;
    const OutBuf *key = nullptr;
    size_t offset = 0;  // of the NLRI in the message
    size_t length = 0;
    bool hasPathId = false;
    uint32_t pathId = 0;
    uint32_t checkStatus = TAM_RPD_OK;  // route check, for an announcement with its policy
    bool complete = false;
};

// Something that could not be read, decoded or verified, or a warning.
struct ProblemView {
    explicit ProblemView(const std::string &f) : file(f) {}
    const std::string &file;
    uint64_t number = 0;  // message number (the next one to come, for input problems; 0: none)
    uint64_t offset = 0;  // of the message (or of the problem, for input problems)
    uint64_t frame = 0;
    std::string where;
    std::string what;     // what was refused or broken, and why
    std::string status;   // the plug-in's status, or the kind of problem ("input: capture", "verify", "warning", ...)
    bool hasByte = false;  // the byte it shows at
    size_t messageByte = 0;
    bool hasAttributeByte = false;
    size_t attributeByte = 0;
    std::string excerpt;  // the bytes around it, that byte marked
    bool Warning() const { return status == "warning"; }
    // A problem in the input itself ("input: capture", ...): its status goes without saying.
    bool Input() const { return status.rfind("input", 0) == 0 || status == "unreadable input"; }
};
// A problem about the message `mv`: its file, number, offset, frame and stream.
ProblemView ProblemAbout(const MessageView &mv);

class RouteSink {
public:
    virtual ~RouteSink() = default;
    // Whether the sink reads a policy's wire structure (PolicyView::wire), which the walk then provides.
    virtual bool NeedsWire() const { return false; }
    // An UPDATE with RPD content: Begin, each of its routes, End. The policy is the same for all its routes.
    virtual void Begin(const MessageView &, const PolicyView &) {}
    virtual void Route(const MessageView &, const PolicyView &, const RouteView &) {}
    virtual void End(const MessageView &, const PolicyView &) {}
    // An input begins, named `shown` in reports; records read back from a
    // stream name the station that read it and its file apart ("" otherwise).
    virtual void Input(const std::string & /*shown*/, const std::string & /*station*/, const std::string & /*file*/) {}
    virtual void Event(const std::string & /*file*/, const InputEvent &) {}
    virtual void Problem(const ProblemView &) {}
    // Writes out what it holds back: the lines of a message not yet ended.
    virtual void Flush() {}
    // Adds what the sink counted itself to the run's summary, before Finish.
    virtual void Tally(Summary &) const {}
    virtual void Finish(const Summary &) {}
};

// Where a sink reports the problems it finds (the verifier's differences):
// counted in the run's summary, then told to every sink.
class ProblemReport {
public:
    virtual ~ProblemReport() = default;
    virtual void Report(ProblemView p) = 0;
};

// Several sinks as one, called in the order they were added.
class FanOut : public RouteSink {
public:
    void Add(RouteSink &s) { sinks_.push_back(&s); }
    bool NeedsWire() const override;
    void Begin(const MessageView &mv, const PolicyView &pv) override;
    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override;
    void End(const MessageView &mv, const PolicyView &pv) override;
    void Input(const std::string &shown, const std::string &station, const std::string &file) override;
    void Event(const std::string &file, const InputEvent &e) override;
    void Problem(const ProblemView &p) override;
    void Tally(Summary &s) const override;
    void Finish(const Summary &s) override;

private:
    std::vector<RouteSink *> sinks_;
};

}  // namespace rpdhost
