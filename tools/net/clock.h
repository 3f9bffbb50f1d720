// The live modes' wall clock: seconds as one number for the timers, and the
// same instant split into seconds and microseconds for reports and records.
#pragma once

#include <sys/time.h>

#include <cstdint>

namespace rpdhost {

inline double Now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

struct WallTime {
    int64_t sec = 0;
    uint32_t usec = 0;
};

inline WallTime Split(double t) {
    WallTime w;
    w.sec = static_cast<int64_t>(t);
    const auto us = static_cast<uint32_t>((t - static_cast<double>(w.sec)) * 1e6 + 0.5);  // to the nearest
    w.usec = us > 999999 ? 999999 : us;
    return w;
}

}  // namespace rpdhost
