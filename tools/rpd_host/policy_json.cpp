#include "policy_json.h"

#include "report.h"

namespace rpdhost {

namespace {

constexpr uint32_t kMatchAndSet = 0x90000003u, kMatchAndNoAdv = 0x90000004u;

// Values as "high:low"; a group with a leading octet other than 0 as an object that keeps it.
void Communities(JsonWriter &j, const WcCommunities &c, size_t ignored, const uint8_t *raw, size_t tail) {
    const bool object = c.lead != 0 || ignored > 0;
    if (object) j.Open().Field("lead", c.lead).Key("values");
    j.OpenArray();
    for (const uint32_t v : c.values) j.Str(CommunityText(v));
    j.CloseArray();
    if (ignored > 0) j.Field("ignored", HexText(raw + tail, ignored));
    if (object) j.Close();
}

const char *AtomName(WcAtom::Kind k) {
    return k == WcAtom::Prefixes ? "prefixes" : k == WcAtom::AsPath ? "as_path" : "communities";
}
const char *ActionName(WcAction::Kind k) {
    return k == WcAction::Med ? "med" : k == WcAction::AsPathAdd ? "as_path_add" : "community_add";
}

// Whether the atoms and actions stand in the order `encode` writes them by default.
bool CanonicalOrder(const WcPolicy &p) {
    for (size_t i = 1; i < p.atoms.size(); ++i)
        if (p.atoms[i].kind < p.atoms[i - 1].kind) return false;
    for (size_t i = 1; i < p.actions.size(); ++i)
        if (p.actions[i].kind < p.actions[i - 1].kind) return false;
    return true;
}

}  // namespace

void WritePolicyJson(JsonWriter &j, const WcPolicy &p, const uint8_t *raw, size_t n) {
    j.Open().Field("container_type", p.containerType).Field("flags", p.flags).Field("hop_count", p.hopCount);
    j.Field("container_length", p.containerLength);
    if (p.community == kMatchAndSet) j.Field("community", "MATCH AND SET");
    else if (p.community == kMatchAndNoAdv) j.Field("community", "MATCH AND NOADV");
    else j.Field("community", p.community);
    j.Field("source_as", p.sourceAs).Field("context_as", p.contextAs);

    j.Key("match").Open();
    for (const WcAtom::Kind kind : {WcAtom::Prefixes, WcAtom::AsPath, WcAtom::Communities}) {
        bool open = false;
        for (const WcAtom &a : p.atoms) {
            if (a.kind != kind) continue;
            if (!open) j.Key(AtomName(kind)).OpenArray();
            open = true;
            if (kind == WcAtom::Prefixes) {
                for (const WcPrefixEntry &e : a.prefixes) {
                    j.Open().Field("prefix", Ipv4Text(e.addr) + "/" + std::to_string(e.mask));
                    if (e.MatchType() & 1) j.Field("greater_equal", e.ge);
                    if (e.MatchType() & 2) j.Field("less_equal", e.le);
                    if ((e.firstOctet & 15) != 0) j.Field("low_bits", e.firstOctet & 15);
                    j.Close();
                }
            } else if (kind == WcAtom::AsPath) {
                j.Str(a.asPath);
            } else {
                Communities(j, a.communities, 0, raw, 0);
            }
        }
        if (open) j.CloseArray();
    }
    j.Close();

    j.Key("actions").Open();
    for (const WcAction &a : p.actions) {
        j.Key(ActionName(a.kind));
        switch (a.kind) {
            case WcAction::Med:
                j.Open().Key("operation");
                if (a.medOperation == 1) j.Str("add");
                else if (a.medOperation == 2) j.Str("subtract");
                else if (a.medOperation == 0) j.Str("set");
                else j.Uint(a.medOperation);  // another code that also sets
                j.Field("value", a.medValue).Close();
                break;
            case WcAction::AsPathAdd:
                j.OpenArray();
                for (const WcAsPathAdd &e : a.asPath) j.Open().Field("as", e.as).Field("repeat", e.repeat).Close();
                j.CloseArray();
                break;
            case WcAction::CommunityAdd:
                Communities(j, a.communities, a.ignoredBytes, raw, a.offset + 3 + 1 + 4 * a.communities.values.size());
                break;
        }
    }
    j.Close();
    if (!CanonicalOrder(p)) {
        j.Key("wire_order").OpenArray();
        for (const WcAtom &a : p.atoms) j.Str(AtomName(a.kind));
        for (const WcAction &a : p.actions) j.Str(ActionName(a.kind));
        j.CloseArray();
    }
    if (p.trailingActionHeader) {
        const size_t at = n - 3;
        j.Key("trailing_action_header").Open().Field("type", raw[at]).Field("length", static_cast<unsigned>(raw[at + 1] << 8 | raw[at + 2])).Close();
    }
    j.Field("raw", HexText(raw, n)).Close();
}

}  // namespace rpdhost
