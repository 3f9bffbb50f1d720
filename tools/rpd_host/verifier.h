// --verify: every route goes back through the plug-in's encoders (packet,
// BGPI and HA messages, configuration record) and is decoded again; every
// policy through the packet, attribute-message, set-attribute and
// configuration-text paths; keys and policies must compare equal to
// themselves and order consistently. Each accepted policy is also written
// again from its decoded fields with the tool's writer: where the received
// bytes differ, the sender used a freedom of the format (accepted, but
// worth a warning).
#pragma once

#include <functional>
#include <string>

#include "input.h"
#include "plugin.h"
#include "reporter.h"
#include "wc_explain.h"

namespace rpdhost {

class Verifier {
public:
    // `diff` hears of every difference, `warn` of every freedom taken.
    using Sink = std::function<void(const Message &, const std::string &)>;
    Verifier(const Plugin &plugin, Sink diff, Sink warn) : plugin_(plugin), diff_(std::move(diff)), warn_(std::move(warn)) {}
    void Route(const Message &m, const RouteView &r, const OutBuf *attr);
    void Policy(const Message &m, const PolicyView &p);
    // The key the next route's order is checked against.
    void Keep(OutBuf &&key) { prevKey_ = std::move(key); }

private:
    void Rewrite(const Message &m, const PolicyView &p);
    const Plugin &plugin_;
    Sink diff_, warn_;
    OutBuf prevKey_;
};

}  // namespace rpdhost
