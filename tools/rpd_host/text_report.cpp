// The default output: a heading per message, a line per route, and the
// policy as labelled lines, one item each. The item texts are the plug-in's
// display pieces; where a piece flattens what the wire keeps apart (the
// community filters), the diagnostic reading of the bytes gives the groups.
#include <cstring>
#include <vector>

#include "report.h"
#include "reporter.h"

namespace rpdhost {

namespace {

// The items of a piece: NUL bytes and line feeds end them.
std::vector<std::string> Items(const std::string &text) {
    std::vector<std::string> out;
    std::string cur;
    for (const char c : text) {
        if (c == '\0' || c == '\n') {
            while (!cur.empty() && cur.back() == ' ') cur.pop_back();
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else if (!(c == ' ' && cur.empty())) {
            cur += c;
        }
    }
    while (!cur.empty() && cur.back() == ' ') cur.pop_back();
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::vector<std::string> Words(const std::string &text) {
    std::vector<std::string> out;
    std::string cur;
    for (const char c : text) {
        if (c == ' ' || c == '\0' || c == '\n') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// Four dot-separated groups of digits.
bool IsAddress(const std::string &w) {
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

    void Begin(const MessageView &mv, const PolicyView &) override {
        const std::string h = MessageHeading(mv);
        std::fwrite(h.data(), 1, h.size(), out_);
        std::fputc('\n', out_);
    }

    void Route(const MessageView &, const PolicyView &, const RouteView &r) override {
        uint32_t st = 0;
        line_ = r.announce ? "  announce  " : "  withdraw  ";
        line_ += KeyText(plugin_, *r.key, st);
        if (r.hasPathId) line_ += " (path " + std::to_string(r.pathId) + ")";
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

    void End(const MessageView &, const PolicyView &pv) override {
        if (!pv.Accepted()) {
            if (pv.present) std::fprintf(out_, "  policy    not decoded: %s\n", StatusName(pv.status));
            return;
        }
        const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, pv.attr);
        std::string text;
        line_.clear();
        for (const DisplayPiece &piece : kDisplayPieces) {
            const uint32_t st = plugin_.Display(view, piece.code, text);
            if (st != TAM_RPD_OK) {
                Item(piece.name, std::string("(") + StatusName(st) + ")");
                continue;
            }
            switch (piece.code) {
                case kPieceContainer: Container(text, pv); break;
                case kPieceAsPathFilters:
                    for (const std::string &f : Items(text)) Item("match AS path", f);
                    break;
                case kPieceCommunityFilters: Communities(text, pv); break;
                case kPiecePrefixList: Prefixes(text); break;
                case kPieceMedAction:
                    for (const std::string &f : Items(text)) Item("MED", f);
                    break;
                case kPieceAsPathAction:
                    for (const std::string &f : Items(text)) Item("AS path add", f);
                    break;
                case kPieceCommunityAction:
                    for (const std::string &f : Items(text)) Item("community add", f + LeadNote(pv, true, 0));
                    break;
                default: break;
            }
        }
        std::fwrite(line_.data(), 1, line_.size(), out_);
    }

private:
    void Item(const char *label, const std::string &text) {
        const size_t at = line_.size();
        line_ += "    ";
        line_ += label;
        line_.append(at + 4 + 18 > line_.size() ? at + 4 + 18 - line_.size() : 1, ' ');
        line_ += text;
        line_ += '\n';
    }

    // "Type : 1" lines of the container piece, as one line of "Type 1, Flag ..., ...".
    void Container(const std::string &text, const PolicyView &pv) {
        std::string s;
        for (const std::string &item : Items(text)) {
            const size_t colon = item.find(" : ");
            if (colon == std::string::npos) continue;  // the "Wide-community Container 1:" title
            std::string key = item.substr(0, colon);
            while (!key.empty() && key.back() == ' ') key.pop_back();
            if (!s.empty()) s += ", ";
            s += key + " " + item.substr(colon + 3);
        }
        if (pv.wire != nullptr) s += ", Length " + std::to_string(pv.wire->containerLength);
        line_ += "  policy    " + s + "\n";
    }

    // The piece lists every value of every filter in one run; the wire keeps filters apart.
    void Communities(const std::string &text, const PolicyView &pv) {
        const std::vector<std::string> words = Words(text);
        size_t at = 0, filter = 0;
        if (pv.wire != nullptr)
            for (const WcAtom &a : pv.wire->atoms) {
                if (a.kind != WcAtom::Communities) continue;
                const size_t n = a.communities.values.size();
                if (at + n > words.size()) break;
                std::string s;
                for (size_t i = at; i < at + n; ++i) s += (i > at ? " " : "") + words[i];
                Item("match community", s + LeadNote(pv, false, filter++));
                at += n;
            }
        if (at < words.size()) {  // no structure to go by: the values as the piece gives them
            std::string s;
            for (size_t i = at; i < words.size(); ++i) s += (i > at ? " " : "") + words[i];
            Item("match community", s);
        }
    }

    // Entries start at an address: "10.0.0.0 8", "172.16.0.0 12 greater-equal 16", ...
    void Prefixes(const std::string &text) {
        std::string entry;
        for (const std::string &w : Words(text)) {
            if (IsAddress(w) && !entry.empty()) {
                Item("match prefix", entry);
                entry.clear();
            }
            entry += (entry.empty() ? "" : " ") + w;
        }
        if (!entry.empty()) Item("match prefix", entry);
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

    std::string line_;
};

}  // namespace

std::unique_ptr<Reporter> MakeTextReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<TextReporter>(plugin, out);
}

}  // namespace rpdhost
