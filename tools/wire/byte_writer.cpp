#include "byte_writer.h"

namespace rpdwire {

void Put8(Bytes &b, uint8_t v) { b.push_back(v); }

// One growth check per number, not one per byte.
void Put16(Bytes &b, uint16_t v) {
    const size_t n = b.size();
    b.resize(n + 2);
    b[n] = static_cast<uint8_t>(v >> 8);
    b[n + 1] = static_cast<uint8_t>(v);
}

void Put32(Bytes &b, uint32_t v) {
    const size_t n = b.size();
    b.resize(n + 4);
    for (size_t i = 0; i < 4; ++i) b[n + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void Patch16(Bytes &b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}

void Append(Bytes &to, const uint8_t *p, size_t n) { to.insert(to.end(), p, p + n); }

void Append(Bytes &to, const Bytes &b) { to.insert(to.end(), b.begin(), b.end()); }

}  // namespace rpdwire
