// --display: each of the plug-in's display pieces of a policy under its name.
#include "textual.h"

namespace rpdhost {

namespace {

class DisplayReporter : public TextualReporter {
public:
    using TextualReporter::TextualReporter;

private:
    void Policy(const MessageView &, const PolicyView &pv) override {
        if (!pv.Accepted()) {
            if (pv.present) message_ << "  policy not decoded: " << TAM_RPD_StatusName(pv.status) << '\n';
            return;
        }
        EachPiece(plugin_, pv, [&](const DisplayPiece &piece, uint32_t st, std::string_view text) {
            if (st != TAM_RPD_OK) {
                message_ << "  [" << piece.name << "] " << TAM_RPD_StatusName(st) << '\n';
            } else if (!text.empty()) {
                message_ << "  [" << piece.name << "]\n";
                block_.clear();
                AppendBlock(block_, text, "    ");
                message_ << block_;
            }
        });
    }

    std::string block_;  // a piece's lines
};

}  // namespace

std::unique_ptr<RouteSink> MakeDisplayReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<DisplayReporter>(plugin, out);
}

}  // namespace rpdhost
