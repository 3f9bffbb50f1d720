#include "report.h"

#include <cstring>
#include <ctime>

namespace rpdhost {

#define RPD_HOST_PIECE(code, handler, name) {code, name},
const DisplayPiece kDisplayPieces[7] = {TAM_RPD_POLICY_PIECES(RPD_HOST_PIECE)};
#undef RPD_HOST_PIECE

std::string Ipv4Text(uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", a >> 24, a >> 16 & 255, a >> 8 & 255, a & 255);
    return text;
}

std::string CommunityText(uint32_t v) { return std::to_string(v >> 16) + ":" + std::to_string(v & 0xFFFF); }

std::string TimeText(int64_t sec, uint32_t usec) {
    const time_t t = static_cast<time_t>(sec);
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02dT%02d:%02d:%02d.%06uZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, usec % 1000000u);
    return buf;
}

void PrintBlock(FILE *out, const std::string &text, const char *indent) {
    const size_t indentLen = std::strlen(indent);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\0' && text[end] != '\n') ++end;
        size_t last = end;
        while (last > start && text[last - 1] == ' ') --last;
        if (last > start) {
            std::fwrite(indent, 1, indentLen, out);
            std::fwrite(text.data() + start, 1, last - start, out);
            std::fputc('\n', out);
        }
        start = end + 1;
    }
}

void PrintEvent(FILE *out, const InputEvent &e) {
    // A live event has no offset in a file, and some (listening, a router's own) name no peer.
    std::fputs("event", out);
    if (!e.live) std::fprintf(out, " (offset %llu)", static_cast<unsigned long long>(e.offset));
    if (!e.peer.empty()) std::fprintf(out, " peer %s", e.peer.c_str());
    if (e.peerAs != 0) std::fprintf(out, " AS%u", e.peerAs);
    if (e.hasTime) std::fprintf(out, " at %s", TimeText(e.sec, e.usec).c_str());
    std::fprintf(out, ": %s\n", e.what.c_str());
}

}  // namespace rpdhost
