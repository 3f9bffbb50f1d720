// The default output: a heading per message, a line per route, and the
// policy as labelled lines, one item each. The item texts are the plug-in's
// display pieces; where a piece flattens what the wire keeps apart (the
// community filters), the diagnostic reading of the bytes gives the groups.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "textual.h"

namespace rpdhost {

namespace {

// Calls `f` with each item of a piece (its lines, leading blanks cut too),
// or with each word when `words` is set. A NUL follows the text, as in EachLine.
template <typename F> void Each(std::string_view text, bool words, F &&f) {
    if (!words) return EachItem(text, f);
    // Words end at a blank, a line feed or a NUL (the last at the one that follows the text).
    const char *p = text.data(), *end = p + text.size();
    while (p < end) {
        const char *a = p;
        // One test for the usual character: the three ends are all at or below the blank.
        auto wordEnd = [](unsigned char c) { return c <= ' ' && (c == ' ' || c == '\n' || c == '\0'); };
        while (!wordEnd(static_cast<unsigned char>(*p))) ++p;
        if (p > a) f(std::string_view(a, static_cast<size_t>(p - a)));
        ++p;
    }
}

// Four dot-separated groups of digits.
bool IsAddress(std::string_view w) {
    if (w.size() < 7 || w.size() > 15) return false;  // "0.0.0.0" to "255.255.255.255"; most words are lengths
    int dots = 0;
    bool digit = false;
    for (const char c : w) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && digit) {
            ++dots;
            digit = false;
        } else {
            return false;
        }
    }
    return dots == 3 && digit;
}

class TextReporter : public TextualReporter {
public:
    using TextualReporter::TextualReporter;
    bool NeedsWire() const override { return true; }

    void End(const MessageView &mv, const PolicyView &pv) override {
        if (pv.present) Carriers(mv);
        if (!pv.Accepted()) {
            if (pv.present) std::fprintf(out_, "  policy    not decoded: %s\n", TAM_RPD_StatusName(pv.status));
            return;
        }
        line_.clear();
        EachPiece(plugin_, pv, [&](const DisplayPiece &piece, uint32_t st, std::string_view text) {
            if (st != TAM_RPD_OK) {
                Item(piece.name, std::string("(") + TAM_RPD_StatusName(st) + ")");
                return;
            }
            switch (piece.code) {
                case TAM_RPD_DISP_PUBLIC: Container(text, pv); break;
                case TAM_RPD_DISP_ASPATH_FILTER: Each(text, false, [&](std::string_view f) { Item("match AS path", f); }); break;
                case TAM_RPD_DISP_CMTY_FILTER: Communities(text, pv); break;
                case TAM_RPD_DISP_IP_PREFIX: Prefixes(text); break;
                case TAM_RPD_DISP_MED: Each(text, false, [&](std::string_view f) { Item("MED", f); }); break;
                case TAM_RPD_DISP_ASPATH_APPLY: Each(text, false, [&](std::string_view f) { Item("AS path add", f); }); break;
                case TAM_RPD_DISP_CMTY_APPLY:
                    Each(text, false, [&](std::string_view f) { Item("community add", f, LeadNote(pv, true, 0)); });
                    break;
                default: break;
            }
        });
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

private:
    // The IPv4 unicast prefixes the policy rides on: "prefixes  10.0.0.0/24, 10.0.1.0/24 and 3 more (5)".
    void Carriers(const MessageView &mv) {
        constexpr size_t kShown = 4;
        const size_t n = Ipv4Prefixes(mv, kShown, prefixes_);
        if (n == 0) return;
        line_ = n == 1 ? "  prefix    " : "  prefixes  ";
        for (size_t i = 0; i < prefixes_.size(); ++i) (line_ += i == 0 ? "" : ", ") += prefixes_[i];
        if (n > kShown) line_ += " and " + std::to_string(n - kShown) + " more (" + std::to_string(n) + ")";
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

    // "    LABEL" padded to a column of 22, then the text, the note and a line feed, in one append.
    void Item(const char *label, std::string_view text, std::string_view note = {}) {
        constexpr size_t kColumn = 22;
        const size_t labelLen = std::strlen(label), head = std::max(kColumn, 4 + labelLen + 1);
        const size_t at = line_.size();
        line_.resize(at + head + text.size() + note.size() + 1);
        char *p = line_.data() + at;
        std::memset(p, ' ', head);
        std::memcpy(p + 4, label, labelLen);
        p += head;
        p = std::copy(text.begin(), text.end(), p);  // either may be empty, its data null
        p = std::copy(note.begin(), note.end(), p);
        *p = '\n';
    }

    // "Type : 1" lines of the container piece, as one line of "Type 1, Flag ..., ...".
    void Container(std::string_view text, const PolicyView &pv) {
        line_ += "  policy    ";
        bool first = true;
        Each(text, false, [&](std::string_view item) {
            size_t colon = item.find(':');  // the first " : "; a lone colon is searched past
            while (colon != std::string_view::npos &&
                   (colon == 0 || item[colon - 1] != ' ' || colon + 1 >= item.size() || item[colon + 1] != ' '))
                colon = item.find(':', colon + 1);
            if (colon == std::string_view::npos) return;  // the "Wide-community Container 1:" title
            --colon;
            std::string_view key = item.substr(0, colon);
            while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
            if (!first) line_ += ", ";
            first = false;
            line_ += key;
            line_ += ' ';
            line_ += item.substr(colon + 3);
        });
        if (pv.wire != nullptr) line_ += ", Length " + std::to_string(pv.wire->containerLength);
        line_ += '\n';
    }

    // The piece lists every value of every filter in one run; the wire keeps filters apart.
    void Communities(std::string_view text, const PolicyView &pv) {
        std::vector<std::string_view> &words = words_;
        words.clear();
        Each(text, true, [&](std::string_view w) { words.push_back(w); });
        size_t at = 0, filter = 0;
        auto group = [&](size_t n, std::string_view note) {
            joined_.clear();
            for (size_t i = at; i < at + n; ++i) (joined_ += i > at ? " " : "") += words[i];
            Item("match community", joined_, note);
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

    // Entries start at an address: "10.0.0.0 8", "172.16.0.0 12 greater-equal 16", ...
    // Their words are shown one blank apart: as they stand in the text when
    // that is how they are kept apart there, else joined.
    void Prefixes(std::string_view text) {
        const char *start = nullptr, *end = nullptr;
        bool spaced = true;  // the words from `start` to `end` stand one blank apart
        auto item = [&] {
            if (spaced) return Item("match prefix", std::string_view(start, static_cast<size_t>(end - start)));
            joined_.clear();
            Each(std::string(start, end), true, [&](std::string_view w) { (joined_ += joined_.empty() ? "" : " ") += w; });
            Item("match prefix", joined_);
        };
        Each(text, true, [&](std::string_view w) {
            if (start != nullptr && IsAddress(w)) {
                item();
                start = nullptr;
            }
            if (start == nullptr) {
                start = w.data();
                spaced = true;
            } else {
                spaced = spaced && w.data() == end + 1 && *end == ' ';
            }
            end = w.data() + w.size();
        });
        if (start != nullptr) item();
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

    std::string line_, joined_;
    std::vector<std::string_view> words_;
    std::vector<std::string> prefixes_;
};

}  // namespace

std::unique_ptr<RouteSink> MakeTextReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<TextReporter>(plugin, out);
}

}  // namespace rpdhost
