// Compressed input (gzip, bzip2, xz, zstd) told by its magic number and
// decompressed as a stream: whatever format is inside reads as if it were
// never compressed, from a file or from standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace rpdhost {

enum class Compression { None, Gzip, Bzip2, Xz, Zstd };

Compression DetectCompression(const uint8_t *head, size_t n);
const char *CompressionName(Compression c);

// What a decoder that could not get its memory reports (the data may be sound).
constexpr char kDecoderOutOfMemory[] = "out of memory while decompressing (the data may be sound)";

// A stream of the decompressed bytes of `in` (which stays the caller's and
// must outlive it). A damaged or cut compressed stream ends the stream early
// and leaves the reason in `*error`, which must also outlive it. Null when
// the decoder cannot be set up (`*error` says why).
FILE *OpenDecompressed(FILE *in, Compression c, std::string *error);

}  // namespace rpdhost
