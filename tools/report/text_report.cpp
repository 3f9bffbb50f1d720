// The default output: a heading per message, a line per route, and the
// policy as labelled lines, one item each. The item texts are the plug-in's
// display pieces; where a piece flattens what the wire keeps apart (the
// community filters), the diagnostic reading of the bytes gives the groups.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "text_buffer.h"
#include "textual.h"

namespace rpdhost {

namespace {

// Calls `f` with each item of a piece (its lines, leading blanks cut too),
// or with each word when `words` is set. A NUL follows the text, as in EachLine.
template <typename F> void Each(std::string_view text, bool words, F &&f) {
    if (!words) return EachItem(text, f);
    // Words end at a blank, a line feed or a NUL; other control characters are in them.
    const char *p = text.data(), *end = p + text.size();
    while (p < end) {
        const char *a = p;
        for (;;) {
            p = NextBlankOrControl(p, end);
            if (p == end || *p == ' ' || *p == '\n' || *p == '\0') break;
            ++p;
        }
        if (p > a) f(std::string_view(a, static_cast<size_t>(p - a)));
        ++p;
    }
}

// An item's head: "    LABEL" padded with blanks to the items' column, or one blank past a longer label.
constexpr size_t kItemColumn = 22;
constexpr size_t HeadSize(size_t labelLen) { return std::max(kItemColumn, 4 + labelLen + 1); }
constexpr void FillHead(char *head, std::string_view label) {
    for (size_t i = 0; i < HeadSize(label.size()); ++i) head[i] = i >= 4 && i - 4 < label.size() ? label[i - 4] : ' ';
}
// The heads of the item labels, made once: an item is then three copies.
template <size_t N> struct Head {
    char text[HeadSize(N - 1)] = {};
    constexpr explicit Head(const char (&label)[N]) { FillHead(text, std::string_view(label, N - 1)); }
    constexpr std::string_view View() const { return {text, sizeof(text)}; }
};
constexpr Head kMatchAsPath("match AS path");
constexpr Head kMatchCommunity("match community");
constexpr Head kMatchPrefix("match prefix");
constexpr Head kMed("MED");
constexpr Head kAsPathAdd("AS path add");
constexpr Head kCommunityAdd("community add");

class TextReporter : public TextualReporter {
public:
    using TextualReporter::TextualReporter;
    bool NeedsWire() const override { return true; }

private:
    void Policy(const MessageView &mv, const PolicyView &pv) override {
        if (pv.present) Carriers(mv);
        if (!pv.Accepted()) {
            if (pv.present) message_ << "  policy    not decoded: " << TAM_RPD_StatusName(pv.status) << '\n';
            return;
        }
        EachPiece(plugin_, pv, [&](const DisplayPiece &piece, uint32_t st, std::string_view text) {
            if (st != TAM_RPD_OK) {
                std::string head(HeadSize(std::strlen(piece.name)), ' ');
                FillHead(head.data(), piece.name);
                Item(head, std::string("(") + TAM_RPD_StatusName(st) + ")");
                return;
            }
            switch (piece.code) {
                case TAM_RPD_DISP_PUBLIC: Container(text, pv); break;
                case TAM_RPD_DISP_ASPATH_FILTER: Each(text, false, [&](std::string_view f) { Item(kMatchAsPath.View(), f); }); break;
                case TAM_RPD_DISP_CMTY_FILTER: Communities(text, pv); break;
                case TAM_RPD_DISP_IP_PREFIX: Prefixes(text); break;
                case TAM_RPD_DISP_MED: Each(text, false, [&](std::string_view f) { Item(kMed.View(), f); }); break;
                case TAM_RPD_DISP_ASPATH_APPLY: Each(text, false, [&](std::string_view f) { Item(kAsPathAdd.View(), f); }); break;
                case TAM_RPD_DISP_CMTY_APPLY:
                    Each(text, false, [&](std::string_view f) { Item(kCommunityAdd.View(), f, LeadNote(pv, true, 0)); });
                    break;
                default: break;
            }
        });
    }

    // The IPv4 unicast prefixes the policy rides on: "prefixes  10.0.0.0/24, 10.0.1.0/24 and 3 more (5)".
    void Carriers(const MessageView &mv) {
        constexpr size_t kShown = 4;
        const size_t n = Ipv4Prefixes(mv, kShown, prefixes_);
        if (n == 0) return;
        message_ << (n == 1 ? "  prefix    " : "  prefixes  ");
        for (size_t i = 0; i < prefixes_.size(); ++i) message_ << (i == 0 ? "" : ", ") << prefixes_[i];
        if (n > kShown) message_ << " and " << uint64_t{n - kShown} << " more (" << uint64_t{n} << ")";
        message_ << '\n';
    }

    // An item's line: its head, the text, the note and a line feed.
    void Item(std::string_view head, std::string_view text, std::string_view note = {}) {
        message_ << head << text << note << '\n';
    }

    // "Type : 1" lines of the container piece, as one line of "Type 1, Flag ..., ...".
    void Container(std::string_view text, const PolicyView &pv) {
        message_ << "  policy    ";
        bool first = true;
        Each(text, false, [&](std::string_view item) {
            size_t colon = item.find(':');  // the first " : "; a lone colon is searched past
            while (colon != std::string_view::npos &&
                   (colon == 0 || item[colon - 1] != ' ' || colon + 1 >= item.size() || item[colon + 1] != ' '))
                colon = item.find(':', colon + 1);
            if (colon == std::string_view::npos) return;  // the "Wide-community Container 1:" title
            --colon;
            const char *key = item.data();
            if (!first) message_ << ", ";
            first = false;
            message_ << std::string_view(key, static_cast<size_t>(TrimBlanks(key, key + colon) - key)) << ' '
                  << item.substr(colon + 3);
        });
        if (pv.wire != nullptr) message_ << ", Length " << uint64_t{pv.wire->containerLength};
        message_ << '\n';
    }

    // The piece lists every value of every filter in one run; the wire keeps filters apart.
    void Communities(std::string_view text, const PolicyView &pv) {
        std::vector<std::string_view> &words = words_;
        words.clear();
        Each(text, true, [&](std::string_view w) { words.push_back(w); });
        size_t at = 0, filter = 0;
        auto group = [&](size_t n, std::string_view note) {
            message_ << kMatchCommunity.View();
            for (size_t i = at; i < at + n; ++i) (i > at ? message_ << ' ' : message_) << words[i];
            message_ << note << '\n';
            at += n;
        };
        if (pv.wire != nullptr)
            for (const WcAtom &a : pv.wire->atoms) {
                if (a.kind != WcAtom::Communities) continue;
                const size_t n = a.communities.values.size();
                if (n == 0 || at + n > words.size()) break;
                group(n, LeadNote(pv, false, filter++));
            }
        if (at < words.size()) group(words.size() - at, {});  // no structure to go by: the values as the piece gives them
    }

    // Entries start at an address: "10.0.0.0 8", "172.16.0.0 12 greater-equal 16", ...;
    // their words are shown one blank apart.
    void Prefixes(std::string_view text) {
        bool open = false;
        Each(text, true, [&](std::string_view w) {
            if (open && !IsDottedQuad(w)) {
                message_ << ' ';
            } else {
                if (open) message_ << '\n';
                message_ << kMatchPrefix.View();
                open = true;
            }
            message_ << w;
        });
        if (open) message_ << '\n';
    }

    // The leading octet the wire carries and no text shows, when it is not 0.
    static std::string LeadNote(const PolicyView &pv, bool action, size_t filter) {
        if (pv.wire == nullptr) return "";
        size_t seen = 0;
        if (action) {
            for (const WcAction &a : pv.wire->actions)
                if (a.kind == WcAction::CommunityAdd && a.communities.lead != 0) return Lead(a.communities.lead);
            return "";
        }
        for (const WcAtom &a : pv.wire->atoms)
            if (a.kind == WcAtom::Communities && seen++ == filter)
                return a.communities.lead != 0 ? Lead(a.communities.lead) : "";
        return "";
    }
    static std::string Lead(uint8_t lead) {
        char b[32];
        std::snprintf(b, sizeof(b), " (leading octet 0x%02x)", lead);
        return b;
    }

    std::vector<std::string_view> words_;
    std::vector<std::string> prefixes_;
};

}  // namespace

std::unique_ptr<RouteSink> MakeTextReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<TextReporter>(plugin, out);
}

}  // namespace rpdhost
