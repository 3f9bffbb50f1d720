// pcapng, read block by block: libpcap gives one link type per capture and
// refuses a pcapng whose interfaces differ (as mergecap makes them).
#pragma once

#include <cstdio>

#include "capture.h"

namespace rpdhost {

void ReadPcapng(FILE *in, CaptureDecoder &decoder, ReaderContext &ctx);

}  // namespace rpdhost
