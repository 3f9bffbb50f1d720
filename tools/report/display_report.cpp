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
        EachPiece(pv, [&](const DisplayPiece &piece, uint32_t st, const std::string &text) {
            if (st != TAM_RPD_OK) {
                std::fprintf(out_, "  [%s] %s\n", piece.name, TAM_RPD_StatusName(st));
            } else if (!text.empty()) {
                std::fprintf(out_, "  [%s]\n", piece.name);
                PrintBlock(out_, text, "    ");
            }
        });
    }

};

}  // namespace

std::unique_ptr<RouteSink> MakeDisplayReporter(const Plugin &plugin, FILE *out) {
    return std::make_unique<DisplayReporter>(plugin, out);
}

}  // namespace rpdhost
