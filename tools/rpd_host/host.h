// The route walk: each BGP message goes through the plug-in's callbacks as
// a BGP process would take it (the Wide Community attribute, then each NLRI
// of MP_REACH_NLRI / MP_UNREACH_NLRI), and what comes out goes to a
// reporter, the verifier and the run's counts. Refusals are explained by
// the diagnostic reading, at the byte where they show.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input.h"
#include "plugin.h"
#include "progress.h"
#include "reporter.h"
#include "summary.h"
#include "update.h"
#include "verifier.h"

namespace rpdhost {

// Which routes to show (and count as shown); an empty list lets all through.
struct RouteFilter {
    std::vector<uint32_t> peers;           // peer addresses of the key, host order
    std::vector<uint32_t> distinguishers;
    uint32_t community = 0;                // the policy's community value; 0: any
    bool Any() const { return !peers.empty() || !distinguishers.empty() || community != 0; }
};

struct HostOptions {
    OutputMode output = OutputMode::Text;
    bool verify = false;
    bool progress = false;  // progress line on stderr
    uint8_t wcCode = kDefaultWideCommunityCode;
    RouteFilter filter;
};

class Host : public InputSink {
public:
    Host(const Plugin &plugin, const HostOptions &opt, Reporter &reporter);

    // Reads one input; false when it could not be read at all. `size` (0:
    // unknown) gives the progress line its share done.
    bool Run(const std::string &name, FILE *in, const InputOptions &inOpt, uint64_t size = 0);
    // A live input (a listening speaker): reports name it, the summary counts it.
    void BeginLive(const std::string &name);
    // What a live input's reader counted (and passed over), once it ends.
    void AddCounts(const InputCounts &counts) { sum_.Add(counts); }
    // An input that could not even be opened.
    void Unreadable(const std::string &name, const std::string &why);
    // Hands the summary to the reporter; the caller prints the text summary where it belongs.
    void Finish();
    const Summary &summary() const { return sum_; }
    // Routes the plug-in's counters hold (announced minus withdrawn), read back through its callback.
    uint32_t CountedRoutes() const;

    void OnMessage(const Message &m) override;
    void OnProblem(const InputProblem &p) override;
    void OnEvent(const InputEvent &e) override;
    void OnProgress(uint64_t bytes) override;

private:
    void Walk(const MessageView &mv, const PolicyView &pv, const Span &field, bool announce, bool &begun);
    bool Shown(const RouteView &r, const PolicyView &pv) const;
    void Report(ProblemView &&p);
    ProblemView About(const Message &m) const;
    void Failure(const Message &m, size_t at, const std::string &what, const std::string &status);
    void PolicyRefused(const Message &m, const Span &value, uint32_t status);
    void NlriRefused(const Message &m, size_t at, size_t left, bool announce, uint32_t status);
    void Diff(const Message &m, const std::string &what);
    void Warn(const Message &m, const std::string &what);

    const Plugin &plugin_;
    HostOptions opt_;
    Reporter &reporter_;
    Verifier verifier_;
    Progress progress_;
    std::string name_;
    FILE *in_ = nullptr;
    Summary sum_;
    uint32_t counters_[2] = {0, 0};
    // Whether anything reads a policy's wire structure (readable text, JSON, --verify, --community).
    const bool needWire_;
    WcPolicy wire_;
};

}  // namespace rpdhost
