// rpd_floor MODE PLUGIN FILE: rpd-host's walk over FILE with only the
// plug-in calls that output mode cannot do without, each into a scratch
// buffer, nothing taken out of it and nothing written. What a mode costs
// above this is rpd-host's own; scripts/bench shows each mode against it.
//
//   quiet        the walk: reading, the NLRI and attribute parses, the counters
//   json         + the key text of each route
//   plugin-text  + the key text, and the policy text of each UPDATE
//   text         + the key text, and the seven display pieces of each policy
//   display      (as text)
//   verify       text's calls + every format, parse and compare the verifier makes
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "input.h"
#include "plugin.h"
#include "route_buffers.h"
#include "route_sink.h"
#include "tam_rpd.h"
#include "textual.h"
#include "walk.h"

namespace rpdhost {
namespace {

class FloorSink : public RouteSink {
public:
    FloorSink(const Plugin &p, bool keys, bool pieces, bool policyText, bool verify)
        : p_(p), o_(p.ops()), keys_(keys), pieces_(pieces), policyText_(policyText), verify_(verify),
          text_(1u << 20) {}

    void Begin(const MessageView &, const PolicyView &pv) override {
        if (verify_ && pv.Accepted()) VerifyPolicy(pv);
    }

    void Route(const MessageView &, const PolicyView &pv, const RouteView &r) override {
        if (keys_) Text(MakeView(r.key, nullptr), TAM_RPD_STR_NLRI);
        if (verify_) VerifyRoute(pv, r);
    }

    void End(const MessageView &, const PolicyView &pv) override {
        if (!pv.Accepted()) return;
        const TAM_RPD_ROUTE_VIEW v = MakeView(nullptr, pv.attr);
        if (policyText_) Text(v, TAM_RPD_STR_WIDE_CMTY);
        if (pieces_)
            for (const DisplayPiece &piece : kDisplayPieces) {
                uint32_t c1 = 0, c2 = 0;
                char *cur = text_.data();
                o_.pfnFormatDisp(&v, piece.code, &cur, Plugin::TextRoom(v), &c1, &c2, p_.inst());
            }
    }

private:
    void Text(const TAM_RPD_ROUTE_VIEW &v, uint32_t type) {
        uint32_t c1 = 0, c2 = 0;
        o_.pfnData2Str(&v, type, text_.data(), Plugin::TextRoom(v), &c1, &c2, p_.inst());
    }

    void VerifyRoute(const PolicyView &pv, const RouteView &r) {
        const TAM_RPD_ROUTE_VIEW v = MakeView(r.key, r.announce ? pv.attr : nullptr);
        const uint16_t len = r.key->keyLen();
        int ctx = 0;
        uint8_t buf[64];
        const uint32_t type = r.announce ? p_.reachType() : p_.unreachType();
        uint8_t *w = buf;
        o_.pfnFormatPkt(&v, type, &w, sizeof(buf), &ctx);
        const uint8_t *cur = buf;
        uint32_t more = 0;
        Again(o_.pfnParsePkt(&cur, static_cast<uint32_t>(w - buf), type, again_.slot(), &more, p_.inst()), *r.key);
        w = buf;
        o_.pfnFormatMsg(&v, static_cast<uint16_t>(o_.aulMsgType[1]), &w, sizeof(buf), &ctx);
        Again(o_.pfnParseMsg(buf, static_cast<uint16_t>(w - buf), static_cast<uint16_t>(o_.aulMsgType[0]),
                             again_.slot(), p_.inst()),
              *r.key);
        w = buf;
        o_.pfnFormatHaMsg(&v, static_cast<uint16_t>(o_.aulHaMsgType[0]), &w, sizeof(buf), &ctx);
        Again(o_.pfnParseHaMsg(buf, static_cast<uint16_t>(w - buf), static_cast<uint16_t>(o_.aulHaMsgType[0]),
                               again_.slot(), p_.inst()),
              *r.key);
        w = buf;
        uint32_t w1 = 0, w2 = 0;
        o_.pfnFormatCfg(&v, TAM_RPD_CFG_TYPE_PREFIX, &w, sizeof(buf), &w1, &w2);
        Again(o_.pfnParseCfg(buf, sizeof(TAM_RPD_CFG_PREFIX), TAM_RPD_CFG_TYPE_PREFIX, again_.slot(), p_.inst()),
              *r.key);
        o_.pfnCmpData(r.key->key(), len, r.key->key(), len, TAM_RPD_CMP_KEY);
        if (!prev_.empty()) {
            o_.pfnCmpData(prev_.data(), static_cast<uint16_t>(prev_.size()), r.key->key(), len, TAM_RPD_CMP_KEY);
            o_.pfnCmpData(r.key->key(), len, prev_.data(), static_cast<uint16_t>(prev_.size()), TAM_RPD_CMP_KEY);
        }
        prev_.assign(r.key->key(), r.key->key() + len);
    }

    // The key decoded again, compared with the received one and released.
    void Again(uint32_t st, const OutBuf &key) {
        if (st == TAM_RPD_OK && again_.hasKey())
            o_.pfnCmpData(again_.key(), again_.keyLen(), key.key(), key.keyLen(), TAM_RPD_CMP_KEY);
        again_ = OutBuf();
    }

    void VerifyPolicy(const PolicyView &pv) {
        const OutBuf &attr = *pv.attr;
        const TAM_RPD_ROUTE_VIEW v = MakeView(nullptr, &attr);
        int ctx = 0;
        wire_.resize(pv.length + 64);
        auto same = [&](uint32_t st) {
            if (st == TAM_RPD_OK && again_.hasAttr())
                o_.pfnCmpData(again_.attr(), again_.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR);
            again_ = OutBuf();
        };
        uint8_t *w = wire_.data();
        o_.pfnFormatPkt(&v, p_.attrType(), &w, static_cast<uint32_t>(wire_.size()), &ctx);
        const uint8_t *cur = wire_.data();
        uint32_t more = 0;
        same(o_.pfnParsePkt(&cur, static_cast<uint32_t>(w - wire_.data()), p_.attrType(), again_.slot(), &more,
                            p_.inst()));
        if (pv.length <= 0xFFFF - 64) {
            const uint16_t type = static_cast<uint16_t>(o_.aulAttrMsgType[0]);
            w = wire_.data();
            o_.pfnFormatAttrMsg(&v, type, &w, static_cast<uint16_t>(wire_.size()), &ctx);
            same(o_.pfnParseAttrMsg(wire_.data(), static_cast<uint16_t>(w - wire_.data()), type, again_.slot(),
                                    p_.inst()));
        }
        same(o_.pfnSetAttr(&v, TAM_RPD_ATTR_TYPE_WC, 0, again_.slot(), p_.inst()));
        Text(v, TAM_RPD_STR_WIDE_CMTY);
        uint32_t w1 = 0, w2 = 0;
        uint8_t *text = reinterpret_cast<uint8_t *>(text_.data());
        o_.pfnFormatCfg(&v, TAM_RPD_CFG_TYPE_POLICY_TEXT, &text, Plugin::TextRoom(v), &w1, &w2);
        o_.pfnCmpData(attr.attr(), attr.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR);
    }

    const Plugin &p_;
    const TAM_RPD_PLUGIN_OPS &o_;
    const bool keys_, pieces_, policyText_, verify_;
    std::vector<char> text_;
    std::vector<uint8_t> wire_, prev_;
    OutBuf again_;
};

int Main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: rpd_floor quiet|json|plugin-text|text|display|verify PLUGIN FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    const bool text = mode == "text" || mode == "display" || mode == "verify";
    if (!text && mode != "quiet" && mode != "json" && mode != "plugin-text") {
        std::fprintf(stderr, "rpd_floor: no mode %s\n", argv[1]);
        return 2;
    }
    Plugin plugin;
    std::string err;
    if (!plugin.Load(argv[2], err)) {
        std::fprintf(stderr, "rpd_floor: %s\n", err.c_str());
        return 2;
    }
    FILE *in = std::fopen(argv[3], "rb");
    if (in == nullptr) {
        std::perror(argv[3]);
        return 2;
    }
    FloorSink sink(plugin, mode != "quiet", text, mode == "plugin-text", mode == "verify");
    RouteWalk walk(plugin, WalkOptions{}, sink);
    walk.OnInput(argv[3]);
    InputCounts counts;
    ReaderContext ctx(walk, counts);
    const bool ok = ReadInput(in, InputOptions{}, ctx, err);
    std::fclose(in);
    walk.OnCounts(counts);
    walk.Finish();
    if (!ok) {
        std::fprintf(stderr, "rpd_floor: %s\n", err.c_str());
        return 1;
    }
    // The routes seen, so that a run that read nothing cannot pass for a fast one.
    const Summary &s = walk.summary();
    std::printf("%llu routes\n", static_cast<unsigned long long>(s.announced + s.withdrawn));
    return 0;
}

}  // namespace
}  // namespace rpdhost

int main(int argc, char **argv) { return rpdhost::Main(argc, argv); }
