#include "framer.h"

#include <algorithm>

#include "byte_reader.h"
#include "wire.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

enum class Header { No, NeedMore, Yes };

// Whether a BGP message starts at `p`; with Yes, `need` is how many bytes of
// the buffer it takes, and `marked` whether they include the marker. A bare
// header (no marker) counts only where `bare`.
Header Check(const uint8_t *p, size_t avail, bool bare, size_t &need, bool &marked) {
    const size_t look = std::min(avail, kBgpMarkerLen);
    size_t ff = 0;
    while (ff < look && p[ff] == 0xFF) ++ff;
    if (ff == kBgpMarkerLen) {
        if (avail < kBgpHeaderLen) return Header::NeedMore;
        need = BgpLength(p);
        marked = true;
        return CheckBgpHeader(p) == HeaderFault::None ? Header::Yes : Header::No;
    }
    if (ff == look && avail < kBgpMarkerLen) return Header::NeedMore;  // may still become a marker
    if (!bare) return Header::No;
    if (avail < 3) return Header::NeedMore;
    const uint16_t len = Be16(p);
    if (!PlausibleBgp(len, p[2])) return Header::No;
    need = len - kBgpMarkerLen;
    marked = false;
    return Header::Yes;
}

}  // namespace

void Framer::Feed(const uint8_t *p, size_t n) {
    if (n == 0) return;
    if (head_ > 0 && head_ * 2 >= buf_.size()) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    buf_.insert(buf_.end(), p, p + n);
}

bool Framer::PendingIsMessage() const {
    size_t need = 0;
    bool marked = false;
    return Pending() > 0 && Check(buf_.data() + head_, Pending(), markerOptional_, need, marked) != Header::No;
}

Framer::Step Framer::Next(std::vector<uint8_t> &out, uint64_t &offset, uint64_t &skipped) {
    for (;;) {
        const uint8_t *p = buf_.data() + head_;
        const size_t avail = Pending();
        size_t need = 0;
        bool marked = false;
        const Header h = avail == 0 ? Header::NeedMore : Check(p, avail, markerOptional_, need, marked);
        if (h == Header::NeedMore || (h == Header::Yes && avail < need)) return Step::More;
        if (h == Header::Yes) {
            // A run of passed-over bytes is reported once, before the message that ends it.
            if (skipRun_ > 0) return EndSkipRun(offset, skipped);
            offset = consumed_;
            out.assign(marked ? 0 : kBgpMarkerLen, 0xFF);
            out.insert(out.end(), p, p + need);
            head_ += need;
            consumed_ += need;
            return Step::Message;
        }
        // Pass over everything up to the next place a marked header starts, or may start.
        size_t i = 1;
        for (; i < avail; ++i) {
            if (p[i] != 0xFF) continue;
            if (Check(p + i, avail - i, false, need, marked) != Header::No) break;
        }
        if (skipRun_ == 0) skipStart_ = consumed_;
        skipRun_ += i;
        head_ += i;
        consumed_ += i;
    }
}

Framer::Step Framer::EndSkipRun(uint64_t &offset, uint64_t &skipped) {
    offset = skipStart_;
    skipped = skipRun_;
    skipRun_ = 0;
    return Step::Skipped;
}

bool Framer::EndOfStream(uint64_t &offset, uint64_t &skipped) {
    if (skipRun_ == 0) return false;
    EndSkipRun(offset, skipped);
    return true;
}

size_t Framer::Drop() {
    const size_t n = Pending();
    head_ = buf_.size();
    consumed_ += n;
    return n;
}

}  // namespace rpdhost
