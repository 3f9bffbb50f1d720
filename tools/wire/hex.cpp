#include "hex.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rpdwire {

namespace {
constexpr char kDigits[] = "0123456789abcdef";
}

int HexDigit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string HexText(const uint8_t *p, size_t n) {
    // Two digits a byte, from a table of all 256 pairs.
    static const auto kPairs = [] {
        std::array<char, 512> t{};
        for (size_t b = 0; b < 256; ++b) {
            t[2 * b] = kDigits[b >> 4];
            t[2 * b + 1] = kDigits[b & 15];
        }
        return t;
    }();
    std::string s(n * 2, '0');
    char *d = s.data();
    for (size_t i = 0; i < n; ++i) std::memcpy(d + 2 * i, &kPairs[2 * size_t{p[i]}], 2);
    return s;
}

std::string ToHex(const std::vector<uint8_t> &b) {
    std::string s;
    s.reserve(b.size() * 3);
    for (size_t i = 0; i < b.size(); ++i) {
        s += kDigits[b[i] >> 4];
        s += kDigits[b[i] & 15];
        if (i + 1 < b.size()) s += (i % 32 == 31) ? '\n' : ' ';
    }
    return s;
}

bool FromHex(std::string_view text, std::vector<uint8_t> &out, std::string *why) {
    out.clear();
    out.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        const int v = HexDigit(static_cast<unsigned char>(c));
        if (v < 0) {
            if (why) *why = "not hex text";
            return false;
        }
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) {
        if (why) *why = "odd number of hex digits";
        return false;
    }
    return true;
}

std::string HexExcerpt(const uint8_t *p, size_t n, size_t at, size_t width) {
    std::string s;
    const size_t from = at > width ? at - width : 0;
    const size_t to = std::min(n, at + width + 1);
    if (from > 0) s += "... ";
    for (size_t i = from; i < to; ++i) {
        if (i == at) s += '[';
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
        if (i == at) s += ']';
        if (i + 1 < to) s += ' ';
    }
    if (at >= n) s += from < to ? " []" : "[]";
    if (to < n) s += " ...";
    return s;
}

}  // namespace rpdwire
