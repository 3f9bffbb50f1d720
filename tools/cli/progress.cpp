#include "progress.h"

#include <cstdio>
#include <ctime>

namespace rpdhost {

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

void Progress::Start(const std::string &name, uint64_t size) {
    Clear();
    name_ = name;
    size_ = size;
    start_ = last_ = enabled_ ? Now() : 0;
    tick_ = 0;
}

void Progress::Update(uint64_t bytes, uint64_t messages, uint64_t routes) {
    if (!enabled_ || (++tick_ & 255) != 0) return;
    const double now = Now();
    if (now - last_ < 0.5) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r\033[Krpd-host: %s: %.1f MB", name_.c_str(), static_cast<double>(bytes) / 1e6);
    // Compressed input reports decompressed bytes, which may pass the file's size.
    if (size_ > 0 && bytes <= size_) {
        const double done = static_cast<double>(bytes) / static_cast<double>(size_);
        std::fprintf(stderr, " (%.0f%%", done * 100);
        if (done > 0.01) std::fprintf(stderr, ", %.0f s left", (now - start_) * (1 - done) / done);
        std::fputc(')', stderr);
    }
    std::fprintf(stderr, ", %llu messages, %llu routes", static_cast<unsigned long long>(messages),
                 static_cast<unsigned long long>(routes));
}

void Progress::Clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
}

}  // namespace rpdhost
