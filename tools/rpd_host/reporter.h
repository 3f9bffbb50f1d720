// What the route walk tells its output, and the output formats that listen:
// readable text (the default), the plug-in's display pieces, the plug-in's
// own composite texts, JSON records. Adding a format is adding a Reporter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "input.h"
#include "plugin.h"
#include "report.h"
#include "summary.h"
#include "wc_explain.h"

namespace rpdhost {

// One BGP message as read.
struct MessageView {
    const std::string &file;
    const Message &m;
    uint8_t type = 0;  // BGP message type
};

// The Wide Community attribute of an UPDATE, as the plug-in and the diagnostic reading saw it.
struct PolicyView {
    bool present = false;
    uint32_t status = TAM_RPD_OK;  // of the plug-in's parse
    const OutBuf *attr = nullptr;  // the stored attribute, when the plug-in accepted it
    size_t offset = 0;             // of the value in the message
    size_t length = 0;
    const WcPolicy *wire = nullptr;  // its structure, when accepted
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

// Something that could not be read or decoded.
struct ProblemView {
    explicit ProblemView(const std::string &f) : file(f) {}
    const std::string &file;
    uint64_t number = 0;  // message number (the next one to come, for input problems)
    uint64_t offset = 0;  // of the message (or of the problem, for input problems)
    uint64_t frame = 0;
    std::string where;
    std::string what;     // what was refused or broken, and why
    std::string status;   // the plug-in's status, or the kind of problem
    bool hasByte = false;  // the byte it shows at
    size_t messageByte = 0;
    bool hasAttributeByte = false;
    size_t attributeByte = 0;
    std::string excerpt;  // the bytes around it, that byte marked
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // The routes of a message come between Begin and End; the policy is the same for all of them.
    virtual void Begin(const MessageView &, const PolicyView &) {}
    virtual void Route(const MessageView &, const PolicyView &, const RouteView &) {}
    virtual void End(const MessageView &, const PolicyView &) {}
    virtual void Event(const std::string & /*file*/, const InputEvent &) {}
    // Problems always reach stderr as text; a reporter may also keep them in its own output.
    virtual void Problem(const ProblemView &) {}
    virtual void Finish(const Summary &) {}
};

// The text formats' common ground: where they write, the plug-in they ask,
// events as lines.
class TextualReporter : public Reporter {
public:
    TextualReporter(const Plugin &plugin, FILE *out) : plugin_(plugin), out_(out) {}
    void Event(const std::string &file, const InputEvent &e) override;

protected:
    // Calls `f(piece, status, text)` for each of the plug-in's display pieces of an accepted policy.
    template <typename F> void EachPiece(const PolicyView &pv, F &&f) {
        const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, pv.attr);
        for (const DisplayPiece &piece : kDisplayPieces) {
            const uint32_t st = plugin_.Display(view, piece.code, pieceText_);
            f(piece, st, pieceText_);
        }
    }

    const Plugin &plugin_;
    FILE *out_;

private:
    std::string pieceText_;
};

enum class OutputMode { Text, PluginText, Display, Json, None };

std::unique_ptr<Reporter> MakeTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<Reporter> MakePluginTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<Reporter> MakeDisplayReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<Reporter> MakeJsonReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<Reporter> MakeReporter(OutputMode mode, const Plugin &plugin, FILE *out);

// The head line of a message in the text formats: file, number, offset, frame, stream, sender and time.
std::string MessageHeading(const MessageView &mv);
// The plug-in's key text with its padding folded: "Route Type: Export Policy, Peer Address: ...".
std::string KeyText(const Plugin &plugin, const OutBuf &key, uint32_t &status);

}  // namespace rpdhost
