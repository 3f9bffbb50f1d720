// The file readers behind ReadInput, and their content tests for format detection.
#pragma once

#include <cstdint>
#include <cstdio>

#include "reader_context.h"
#include "stream_decoder.h"

namespace rpdhost {

// Content tests over the first `n` bytes (`whole`: the input ends there).
bool LooksLikeHex(const uint8_t *head, size_t n, bool whole);
// MRT by its record types, or (`anyType`) by records that chain, whatever their types.
bool LooksLikeMrt(const uint8_t *head, size_t n, bool anyType = false);
bool LooksLikeBmp(const uint8_t *head, size_t n);

void ReadHex(FILE *in, ReaderContext &ctx);
void ReadMrt(FILE *in, ReaderContext &ctx);
// A file that is one byte stream (raw BGP, BMP): fed to `decoder` as it is read.
void ReadStream(FILE *in, StreamDecoder &decoder, ReaderContext &ctx);

}  // namespace rpdhost
