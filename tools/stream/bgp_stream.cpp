#include "bgp_stream.h"

#include "bgp_message.h"
#include "wire.h"

namespace rpdhost {

namespace {

constexpr char kNoHeader[] = "bytes that start no BGP message (passed over)";
constexpr char kCutAtEnd[] = "bytes of a message cut short at the end of its stream";
constexpr char kLongRefused[] =
    "BGP messages longer than 4096 bytes that the session's OPENs did not allow (RFC 8654 extended messages)";
constexpr char kLongUnknown[] =
    "BGP messages longer than 4096 bytes in sessions whose OPENs the capture lacks (taken as RFC 8654 extended "
    "messages)";

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
        if (session_) Session(bytes_, offset);
        Message m;
        m.source() = origin_;
        m.bytes.swap(bytes_);
        m.offset = offset;
        ctx_.Emit(m);
        bytes_.swap(m.bytes);  // its buffer serves the next message
    }
}

void BgpStream::Session(const Bytes &m, uint64_t offset) {
    if (rpdwire::BgpMessageType(m.data()) == rpdwire::kBgpOpen) {
        OpenInfo info;
        uint8_t subcode = 0, data = 0;
        std::string why;
        opens_.seen = true;
        opens_.extended = ReadOpen(m.data(), m.size(), info, subcode, data, why) == OpenRead::Ok && info.extended;
        return;
    }
    if (m.size() <= rpdwire::kBgpMaxMessage) return;
    const bool refused = (opens_.seen && !opens_.extended) || (reverse_ != nullptr && reverse_->seen && !reverse_->extended);
    if (!refused) {
        if (!opens_.seen || reverse_ == nullptr || !reverse_->seen)
            ctx_.Skip(kLongUnknown, false);
        return;
    }
    ctx_.Skip(kLongRefused, false);
    if (longSaid_) return;
    longSaid_ = true;
    ctx_.Problem("BGP stream", At(offset),
                 "a message of " + std::to_string(m.size()) +
                     " bytes, longer than 4096, where the session's OPENs did not agree on extended messages (RFC 8654)"
                     "; read all the same (further ones in this stream are only counted)");
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
