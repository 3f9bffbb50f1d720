// Small pieces shared by the output formats: the plug-in's display pieces,
// times, addresses, hex, and the plug-in's NUL-separated texts as lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "hex.h"
#include "input.h"
#include "tam_rpd.h"

namespace rpdhost {

struct DisplayPiece {
    uint32_t code;
    const char *name;
};
extern const DisplayPiece kDisplayPieces[7];

std::string Ipv4Text(uint32_t hostOrder);
using rpdwire::HexText;
std::string TimeText(int64_t sec, uint32_t usec);
std::string CommunityText(uint32_t v);  // "high:low"

// The plug-in's texts separate items with NUL bytes; each becomes a line,
// blank ones dropped, trailing blanks cut.
void PrintBlock(FILE *out, const std::string &text, const char *indent);
void PrintEvent(FILE *out, const InputEvent &e);

}  // namespace rpdhost
