// Inputs: hex text, raw BGP streams, MRT (BGP4MP, TABLE_DUMP_V2,
// TABLE_DUMP), BMP streams and pcap/pcapng captures of BGP or BMP over TCP,
// each also gzip-, bzip2-, xz- or zstd-compressed. The format is told from
// the (decompressed) content unless given. Readers know nothing of the
// plug-in: each hands whole BGP messages (marker included) to its reader
// context, and counts everything it passes over.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "capture.h"
#include "reader_context.h"

namespace rpdhost {

enum class InputFormat { Auto, Hex, Raw, Mrt, Pcap, Bmp };

const char *FormatName(InputFormat f);
bool ParseInputFormat(const std::string &name, InputFormat &out);
// Tells the format from the first bytes of an (uncompressed) input; Auto
// when they look like none of them.
InputFormat DetectFormat(const uint8_t *head, size_t n, bool whole);

struct InputOptions {
    InputFormat format = InputFormat::Auto;
    CaptureOptions capture;  // which TCP ports carry BGP and BMP
};

// Reads the whole input into `ctx`; its counts then name the format read and
// the compression. False only when the input cannot be read at all (`fatal`
// says why).
bool ReadInput(FILE *in, const InputOptions &opt, ReaderContext &ctx, std::string &fatal);

}  // namespace rpdhost
