// --plugin-text: the plug-in's own composite texts as they come, items
// separated by line breaks where the plug-in puts NUL bytes.
#include <cstring>

#include "textual.h"

namespace rpdhost {

namespace {

constexpr uint32_t kTextKey = TAM_RPD_STR_NLRI;
constexpr uint32_t kTextAttr = TAM_RPD_STR_WIDE_CMTY;

std::string Trimmed(std::string_view s) {
    const size_t end = s.find_last_not_of(" \n");
    return std::string(end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1));
}

class PluginTextReporter : public TextualReporter {
public:
    using TextualReporter::TextualReporter;

    void Route(const MessageView &, const PolicyView &, const RouteView &r) override {
        std::string_view text;
        const uint32_t st = plugin_.Text(MakeView(r.key, nullptr), kTextKey, text);
        RouteLine(r, st == TAM_RPD_OK ? Trimmed(text) : std::string(TAM_RPD_StatusName(st)));
    }

private:
    void Policy(const MessageView &, const PolicyView &pv) override {
        if (!pv.Accepted()) {
            if (pv.present) message_ << "  policy: not decoded (" << TAM_RPD_StatusName(pv.status) << ")\n";
            return;
        }
        std::string_view text;
        const uint32_t st = plugin_.Text(MakeView(nullptr, pv.attr), kTextAttr, text);
        message_ << "  policy:\n";
        if (st != TAM_RPD_OK) message_ << "    (no text: " << TAM_RPD_StatusName(st) << ")\n";
        block_.clear();
        AppendBlock(block_, text, "    ");
        message_ << block_;
    }

    std::string block_;
};

}  // namespace

std::unique_ptr<RouteSink> MakePluginTextReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<PluginTextReporter>(plugin, out);
}

}  // namespace rpdhost
