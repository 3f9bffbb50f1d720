#include "rpd_decoder.h"

#include "textual.h"

namespace rpdhost {

// The route sink that keeps what the walk says about the one message being decoded.
class RpdDecoder::Collector : public RouteSink {
public:
    Collector(const Plugin &plugin, RpdMessage &out) : plugin_(plugin), out_(out) {}
    RpdTexts texts;
    bool NeedsWire() const override { return true; }

    void Begin(const MessageView &, const PolicyView &pv) override {
        RpdPolicy &p = out_.policy;
        p.present = pv.present;
        p.accepted = pv.Accepted();
        p.offset = pv.offset;
        p.length = pv.length;
        if (!p.accepted) return;
        p.wire = pv.wire;
        if (texts.plugin || p.wire == nullptr) {
            std::string_view whole;
            p.textStatus = plugin_.Text(MakeView(nullptr, pv.attr), TAM_RPD_STR_WIDE_CMTY, whole);
            p.text = whole;
            EachPiece(plugin_, pv, [&](const DisplayPiece &piece, uint32_t st, std::string_view text) {
                p.pieces.push_back({piece.code, piece.name, st, std::string(text)});
                if (st == TAM_RPD_OK) ActionText(piece.code, text);
            });
            return;
        }
        if (!texts.actions) return;
        const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, pv.attr);
        for (const WcAction &a : p.wire->actions) {
            const uint32_t code = a.kind == WcAction::Med         ? TAM_RPD_DISP_MED
                                  : a.kind == WcAction::AsPathAdd ? TAM_RPD_DISP_ASPATH_APPLY
                                                                  : 0;
            std::string_view text;
            if (code != 0 && plugin_.Display(view, code, text) == TAM_RPD_OK) ActionText(code, text);
        }
    }

    void Route(const MessageView &, const PolicyView &, const RouteView &r) override {
        RpdRoute route;
        route.announce = r.announce;
        route.key = KeyFieldsOf(*r.key);
        uint32_t st = 0;
        if (texts.keys) route.keyText = KeyText(plugin_, *r.key, st);
        route.offset = r.offset;
        route.length = r.length;
        out_.routes.push_back(std::move(route));
    }

    void Problem(const ProblemView &p) override {
        if (p.Warning()) return;
        out_.refusals.push_back({p.what, p.status, p.hasByte, p.messageByte});
    }

private:
    // An action field shows the first line of the plug-in's piece for it.
    void ActionText(uint32_t code, std::string_view text) {
        std::string *to = code == TAM_RPD_DISP_MED           ? &out_.policy.medText
                          : code == TAM_RPD_DISP_ASPATH_APPLY ? &out_.policy.asPathText
                                                              : nullptr;
        if (to == nullptr) return;
        EachItem(text, [&](std::string_view item) {
            if (to->empty()) *to = std::string(item);
        });
    }

    const Plugin &plugin_;
    RpdMessage &out_;
};

RpdDecoder::RpdDecoder() = default;
RpdDecoder::~RpdDecoder() = default;

bool RpdDecoder::Load(const std::string &path, uint8_t wideCommunityCode, std::string &err) {
    if (!plugin_.Load(path, err)) return false;
    collector_ = std::make_unique<Collector>(plugin_, out_);
    WalkOptions opt;
    opt.wcCode = wideCommunityCode;
    walk_ = std::make_unique<RouteWalk>(plugin_, opt, *collector_);
    walk_->OnInput("capture");
    return true;
}

const RpdMessage &RpdDecoder::Decode(const uint8_t *message, size_t n, uint64_t number, RpdTexts texts) {
    out_ = RpdMessage{};
    if (walk_ == nullptr) return out_;
    collector_->texts = texts;
    message_.bytes.assign(message, message + n);
    message_.number = number;
    walk_->OnMessage(message_);
    return out_;
}

}  // namespace rpdhost
