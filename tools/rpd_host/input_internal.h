// Shared between the input readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "input.h"

namespace rpdhost {

inline uint16_t Be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Reads a pcap or pcapng capture; takes ownership of `in` (closes it).
bool ReadPcap(FILE *in, InputSink &sink, InputCounts &counts, std::string &fatal);

}  // namespace rpdhost
