// Big-endian appends: the one way every host-side writer puts numbers on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rpdwire {

using Bytes = std::vector<uint8_t>;

inline void Put8(Bytes &b, uint8_t v) { b.push_back(v); }
inline void Put16(Bytes &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
inline void Put32(Bytes &b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}
inline void Append(Bytes &to, const uint8_t *p, size_t n) { to.insert(to.end(), p, p + n); }
inline void Append(Bytes &to, const Bytes &b) { to.insert(to.end(), b.begin(), b.end()); }

}  // namespace rpdwire
