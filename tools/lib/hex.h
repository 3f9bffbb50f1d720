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

}  // namespace rpdwire
