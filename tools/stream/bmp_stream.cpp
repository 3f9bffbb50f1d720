// The framing of a BMP stream: whole messages out of the bytes as they
// come, and in Resync mode the search for the next plausible header.
#include "bmp_stream.h"

#include <algorithm>

#include "wire.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

constexpr char kNoHeader[] = "bytes that start no BMP message (passed over)";
// What it takes to tell a route monitoring: the common and per-peer headers and the BGP marker.
constexpr size_t kLookAhead = kBmpCommonHeader + kBmpPeerHeaderLen + kBgpMarkerLen;

enum class Look { No, More, Yes };

// Whether a plausible BMP message starts at `p` (`avail` bytes there, at least one), or too few bytes to tell.
Look Plausible(const uint8_t *p, size_t avail) {
    if (p[0] != kBmpVersion) return Look::No;
    if (avail < kBmpCommonHeader) return Look::More;
    if (!StartsBmpMessage(p, avail)) return Look::No;
    return p[5] == kBmpRouteMonitoring && avail < kLookAhead ? Look::More : Look::Yes;
}

}  // namespace

void BmpStream::Feed(const uint8_t *p, size_t n) {
    if (broken_) return;
    pending_.insert(pending_.end(), p, p + n);
    for (;;) {
        if (searching_ && !Search()) break;
        const size_t avail = pending_.size() - at_;
        if (avail < kBmpCommonHeader) break;
        const uint8_t *h = pending_.data() + at_;
        const uint32_t len = Be32(h + 1);
        if (h[0] != kBmpVersion || len < kBmpCommonHeader || len > kBmpMaxMessage) {
            Unframed(h, len);
            if (broken_) return;
            continue;
        }
        if (avail < len) break;
        if (tap_) tap_(h, len);
        OnBmp(h[5], h + kBmpCommonHeader, len - kBmpCommonHeader);
        offset_ += len;
        at_ += len;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
}

// Passes over the bytes up to the next plausible header; false while too few bytes are there to tell.
bool BmpStream::Search() {
    while (at_ < pending_.size()) {
        const uint8_t *here = pending_.data() + at_;
        const Look look = Plausible(here, pending_.size() - at_);
        if (look == Look::More) return false;
        if (look == Look::Yes) {
            EndSearch();
            return true;
        }
        const uint8_t *end = pending_.data() + pending_.size();
        const uint8_t *next = std::find(here + 1, end, kBmpVersion);
        const size_t step = static_cast<size_t>(next - here);
        if (skipRun_ == 0) skipStart_ = offset_;
        skipRun_ += step;
        offset_ += step;
        at_ += step;
    }
    return false;
}

// A run of passed-over bytes is reported once, where it ends.
void BmpStream::EndSearch() {
    searching_ = false;
    if (skipRun_ == 0) return;
    ctx_.Damage("BMP stream", Place(skipStart_, origin_.frame, origin_.where), kNoHeader,
                "no BMP header here: passed over " + std::to_string(skipRun_) + " bytes", skipRun_);
    skipRun_ = 0;
}

void BmpStream::Unframed(const uint8_t *h, uint32_t len) {
    if (mode_ == Mode::Resync) {
        searching_ = true;
        return;
    }
    Damaged(h[0] != kBmpVersion ? "BMP version " + std::to_string(h[0]) + ", not 3"
                                : "BMP message length " + std::to_string(len));
    ctx_.Skip("BMP streams that could not be followed to their end", true);
    broken_ = true;
    pending_.clear();
    at_ = 0;
}

size_t BmpStream::Drop() {
    const size_t n = pending_.size() - at_;
    offset_ += n;
    pending_.clear();
    at_ = 0;
    searching_ = mode_ == Mode::Resync;
    return n;
}

void BmpStream::Lost(uint64_t n) {
    offset_ += n;
    searching_ = mode_ == Mode::Resync;
}

void BmpStream::Finish() {
    if (broken_) return;
    if (skipRun_ > 0) EndSearch();
    const size_t left = pending_.size() - at_;
    if (left > 0) Damaged("BMP stream ends inside a message (" + std::to_string(left) + " bytes of it)");
    pending_.clear();
    at_ = 0;
}

void BmpStream::Damaged(std::string what) {
    ctx_.Damage("BMP stream", Place(offset_, origin_.frame, origin_.where), "BMP messages malformed or cut short", std::move(what));
}

}  // namespace rpdhost
