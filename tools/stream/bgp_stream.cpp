#include "bgp_stream.h"

namespace rpdhost {

namespace {

constexpr char kNoHeader[] = "bytes that start no BGP message (passed over)";
constexpr char kCutAtEnd[] = "bytes of a message cut short at the end of its stream";

}  // namespace

void BgpStream::Feed(const uint8_t *p, size_t n) {
    framer_.Feed(p, n);
    uint64_t offset = 0, skipped = 0;
    for (;;) {
        const Framer::Step step = framer_.Next(bytes_, offset, skipped);
        if (step == Framer::Step::More) return;
        if (step == Framer::Step::Skipped) {
            Skipped(offset, skipped);
            continue;
        }
        Message m;
        m.source() = origin_;
        m.bytes.swap(bytes_);
        m.offset = offset;
        ctx_.Emit(m);
        bytes_.swap(m.bytes);  // its buffer serves the next message
    }
}

void BgpStream::Skipped(uint64_t offset, uint64_t n) {
    ctx_.Damage("BGP stream", At(offset), kNoHeader, "no BGP header here: passed over " + std::to_string(n) + " bytes", n);
}

void BgpStream::Finish() {
    uint64_t offset = 0, skipped = 0;
    if (framer_.EndOfStream(offset, skipped)) Skipped(offset, skipped);
    const size_t n = framer_.Pending();
    if (n == 0) return;
    const bool cut = framer_.PendingIsMessage();
    ctx_.Damage("BGP stream", At(framer_.Consumed()), cut ? kCutAtEnd : kNoHeader,
                cut ? "input ends inside a message (" + std::to_string(n) + " bytes left over)"
                    : "input ends with " + std::to_string(n) + " bytes that start no BGP message",
                n);
    framer_.Drop();
}

}  // namespace rpdhost
