// What the output formats share: the plug-in's display pieces, times and
// communities as text, the head line of a message, the plug-in's key text,
// the plug-in's NUL-separated texts as lines, events as lines.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plugin.h"
#include "route_sink.h"
#include "tam_rpd.h"
#include "text_buffer.h"

namespace rpdhost {

struct DisplayPiece {
    uint32_t code;
    const char *name;
};
extern const DisplayPiece kDisplayPieces[7];

std::string TimeText(int64_t sec, uint32_t usec);
// The same into `out`, which has room for kTimeTextRoom; returns its length.
constexpr size_t kTimeTextRoom = 48;
size_t FormatTime(char *out, int64_t sec, uint32_t usec);
// The other way: a UTC time as TimeText writes it ("2023-11-14T22:13:20.003000Z"),
// the fraction of any length or none; false when the text is not such a time.
bool ParseTimeText(std::string_view text, int64_t &sec, uint32_t &usec);
std::string CommunityText(uint32_t v);  // "high:low"

// The plug-in pads its columns with runs of blanks: these pass over them a word at a time.
// The first byte from `p` that is not a blank, or `end`.
inline const char *SkipBlanks(const char *p, const char *end) {
    constexpr uint64_t kBlanks = 0x2020202020202020u;
    for (uint64_t w; end - p >= 8 && (std::memcpy(&w, p, 8), w == kBlanks);) p += 8;
    while (p < end && *p == ' ') ++p;
    return p;
}
// Where the text from `begin` to `end` ends with its trailing blanks cut.
inline const char *TrimBlanks(const char *begin, const char *end) {
    constexpr uint64_t kBlanks = 0x2020202020202020u;
    for (uint64_t w; end - begin >= 8 && (std::memcpy(&w, end - 8, 8), w == kBlanks);) end -= 8;
    while (end > begin && end[-1] == ' ') --end;
    return end;
}

// Of 8 bytes read in memory order on a little-endian machine, how many come
// before the first at or below the blank (a blank, a line feed, a NUL,
// another control character): 8 when there is none.
inline size_t BytesBeforeBlankOrControl(uint64_t w) {
    constexpr uint64_t k01 = 0x0101010101010101u, k80 = k01 * 0x80;
    // The lowest byte below 0x21 sets the lowest flag; flags above it may be false.
    const uint64_t below = (w - k01 * 0x21) & ~w & k80;
    return below == 0 ? 8 : static_cast<size_t>(std::countr_zero(below)) / 8;
}

// The first byte from `p` at or below the blank, or `end`: words are passed
// over 8 bytes at a time.
inline const char *NextBlankOrControl(const char *p, const char *end) {
    if constexpr (std::endian::native == std::endian::little) {
        for (uint64_t w; end - p >= 8; p += 8) {
            std::memcpy(&w, p, 8);
            if (const size_t n = BytesBeforeBlankOrControl(w); n < 8) return p + n;
        }
    }
    while (p < end && static_cast<unsigned char>(*p) > ' ') ++p;
    return p;
}

// Whether `w` is four dot-separated groups of digits ("10.0.0.0"), as the
// plug-in writes an IPv4 address; the groups' values are not checked.
bool IsDottedQuad(std::string_view w);

// Calls `f` with each line of a plug-in text: lines end at a line feed or
// at a NUL (the plug-in's texts separate items with NUL bytes), trailing
// blanks are cut and blank lines dropped. A NUL must follow the text (as one
// follows a rendering and a std::string), so that strchrnul finds either end.
template <typename F> void EachLine(std::string_view text, F &&f) {
    const char *p = text.data(), *end = p + text.size();
    while (p < end) {
        const char *eol = strchrnul(p, '\n');
        const char *last = TrimBlanks(p, eol);
        if (last > p) f(std::string_view(p, static_cast<size_t>(last - p)));
        p = eol + 1;
    }
}

// Those lines with their leading blanks cut too: the items of a display piece.
template <typename F> void EachItem(std::string_view text, F &&f) {
    EachLine(text, [&](std::string_view line) {
        const char *end = line.data() + line.size(), *first = SkipBlanks(line.data(), end);
        if (first < end) f(std::string_view(first, static_cast<size_t>(end - first)));
    });
}

// Calls `f(piece, status, text)` for each of the plug-in's display pieces of an accepted policy.
template <typename F> void EachPiece(const Plugin &plugin, const PolicyView &pv, F &&f) {
    const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, pv.attr);
    for (const DisplayPiece &piece : kDisplayPieces) {
        std::string_view text;
        const uint32_t st = plugin.Display(view, piece.code, text);
        f(piece, st, text);
    }
}

// Those lines, each after `indent`, appended to `out`.
void AppendBlock(std::string &out, std::string_view text, std::string_view indent);
void PrintEvent(FILE *out, const InputEvent &e);

// The head line of a message in the text formats: file, number, offset, frame, stream, sender and time.
void AppendMessageHeading(TextBuffer &out, const MessageView &mv);
// The IPv4 unicast prefixes an UPDATE announces ("10.0.0.0/24"), the first
// `most` of them in `out`; returns how many it holds (those that read whole).
size_t Ipv4Prefixes(const MessageView &mv, size_t most, std::vector<std::string> &out);
// The plug-in's key text with its padding folded: "Route Type: Export Policy, Peer Address: ...".
std::string KeyText(const Plugin &plugin, const OutBuf &key, uint32_t &status);
// The same, appended to `out` (a failed status's name in its place); returns the status.
uint32_t AppendKeyText(const Plugin &plugin, const OutBuf &key, std::string &out);

// The text formats' common ground: where they write, the plug-in they ask,
// each message under its heading, events as lines. A message's lines are
// kept until its end and written at once.
class TextualReporter : public RouteSink {
public:
    TextualReporter(const Plugin &plugin, FILE *out) : plugin_(plugin), out_(out) {}
    void Begin(const MessageView &mv, const PolicyView &pv) override;
    // Each route on its line, under the key text with its padding folded.
    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override;
    void End(const MessageView &mv, const PolicyView &pv) final;
    void Event(const std::string &file, const InputEvent &e) override;
    void Flush() override;

protected:
    // The policy's lines, after the routes'.
    virtual void Policy(const MessageView &mv, const PolicyView &pv) = 0;
    // A route's line, "  announce  KEY (path N)", with the key text as the format has it.
    void RouteLine(const RouteView &r, std::string_view keyText);

    const Plugin &plugin_;
    FILE *out_;
    TextBuffer message_;  // the lines of the message being read

private:
    std::string text_;  // a key text, as it is made
};

std::unique_ptr<RouteSink> MakeTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakePluginTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakeDisplayReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakeJsonReporter(const Plugin &plugin, FILE *out, const std::string &station);

}  // namespace rpdhost
