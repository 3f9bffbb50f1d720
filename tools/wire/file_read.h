// Reading records whose length the file itself claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace rpdwire {

// Reads `len` bytes into `buf`, growing it as the bytes arrive: a record
// that claims more than the input holds costs what the input holds, not
// what it claims. False when the input ends first (`buf` keeps what came).
bool ReadExactly(FILE *in, std::vector<uint8_t> &buf, size_t len);

}  // namespace rpdwire
