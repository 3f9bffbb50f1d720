// Big-endian appends: the one way every host-side writer puts numbers on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rpdwire {

using Bytes = std::vector<uint8_t>;

// Out of line: inlined into short vectors, they set off g++ 12's overflow
// warnings at -O3 (false positives).
void Put8(Bytes &b, uint8_t v);
void Put16(Bytes &b, uint16_t v);
void Put32(Bytes &b, uint32_t v);
// Writes a 16-bit length at `at`, once what it counts is written.
void Patch16(Bytes &b, size_t at, uint16_t v);
void Append(Bytes &to, const uint8_t *p, size_t n);
void Append(Bytes &to, const Bytes &b);

}  // namespace rpdwire
