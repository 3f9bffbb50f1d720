// rpd-host listen's session logic on whatever a peer sends: split into the
// reads the fuzzer picks, with the clock moving between them. The session
// must stay consistent: closed once it said so, a NOTIFICATION only on the
// way out, UPDATEs handed over whole and only when established.
#include <algorithm>
#include <cstdlib>

#include "bgp_session.h"

namespace {

// Established now, or on the way to closed after having been (an UPDATE, then an error, in one read).
bool established(const rpdhost::BgpSession &s, const rpdhost::SessionOutput &out) {
    return s.state() == rpdhost::SessionState::Established || out.close;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    rpdhost::BgpSession s({65000, 0x7F000001, 9}, 0);
    (void)s.Start();
    double now = 0;
    size_t at = 0;
    bool closed = false;
    while (at < size) {
        // Each read: one byte of length (1..64) and one of clock step (tenths of a second).
        const size_t n = 1 + data[at] % 64;
        now += (at + 1 < size ? data[at + 1] : 0) / 10.0;
        at += 2;
        const size_t take = at < size ? std::min(n, size - at) : 0;
        rpdhost::SessionOutput out = s.Receive(data + at, take, now);
        at += take;
        rpdhost::SessionOutput tick = s.Tick(now);
        if (closed && (!out.send.empty() || !out.updates.empty() || !tick.send.empty())) std::abort();
        // UPDATEs come out whole, and only from a session that got to Established.
        for (const auto &u : out.updates)
            if (!established(s, out) || u.size() < 23 || (u[16] << 8 | u[17]) != int(u.size())) std::abort();
        if (out.close || tick.close) {
            if (s.state() != rpdhost::SessionState::Closed) std::abort();
            closed = true;
        }
    }
    return 0;
}
