// The modes main() hands over to, besides decoding.
#pragma once

#include <string>

#include "encode.h"
#include "options.h"

namespace rpdhost {

// Reads an encode description (a file, or - for standard input). 0 when it is
// read, else reported and the exit status: 2 unreadable, 1 not a description.
int LoadJob(const std::string &input, EncodeJob &job);

// rpd-host encode: the description's UPDATEs written in the format asked.
int EncodeCommand(const Settings &s);

}  // namespace rpdhost
