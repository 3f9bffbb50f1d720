// rpd-host listen's session logic on whatever a peer sends: split into the
// reads the fuzzer picks, with the clock moving between them. The session
// must stay consistent: closed once it said so, a NOTIFICATION only on the
// way out, every message handed over whole.
#include <algorithm>
#include <cstdlib>

#include "bgp_session.h"

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
        if (closed && (!out.send.empty() || !out.events.empty() || !tick.send.empty())) std::abort();
        // Messages come out whole; the session is established only after one was read.
        bool read = false;
        for (const auto &e : out.events) {
            const auto &u = e.message;
            if (e.kind == rpdhost::SessionEvent::Kind::Message) {
                read = true;
                if (u.size() < 19 || (u[16] << 8 | u[17]) != int(u.size())) std::abort();
            } else if (e.kind == rpdhost::SessionEvent::Kind::Established && !read) {
                std::abort();
            }
        }
        if (out.close || tick.close) {
            if (s.state() != rpdhost::SessionState::Closed) std::abort();
            closed = true;
        }
    }
    return 0;
}
