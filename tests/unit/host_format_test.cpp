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

// Every room and count around the text's length, against the C library's text.
template <typename... A> void Check(const char *what, const char *fmt, A... args) {
    char full[256];
    const int len = std::snprintf(full, sizeof(full), fmt, args...);
    ASSERT_GE(len, 0);
    char buf[300];
    for (size_t destMax = 1; destMax <= static_cast<size_t>(len) + 3; ++destMax) {
        for (const size_t count : {size_t{0}, destMax / 2, destMax - 1, destMax, destMax + 7}) {
            std::memset(buf, 'z', sizeof(buf));
            const int r = snprintf_s(buf, destMax, count, fmt, args...);
            Expect(full, destMax, count, r, buf, what);
        }
    }
}

TEST(HostFormat, DirectAndGeneralPathsKeepTheContract) {
    Check("direct", "%s:%u-%x%c%%", "ab", 4294967295u, 0xbeefu, 'q');
    Check("one character", "%c", 'q');
    Check("widths", "%5u|%02x|%s", 42u, 7u, "tail");
    Check("general", "%-6s|%ld", "ab", -5L);
    char buf[8];
    EXPECT_EQ(snprintf_s(buf, 0, 0, "%s", "x"), -1);
    EXPECT_EQ(snprintf_s(nullptr, 8, 7, "%s", "x"), -1);
}

// Texts are copied in pieces by length and numbers written two digits at a
// time: every length and every digit count.
TEST(HostFormat, TextsOfEveryLengthAndNumbersOfEveryWidth) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGH";
    for (size_t n = 0; n <= letters.size(); ++n) Check("text", "<%s>", letters.substr(0, n).c_str());
    for (const unsigned v : {0u, 7u, 10u, 42u, 99u, 100u, 305u, 1000u, 65535u, 100000u, 4294967295u})
        Check("number", "%u|%x", v, v);
}

}  // namespace
