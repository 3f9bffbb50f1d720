// The stand-in host's bounded formatter keeps its contract on the direct
// path for simple conversions as on the general one: with `count` below
// the room it cuts to `count` characters and reports -1 when it had to; with
// `count` at or above the room it refuses to cut and leaves an empty string.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tam_host.h"

namespace {

// What the contract says for a text of `full` characters.
void Expect(const std::string &full, size_t destMax, size_t count, int got, const char *buf, const char *what) {
    if (count < destMax) {
        const size_t n = std::min(full.size(), count);
        EXPECT_EQ(std::string(buf), full.substr(0, n)) << what << " destMax " << destMax << " count " << count;
        EXPECT_EQ(got, full.size() > count ? -1 : static_cast<int>(full.size())) << what;
    } else if (full.size() >= destMax) {
        EXPECT_EQ(buf[0], '\0') << what << " destMax " << destMax;
        EXPECT_EQ(got, -1) << what;
    } else {
        EXPECT_EQ(std::string(buf), full) << what;
        EXPECT_EQ(got, static_cast<int>(full.size())) << what;
    }
}

TEST(HostFormat, DirectAndGeneralPathsKeepTheContract) {
    char buf[64];
    for (size_t destMax = 1; destMax <= 24; ++destMax) {
        for (const size_t count : {size_t{0}, destMax / 2, destMax - 1, destMax, destMax + 7}) {
            // Direct path: %s %u %x %c %% only.
            std::memset(buf, 'z', sizeof(buf));
            int r = snprintf_s(buf, destMax, count, "%s:%u-%x%c%%", "ab", 4294967295u, 0xbeefu, 'q');
            Expect("ab:4294967295-beefq%", destMax, count, r, buf, "direct");
            // General path: a width.
            std::memset(buf, 'z', sizeof(buf));
            r = snprintf_s(buf, destMax, count, "%5u|%s", 42u, "tail");
            Expect("   42|tail", destMax, count, r, buf, "general");
        }
    }
    EXPECT_EQ(snprintf_s(buf, 0, 0, "%s", "x"), -1);
    EXPECT_EQ(snprintf_s(nullptr, 8, 7, "%s", "x"), -1);
}

}  // namespace
