// Texts of the route-to-string renderers. Operators read them on the host's
// console, so every character, blank runs included, is part of the interface.
#ifndef TAM_RPD_TEXTS_H
#define TAM_RPD_TEXTS_H

namespace tam::text {

// Measures whether the container block can be written at all: the longest
// block there could be. Used for nothing else.
inline constexpr char kContainerWorstCase[] =
    "Wide-community Container 1:\n"
    "     Type                  : 1\n"
    "     Flag                  : 0xff(Local, Not applicate confederation)\n"
    "     Hop-Count             : \n"
    "     Community value       : 0xffffffff(MATCH AND NOADV)\n"
    "     Source AS number      : 4294967295\n"
    "     Context AS number     : 4294967295\n";
static_assert(sizeof(kContainerWorstCase) - 1 == 296);

inline constexpr char kContainerHeader[] =
    "Wide-community Container 1:\n"
    "     Type                 : 1\n"
    "     Flag                 : %02x(Local, Not applicate confederation)\n"
    "     Hop-Count            : %u\n";
inline constexpr char kCommunityNoAdv[] = "     Community value      : 0x%x(MATCH AND NOADV)\n";
inline constexpr char kCommunitySet[] = "     Community value      : 0x%x(MATCH AND SET)\n";
inline constexpr char kSourceAs[] = "     Source AS number     : %u\n";
inline constexpr char kContextAs[] = "     Context AS number    : %u\n";

inline constexpr char kNlriLine[] =
    "RPD NLRI: Route Type: Export Policy,                             Peer Address: %s,                              Distinguisher: %u \n";

inline constexpr char kTargetHeader[] = "     Wide-community Target(1):\n";
inline constexpr char kParameterHeader[] = "     Wide-community Parameter(3):\n";

}  // namespace tam::text

#endif
