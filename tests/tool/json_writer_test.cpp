// The JSON writer's strings: the fast path that passes over 8 bytes at a
// time must escape exactly what a byte-by-byte writer escapes, wherever in
// the word the byte falls.
#include <gtest/gtest.h>

#include <string>

#include "json_writer.h"

namespace rpdhost {
namespace {

std::string Reference(const std::string &s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[c >> 4];
            out += "0123456789abcdef"[c & 15];
        } else if (c == '"' || c == '\\') {
            (out += '\\') += ch;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

TEST(JsonWriter, EscapesEveryByteThatNeedsItAtEveryPlace) {
    // The bytes next to the ones that need escaping are where a word-wide test errs.
    const std::string specials = std::string("\"\\\n\x01\x1f", 5) + std::string(1, '\0');
    const std::string neighbours = std::string(" !#[]\x7f\x80\xc3\xff", 9);
    for (size_t len = 1; len <= 19; ++len)
        for (size_t at = 0; at < len; ++at)
            for (const char s : specials + neighbours) {
                std::string text(len, 'a');
                text[at] = s;
                if (at + 1 < len) text[at + 1] = neighbours[at % neighbours.size()];
                std::string out;
                JsonWriter(out).Str(text);
                ASSERT_EQ(out, Reference(text)) << "length " << len << ", byte " << at;
            }
}

}  // namespace
}  // namespace rpdhost
