#include "byte_writer.h"

namespace rpdwire {

void Put8(Bytes &b, uint8_t v) { b.push_back(v); }

void Put16(Bytes &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

void Put32(Bytes &b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

void Append(Bytes &to, const uint8_t *p, size_t n) { to.insert(to.end(), p, p + n); }

void Append(Bytes &to, const Bytes &b) { to.insert(to.end(), b.begin(), b.end()); }

}  // namespace rpdwire
