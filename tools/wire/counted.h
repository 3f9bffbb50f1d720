// A count with its noun, in the number it takes: "1 message", "2 messages".
#pragma once

#include <cstdint>
#include <string>

namespace rpdwire {

inline std::string Counted(uint64_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace rpdwire
