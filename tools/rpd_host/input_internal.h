// Shared between the input readers.
#pragma once

#include <cstdio>
#include <string>

#include "input.h"

namespace rpdhost {

// Reads a pcap or pcapng capture; takes ownership of `in` (closes it).
bool ReadPcap(FILE *in, InputSink &sink, InputCounts &counts, std::string &fatal);

}  // namespace rpdhost
