// What the output formats share: the plug-in's display pieces, times and
// communities as text, the head line of a message, the plug-in's key text,
// the plug-in's NUL-separated texts as lines, events as lines.
#pragma once

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

namespace rpdhost {

struct DisplayPiece {
    uint32_t code;
    const char *name;
};
extern const DisplayPiece kDisplayPieces[7];

std::string TimeText(int64_t sec, uint32_t usec);
// The other way: a UTC time as TimeText writes it ("2023-11-14T22:13:20.003000Z"),
// the fraction of any length or none; false when the text is not such a time.
bool ParseTimeText(std::string_view text, int64_t &sec, uint32_t &usec);
std::string CommunityText(uint32_t v);  // "high:low"

// Calls `f` with each line of a plug-in text: lines end at a line feed or
// at a NUL (the plug-in's texts separate items with NUL bytes), trailing
// blanks are cut and blank lines dropped. A NUL must follow the text (as one
// follows a rendering and a std::string), so that strchrnul finds either end.
template <typename F> void EachLine(std::string_view text, F &&f) {
    const char *p = text.data(), *end = p + text.size();
    while (p < end) {
        const char *eol = strchrnul(p, '\n');
        const char *last = eol;
        while (last > p && last[-1] == ' ') --last;
        if (last > p) f(std::string_view(p, static_cast<size_t>(last - p)));
        p = eol + 1;
    }
}

// Those lines with their leading blanks cut too: the items of a display piece.
template <typename F> void EachItem(std::string_view text, F &&f) {
    EachLine(text, [&](std::string_view line) {
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (!line.empty()) f(line);
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

// Those lines, each after `indent`.
void PrintBlock(FILE *out, std::string_view text, const char *indent);
// The same lines, appended to `out`.
void AppendBlock(std::string &out, std::string_view text, std::string_view indent);
void PrintEvent(FILE *out, const InputEvent &e);

// The head line of a message in the text formats: file, number, offset, frame, stream, sender and time.
std::string MessageHeading(const MessageView &mv);
// The IPv4 unicast prefixes an UPDATE announces ("10.0.0.0/24"), the first
// `most` of them in `out`; returns how many it holds (those that read whole).
size_t Ipv4Prefixes(const MessageView &mv, size_t most, std::vector<std::string> &out);
// The plug-in's key text with its padding folded: "Route Type: Export Policy, Peer Address: ...".
std::string KeyText(const Plugin &plugin, const OutBuf &key, uint32_t &status);

// The text formats' common ground: where they write, the plug-in they ask,
// each message under its heading, events as lines.
class TextualReporter : public RouteSink {
public:
    TextualReporter(const Plugin &plugin, FILE *out) : plugin_(plugin), out_(out) {}
    void Begin(const MessageView &mv, const PolicyView &pv) override;
    // Each route on its line, under the key text with its padding folded.
    void Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) override;
    void Event(const std::string &file, const InputEvent &e) override;

protected:
    // A route's line, "  announce  KEY (path N)", with the key text as the format has it.
    void RouteLine(const RouteView &r, const char *keyText);

    const Plugin &plugin_;
    FILE *out_;

private:
    std::string routeLine_;
};

std::unique_ptr<RouteSink> MakeTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakePluginTextReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakeDisplayReporter(const Plugin &plugin, FILE *out);
std::unique_ptr<RouteSink> MakeJsonReporter(const Plugin &plugin, FILE *out, const std::string &station);

}  // namespace rpdhost
