// --display: each of the plug-in's display pieces of a policy under its name.
#include "textual.h"

namespace rpdhost {

namespace {

class DisplayReporter : public TextualReporter {
public:
    using TextualReporter::TextualReporter;

    void End(const MessageView &, const PolicyView &pv) override {
        if (!pv.Accepted()) {
            if (pv.present) std::fprintf(out_, "  policy not decoded: %s\n", TAM_RPD_StatusName(pv.status));
            return;
        }
        block_.clear();
        EachPiece(plugin_, pv, [&](const DisplayPiece &piece, uint32_t st, std::string_view text) {
            if (st != TAM_RPD_OK) {
                ((block_ += "  [") += piece.name) += "] ";
                (block_ += TAM_RPD_StatusName(st)) += '\n';
            } else if (!text.empty()) {
                ((block_ += "  [") += piece.name) += "]\n";
                AppendBlock(block_, text, "    ");
            }
        });
        std::fwrite(block_.data(), 1, block_.size(), out_);
    }

private:
    std::string block_;  // the policy's pieces, written at once
};

}  // namespace

std::unique_ptr<RouteSink> MakeDisplayReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<DisplayReporter>(plugin, out);
}

}  // namespace rpdhost
