// JSON forms of what the plug-in hands over: the route key from the key
// bytes, the policy's container fields from the stored record, and its match
// conditions and actions from the plug-in's display pieces.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "plugin.h"

namespace rpdhost {

using Json = nlohmann::ordered_json;

struct DisplayPiece {
    uint32_t code;
    const char *name;
};
extern const DisplayPiece kDisplayPieces[7];

std::string Ipv4Text(uint32_t hostOrder);
std::string HexText(const uint8_t *p, size_t n);
std::string TimeText(int64_t sec, uint32_t usec);

Json KeyJson(const uint8_t *key, size_t len);
// `status` receives one entry per display piece.
Json PolicyJson(const Plugin &plugin, const OutBuf &attr, Json &status);

// Parsers of the display pieces' texts (exposed for the tests).
Json ParseAsPathPiece(const std::string &text);
Json ParseCommunityPiece(const std::string &text);
Json ParsePrefixPiece(const std::string &text);
Json ParseMedPiece(const std::string &text);
Json ParseAdditivePiece(const std::string &text);

}  // namespace rpdhost
