// Hex text: the one digit table and parser of the host side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rpdwire {

// The value of one hex digit, or -1.
int HexDigit(int c);

// Two digits per byte, nothing between: "0a1b".
std::string HexText(const uint8_t *p, size_t n);
// Bytes separated by blanks, 32 to a line, as a hex file holds them.
std::string ToHex(const std::vector<uint8_t> &b);

// Hex digits to bytes; blanks may stand between digits. On anything else, or
// an odd count of digits, false with the reason in `why`.
bool FromHex(std::string_view text, std::vector<uint8_t> &out, std::string *why = nullptr);

// A few bytes around `at` as hex, that byte in brackets: "90 00 [00 05] 00".
// An `at` past the end shows as "[]", the byte that is missing.
std::string HexExcerpt(const uint8_t *p, size_t n, size_t at, size_t width = 2);

}  // namespace rpdwire
