// The route walk: each BGP message goes through the plug-in's callbacks as
// a BGP process would take it (the Wide Community attribute, then each NLRI
// of MP_REACH_NLRI / MP_UNREACH_NLRI), and what comes out goes to the route
// sinks and the run's counts. Refusals are explained by the diagnostic
// reading, at the byte where they show. Files, captures and live sessions
// feed it the same way, as a MessageSink.
#pragma once

#include <cstdint>
#include <string>

#include "message.h"
#include "plugin.h"
#include "route_sink.h"
#include "summary.h"
#include "update.h"
#include "wire.h"

namespace rpdhost {

struct WalkOptions {
    uint8_t wcCode = rpdwire::kAttrWideCommunity;  // the Wide Community attribute's code
};

class RouteWalk : public MessageSink, public ProblemReport {
public:
    RouteWalk(const Plugin &plugin, const WalkOptions &opt, RouteSink &sink) : plugin_(plugin), opt_(opt), sink_(sink) {}

    void OnInput(const std::string &name) override;
    void OnStationInput(const std::string &station, const std::string &file) override;
    void OnMessage(const Message &m) override;
    void OnProblem(const InputProblem &p) override;
    void OnEvent(const InputEvent &e) override;
    void OnCounts(const InputCounts &counts) override { sum_.Add(counts); }
    void OnSent(const Bytes &message) override;
    // Counts the problem by its kind, then tells every sink.
    void Report(ProblemView p) override;
    // An input that could not even be opened.
    void Unreadable(const std::string &name, const std::string &why, const char *status = "unreadable input");
    // The sinks add their own counts to the summary and are handed it.
    void Finish();
    Summary &summary() { return sum_; }
    // Routes the plug-in's counters hold (announced minus withdrawn), read back through its callback.
    uint32_t CountedRoutes() const;

private:
    void Walk(const MessageView &mv, const PolicyView &pv, const Span &field, bool announce);
    void Failure(const Message &m, size_t at, const std::string &what, const std::string &status);
    void PolicyRefused(const Message &m, const Span &value, uint32_t status);
    void NlriRefused(const Message &m, size_t at, size_t left, bool announce, uint32_t status);

    const Plugin &plugin_;
    WalkOptions opt_;
    RouteSink &sink_;
    std::string name_;
    Summary sum_;
    uint32_t counters_[2] = {0, 0};
    WcPolicy wire_;
};

}  // namespace rpdhost
