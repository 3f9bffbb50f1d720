// The modes main() hands over to, besides decoding.
#pragma once

#include <string>

#include "encode.h"
#include "options.h"
#include "plugin.h"

namespace rpdhost {

// Reads an encode description (a file, or - for standard input). 0 when it is
// read, else reported and the exit status: 2 unreadable, 1 not a description.
int LoadJob(const std::string &input, EncodeJob &job);

// Every UPDATE a description makes goes through the plug-in, as a router
// would take it: what it refuses is reported in the decoder's words, and
// then nothing may be written or sent. 0 when all were taken, else 1.
int CheckJob(const Plugin &plugin, const EncodeJob &job, const std::string &name);

// rpd-host encode: the description's UPDATEs written in the format asked.
int EncodeCommand(const Settings &s, const EncodeJob &job);

}  // namespace rpdhost
