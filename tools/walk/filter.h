// Which routes reach the output. A message's heading goes out with its
// first route shown (and a policy with no route of its own when no filter
// is set); the routes left out are counted.
#pragma once

#include <cstdint>
#include <vector>

#include "route_sink.h"

namespace rpdhost {

// An empty list lets all through.
struct RouteFilter {
    std::vector<uint32_t> peers;  // peer addresses of the key, host order
    std::vector<uint32_t> distinguishers;
    uint32_t community = 0;  // the policy's community value; 0: any
    bool Any() const { return !peers.empty() || !distinguishers.empty() || community != 0; }
};

class FilteredSink : public RouteSink {
public:
    FilteredSink(const RouteFilter &filter, RouteSink &out) : filter_(filter), out_(out) {}
    bool NeedsWire() const override { return filter_.community != 0 || out_.NeedsWire(); }
    void Begin(const MessageView &, const PolicyView &) override { begun_ = false; }
    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override;
    void End(const MessageView &mv, const PolicyView &pv) override;
    void Input(const std::string &shown, const std::string &station, const std::string &file) override {
        out_.Input(shown, station, file);
    }
    void Event(const std::string &file, const InputEvent &e) override { out_.Event(file, e); }
    void Problem(const ProblemView &p) override { out_.Problem(p); }
    void Tally(Summary &s) const override;
    void Finish(const Summary &s) override { out_.Finish(s); }

private:
    bool Shown(const RouteView &r, const PolicyView &pv) const;
    RouteFilter filter_;
    RouteSink &out_;
    bool begun_ = false;
    uint64_t filtered_ = 0;
};

}  // namespace rpdhost
