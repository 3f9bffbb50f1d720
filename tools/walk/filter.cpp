#include "filter.h"

#include <algorithm>

#include "plugin.h"
#include "summary.h"

namespace rpdhost {

bool FilteredSink::Shown(const RouteView &r, const PolicyView &pv) const {
    if (!filter_.Any()) return true;
    const KeyFields k = KeyFieldsOf(*r.key);
    const auto &peers = filter_.peers, &dists = filter_.distinguishers;
    if (!peers.empty() && std::find(peers.begin(), peers.end(), k.peer) == peers.end()) return false;
    if (!dists.empty() && std::find(dists.begin(), dists.end(), k.distinguisher) == dists.end()) return false;
    if (filter_.community != 0 && !(r.announce && pv.wire != nullptr && pv.wire->community == filter_.community))
        return false;
    return true;
}

void FilteredSink::Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) {
    if (!Shown(r, pv)) {
        ++filtered_;
        return;
    }
    if (!begun_) out_.Begin(mv, pv);
    begun_ = true;
    out_.Route(mv, pv, r);
}

void FilteredSink::End(const MessageView &mv, const PolicyView &pv) {
    // A policy with no route of its own (a RIB entry of another family) is still shown, unless filters are set.
    if (!begun_ && pv.present && !filter_.Any()) {
        out_.Begin(mv, pv);
        begun_ = true;
    }
    if (begun_) out_.End(mv, pv);
}

void FilteredSink::Tally(Summary &s) const {
    s.filtered += filtered_;
    out_.Tally(s);
}

}  // namespace rpdhost
