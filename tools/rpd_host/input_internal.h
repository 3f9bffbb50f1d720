// Shared between the input readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "input.h"
#include "wire.h"

namespace rpdhost {

using rpdwire::Be16;
using rpdwire::Be32;
using rpdwire::ByteReader;
using rpdwire::IsMarker;
using rpdwire::kBgpHeaderLen;
using rpdwire::kBgpMarkerLen;
inline bool StartsMessage(const uint8_t *p, size_t n) { return rpdwire::StartsBgpMessage(p, n); }

// Reads `len` bytes into `buf`, growing it as the bytes arrive: a record
// that claims more than the input holds costs what the input holds, not
// what it claims. False when the input ends first (`buf` keeps what came).
bool ReadExactly(FILE *in, std::vector<uint8_t> &buf, size_t len);

// Hands every message (and every skip) the framer yields to the sink, each
// message stamped with `proto`'s source fields; used by every stream reader.
void DrainFramer(Framer &framer, const Message &proto, InputSink &sink, InputCounts &counts);
// At the end of a stream: reports what the framer still holds.
void FinishFramer(Framer &framer, const Message &proto, InputSink &sink, InputCounts &counts);

// Content tests for format detection over the first `n` bytes (`whole`: the input ends there).
bool LooksLikeHex(const uint8_t *head, size_t n, bool whole);
bool LooksLikeMrt(const uint8_t *head, size_t n);

bool ReadHex(FILE *in, InputSink &sink, InputCounts &counts);
bool ReadMrt(FILE *in, InputSink &sink, InputCounts &counts);
// Reads a pcap or (when `pcapng`) a pcapng capture; closes `in`.
bool ReadPcap(FILE *in, bool pcapng, const InputOptions &opt, InputSink &sink, InputCounts &counts, std::string &fatal);

}  // namespace rpdhost
