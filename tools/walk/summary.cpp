#include "summary.h"

namespace rpdhost {

void Summary::Add(const InputCounts &counts) {
    for (const auto &[what, tally] : counts.skipped) {
        SkipTally &t = skipped[what];
        t.count += tally.count;
        t.damage = t.damage || tally.damage;
    }
}

uint64_t Summary::Failures() const {
    uint64_t n = 0;
    for (const auto &[name, count] : failures) n += count;
    return n;
}

bool Summary::Failed() const {
    if (Failures() > 0) return true;
    for (const auto &[what, tally] : skipped)
        if (tally.damage) return true;
    return false;
}

}  // namespace rpdhost
