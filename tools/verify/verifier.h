// --verify, a route sink: every route goes back through the plug-in's
// encoders (packet, BGPI and HA messages, configuration record) and is
// decoded again; every policy through the packet, attribute-message,
// set-attribute and configuration-text paths; keys and policies must compare
// equal to themselves and order consistently. Each accepted policy is also
// written again from its decoded fields with the tool's writer: where the
// received bytes differ, the sender used a freedom of the format (accepted,
// but worth a warning).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "plugin.h"
#include "route_sink.h"

namespace rpdhost {

class Verifier : public RouteSink {
public:
    // Differences and freedoms go to `problems`.
    Verifier(const Plugin &plugin, ProblemReport &problems) : plugin_(plugin), problems_(problems) {}
    bool NeedsWire() const override { return true; }
    // The policy, once per message.
    void Begin(const MessageView &mv, const PolicyView &pv) override;
    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override;
    void Tally(Summary &s) const override;

private:
    void Rewrite(const MessageView &mv, const PolicyView &p);
    void Diff(const MessageView &mv, const std::string &what);
    void Warn(const MessageView &mv, const std::string &what);

    const Plugin &plugin_;
    ProblemReport &problems_;
    std::vector<uint8_t> prevKey_;  // the key the next route's order is checked against
    // Kept between policies for their storage.
    rpdwire::Bytes rewritten_, formatted_;  // a policy written again from its fields; by the plug-in
    std::string text_;
    uint64_t verified_ = 0;
};

}  // namespace rpdhost
