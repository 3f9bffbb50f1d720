#include "verifier.h"

#include <cstring>
#include <vector>

#include "summary.h"
#include "update.h"
#include "wc_writer.h"

namespace rpdhost {

namespace {

constexpr uint32_t kTextAttr = TAM_RPD_STR_WIDE_CMTY;

// The policy as the tool's writer puts it: the decoded fields, none of the
// freedoms (container Length computed, no bytes after the last community
// value, no trailing action header).
rpdwire::Policy WriterPolicy(const WcPolicy &w) {
    rpdwire::Policy p;
    p.containerType = w.containerType;
    p.flags = w.flags;
    p.hopCount = w.hopCount;
    p.community = w.community;
    p.srcAs = w.sourceAs;
    p.contextAs = w.contextAs;
    p.atoms.reserve(w.atoms.size());
    p.actions.reserve(w.actions.size());
    for (const WcAtom &a : w.atoms) {
        switch (a.kind) {
            case WcAtom::Prefixes: {
                std::vector<rpdwire::PrefixEntry> e;
                e.reserve(a.prefixes.size());
                for (const WcPrefixEntry &x : a.prefixes)
                    e.push_back({x.addr, x.mask, x.ge, x.le, x.MatchType(), static_cast<uint8_t>(x.firstOctet & 15)});
                p.atoms.push_back(rpdwire::PrefixAtom(e));
                break;
            }
            case WcAtom::AsPath: p.atoms.push_back(rpdwire::AsPathAtom(a.asPath)); break;
            case WcAtom::Communities:
                p.atoms.push_back(rpdwire::CmtyAtom(a.communities.values, a.communities.lead));
                break;
        }
    }
    for (const WcAction &a : w.actions) {
        switch (a.kind) {
            case WcAction::Med: p.actions.push_back(rpdwire::MedAction(a.medOperation, a.medValue)); break;
            case WcAction::AsPathAdd: {
                std::vector<rpdwire::AsPathRepeat> e;
                e.reserve(a.asPath.size());
                for (const WcAsPathAdd &x : a.asPath) e.push_back({x.as, x.repeat});
                p.actions.push_back(rpdwire::AsPathAction(e));
                break;
            }
            case WcAction::CommunityAdd:
                p.actions.push_back(rpdwire::CmtyAction(a.communities.values, a.communities.lead));
                break;
        }
    }
    return p;
}

}  // namespace

void Verifier::Diff(const MessageView &mv, const std::string &what) {
    ProblemView p = ProblemAbout(mv);
    p.what = "verify: " + what;
    p.status = "verify";
    problems_.Report(std::move(p));
}

void Verifier::Warn(const MessageView &mv, const std::string &what) {
    ProblemView p = ProblemAbout(mv);
    p.what = what;
    p.status = "warning";
    problems_.Report(std::move(p));
}

void Verifier::Tally(Summary &s) const {
    s.verify = true;
    s.verified += verified_;
}

void Verifier::Route(const MessageView &mv, const PolicyView &pv, const RouteView &r) {
    ++verified_;
    const Message &m = mv.m;
    const OutBuf *attr = r.announce ? pv.attr : nullptr;
    const TAM_RPD_PLUGIN_OPS &o = plugin_.ops();
    TAM_RPD_INSTANCE *inst = plugin_.inst();
    const TAM_RPD_ROUTE_VIEW view = MakeView(r.key, attr);
    int ctx = 0;
    auto sameKey = [&](const OutBuf &again, const char *path) {
        if (!again.hasKey() || again.keyLen() != r.key->keyLen() ||
            o.pfnCmpData(again.key(), again.keyLen(), r.key->key(), r.key->keyLen(), TAM_RPD_CMP_KEY) != 0 ||
            std::memcmp(again.key(), r.key->key(), r.key->keyLen()) != 0)
            Diff(mv, std::string(path) + ": the key decoded again differs from the received one");
    };

    // Packet: the NLRI bytes must come back exactly as received.
    uint8_t wire[64];
    uint8_t *wr = wire;
    const uint32_t pktType = r.announce ? plugin_.reachType() : plugin_.unreachType();
    uint32_t st = o.pfnFormatPkt(&view, pktType, &wr, sizeof(wire), &ctx);
    const size_t n = static_cast<size_t>(wr - wire);
    if (st != TAM_RPD_OK) {
        Diff(mv, std::string("packet format of the key: ") + TAM_RPD_StatusName(st));
    } else if (n != r.length || std::memcmp(wire, m.bytes.data() + r.offset, n) != 0) {
        Diff(mv, "packet format of the key gives other bytes than the received NLRI");
    } else {
        const uint8_t *cur = wire;
        uint32_t more = 0;
        OutBuf again;
        st = o.pfnParsePkt(&cur, static_cast<uint32_t>(n), pktType, again.slot(), &more, inst);
        if (st != TAM_RPD_OK) Diff(mv, std::string("packet parse of the formatted key: ") + TAM_RPD_StatusName(st));
        else sameKey(again, "packet");
    }

    // BGPI and HA route-prefix messages.
    auto viaMessage = [&](TAM_RPD_PFN_FORMAT_MSG format, uint16_t fmtType, TAM_RPD_PFN_PARSE_MSG parse,
                          uint16_t parseType, const char *path) {
        if (format == nullptr || parse == nullptr) return;
        uint8_t body[64];
        uint8_t *w = body;
        uint32_t s = format(&view, fmtType, &w, sizeof(body), &ctx);
        if (s != TAM_RPD_OK) {
            Diff(mv, std::string(path) + " format: " + TAM_RPD_StatusName(s));
            return;
        }
        OutBuf again;
        s = parse(body, static_cast<uint16_t>(w - body), parseType, again.slot(), inst);
        if (s != TAM_RPD_OK) Diff(mv, std::string(path) + " parse: " + TAM_RPD_StatusName(s));
        else sameKey(again, path);
    };
    viaMessage(o.pfnFormatMsg, static_cast<uint16_t>(o.aulMsgType[1]), o.pfnParseMsg,
               static_cast<uint16_t>(o.aulMsgType[0]), "BGPI message");
    viaMessage(o.pfnFormatHaMsg, static_cast<uint16_t>(o.aulHaMsgType[0]), o.pfnParseHaMsg,
               static_cast<uint16_t>(o.aulHaMsgType[0]), "HA message");

    // Configuration record.
    if (o.pfnFormatCfg != nullptr && o.pfnParseCfg != nullptr) {
        uint8_t rec[64];
        uint8_t *w = rec;
        uint32_t w1 = 0, w2 = 0;
        st = o.pfnFormatCfg(&view, TAM_RPD_CFG_TYPE_PREFIX, &w, sizeof(rec), &w1, &w2);
        if (st != TAM_RPD_OK) {
            Diff(mv, std::string("configuration record format: ") + TAM_RPD_StatusName(st));
        } else {
            OutBuf again;
            // The record always starts where the write position was; it is not advanced.
            st = o.pfnParseCfg(rec, sizeof(TAM_RPD_CFG_PREFIX), TAM_RPD_CFG_TYPE_PREFIX, again.slot(), inst);
            if (st != TAM_RPD_OK) Diff(mv, std::string("configuration record parse: ") + TAM_RPD_StatusName(st));
            else sameKey(again, "configuration record");
        }
    }

    // Order: a key equals itself, and the order against the previous route is antisymmetric.
    const uint16_t len = r.key->keyLen();
    if (o.pfnCmpData(r.key->key(), len, r.key->key(), len, TAM_RPD_CMP_KEY) != 0)
        Diff(mv, "the key does not compare equal to itself");
    if (!prevKey_.empty()) {
        const uint8_t *prev = prevKey_.data();
        const uint16_t prevLen = static_cast<uint16_t>(prevKey_.size());
        const int32_t ab = o.pfnCmpData(prev, prevLen, r.key->key(), len, TAM_RPD_CMP_KEY);
        const int32_t ba = o.pfnCmpData(r.key->key(), len, prev, prevLen, TAM_RPD_CMP_KEY);
        if (ab != -ba || ab == TAM_RPD_CMP_FAIL) Diff(mv, "key order against the previous route is not antisymmetric");
    }
    prevKey_.assign(r.key->key(), r.key->key() + len);
}

void Verifier::Begin(const MessageView &mv, const PolicyView &p) {
    if (!p.Accepted()) return;
    const Message &m = mv.m;
    const OutBuf &attr = *p.attr;
    const Span value{p.offset, p.length, true};
    const TAM_RPD_PLUGIN_OPS &o = plugin_.ops();
    TAM_RPD_INSTANCE *inst = plugin_.inst();
    const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, &attr);
    const uint8_t *orig = m.bytes.data() + value.offset;
    int ctx = 0;
    auto sameAttr = [&](const OutBuf &again, const char *path) {
        if (!again.hasAttr() ||
            o.pfnCmpData(again.attr(), again.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR) != 0)
            Diff(mv, std::string(path) + ": the policy decoded again differs from the received one");
    };
    std::vector<uint8_t> &buf = formatted_;
    buf.resize(value.length + 64);

    // Packet attribute value.
    uint8_t *w = buf.data();
    uint32_t st = o.pfnFormatPkt(&view, plugin_.attrType(), &w, static_cast<uint32_t>(buf.size()), &ctx);
    size_t n = static_cast<size_t>(w - buf.data());
    if (st != TAM_RPD_OK) {
        Diff(mv, std::string("packet format of the policy: ") + TAM_RPD_StatusName(st));
    } else if (n != value.length || std::memcmp(buf.data(), orig, n) != 0) {
        Diff(mv, "packet format of the policy gives other bytes than the received attribute");
    } else {
        const uint8_t *cur = buf.data();
        uint32_t more = 0;
        OutBuf again;
        st = o.pfnParsePkt(&cur, static_cast<uint32_t>(n), plugin_.attrType(), again.slot(), &more, inst);
        if (st != TAM_RPD_OK) Diff(mv, std::string("packet parse of the formatted policy: ") + TAM_RPD_StatusName(st));
        else sameAttr(again, "packet");
    }

    // Attribute message.
    if (o.pfnFormatAttrMsg != nullptr && o.pfnParseAttrMsg != nullptr && value.length <= 0xFFFF - 64) {
        const uint16_t type = static_cast<uint16_t>(o.aulAttrMsgType[0]);
        w = buf.data();
        st = o.pfnFormatAttrMsg(&view, type, &w, static_cast<uint16_t>(buf.size()), &ctx);
        n = static_cast<size_t>(w - buf.data());
        if (st != TAM_RPD_OK) {
            Diff(mv, std::string("attribute message format: ") + TAM_RPD_StatusName(st));
        } else if (n != value.length || std::memcmp(buf.data(), orig, n) != 0) {
            Diff(mv, "attribute message gives other bytes than the received attribute");
        } else {
            OutBuf again;
            st = o.pfnParseAttrMsg(buf.data(), static_cast<uint16_t>(n), type, again.slot(), inst);
            if (st != TAM_RPD_OK) Diff(mv, std::string("attribute message parse: ") + TAM_RPD_StatusName(st));
            else sameAttr(again, "attribute message");
        }
    }

    // Set-attribute hands the same policy back.
    if (o.pfnSetAttr != nullptr) {
        OutBuf again;
        st = o.pfnSetAttr(&view, TAM_RPD_ATTR_TYPE_WC, 0, again.slot(), inst);
        if (st != TAM_RPD_OK) Diff(mv, std::string("set attribute: ") + TAM_RPD_StatusName(st));
        else sameAttr(again, "set attribute");
    }

    // Configuration text is the policy text.
    if (o.pfnFormatCfg != nullptr) {
        std::string_view text, cfgText;
        plugin_.Text(view, kTextAttr, text);
        text_.assign(text);  // the next rendering reuses the buffer
        st = plugin_.CfgText(view, cfgText);
        if (st != TAM_RPD_OK) Diff(mv, std::string("configuration text: ") + TAM_RPD_StatusName(st));
        else if (cfgText != text_) Diff(mv, "configuration text differs from the policy text");
    }
    if (o.pfnCmpData(attr.attr(), attr.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR) != 0)
        Diff(mv, "the policy does not compare equal to itself");
    Rewrite(mv, p);
}

void Verifier::Rewrite(const MessageView &mv, const PolicyView &p) {
    if (p.wire == nullptr) return;
    const Message &m = mv.m;
    const WcPolicy &w = *p.wire;
    const uint8_t *got = m.bytes.data() + p.offset;
    rpdwire::Bytes &again = rewritten_;
    rpdwire::Encode(WriterPolicy(w), again);
    if (again.size() == p.length && std::memcmp(again.data(), got, p.length) == 0) return;
    // Name the freedoms taken; whatever else differs is reported by its first byte.
    const size_t expectLen = p.length >= 6 ? p.length - 6 : 0;
    bool named = false;
    if (w.containerLength != expectLen) {
        Warn(mv, "container Length field is " + std::to_string(w.containerLength) + ", the value after it is " +
                     std::to_string(expectLen) + " bytes");
        named = true;
    }
    for (const WcAction &a : w.actions)
        if (a.ignoredBytes > 0) {
            Warn(mv, std::to_string(a.ignoredBytes) + " stray bytes after the last community value of the community action "
                     "at attribute byte " + std::to_string(a.offset) + " (ignored)");
            named = true;
        }
    if (w.trailingActionHeader) {
        Warn(mv, "the last action header has no value (ignored)");
        named = true;
    }
    if (named) return;
    size_t at = 0;
    while (at < again.size() && at < p.length && again[at] == got[at]) ++at;
    Warn(mv, "written again from its fields, the policy differs from the received bytes at attribute byte " +
                 std::to_string(at));
}

}  // namespace rpdhost
