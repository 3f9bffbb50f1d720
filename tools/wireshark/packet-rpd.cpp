/* packet-rpd.cpp
 * BGP Routing Policy Distribution (AFI 1, SAFI 75) for Wireshark, decoded by
 * the RPD plug-in library itself, hosted as a BGP process hosts it.
 *
 * SPDX-License-Identifier: GPL-2.0-or-later
 *
 * A post-dissector: for every BGP UPDATE the BGP dissector found in a frame
 * (in TCP, reassembled across segments, or inside BMP), the whole message is
 * taken from where the BGP dissector read it and walked through the plug-in
 * by rpd-host's own host side. Routes, the policy and every refusal become
 * an "RPD" tree with filterable fields.
 */
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <epan/expert.h>
#include <epan/packet.h>
#include <epan/prefs.h>
#include <epan/proto.h>
#include <ws_version.h>
#include <wsutil/report_message.h>

#include "address.h"
#include "rpd_decoder.h"
#include "textual.h"
#include "wire.h"

// Wireshark's entry points (a const with "C" linkage named directly is external).
extern "C" WS_DLL_PUBLIC_DEF const char plugin_version[] = TAM_RPD_TOOL_VERSION;
extern "C" WS_DLL_PUBLIC_DEF const int plugin_want_major = WIRESHARK_VERSION_MAJOR;
extern "C" WS_DLL_PUBLIC_DEF const int plugin_want_minor = WIRESHARK_VERSION_MINOR;
extern "C" {
WS_DLL_PUBLIC void plugin_register(void);
}

namespace {

using rpdhost::RpdDecoder;
using rpdhost::RpdMessage;

int proto_rpd = -1;
int hf_rpd_action = -1, hf_rpd_policy_type = -1, hf_rpd_distinguisher = -1, hf_rpd_peer = -1,
    hf_rpd_key_text = -1;
int hf_rpd_policy = -1, hf_rpd_community = -1, hf_rpd_source_as = -1, hf_rpd_context_as = -1;
int hf_rpd_match_prefix = -1, hf_rpd_match_prefix_ge = -1, hf_rpd_match_prefix_le = -1, hf_rpd_match_as_path = -1,
    hf_rpd_match_community = -1;
int hf_rpd_action_med = -1, hf_rpd_action_as_path = -1, hf_rpd_action_community = -1;
int hf_rpd_piece = -1, hf_rpd_policy_text = -1;
int hf_bgp_marker = -1;
gint ett_rpd = -1, ett_rpd_route = -1, ett_rpd_policy = -1, ett_rpd_pieces = -1;
expert_field ei_rpd_refused = EI_INIT;

const char *pref_library = "";
gboolean pref_plugin_texts = FALSE;
guint pref_wc_code = rpdwire::kAttrWideCommunity;

const value_string kCommunityNames[] = {
    {rpdwire::kMatchAndSet, "MATCH AND SET"},
    {rpdwire::kMatchAndNoAdv, "MATCH AND NOADV"},
    {0, nullptr},
};

std::unique_ptr<RpdDecoder> g_decoder;
bool g_loadTried = false;

// This object's own path, links resolved (a personal plug-in folder may
// link to an install), from which the library of the same install is found.
std::string OwnPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&plugin_register), &info) == 0 || info.dli_fname == nullptr) return "";
    char *real = realpath(info.dli_fname, nullptr);
    if (real == nullptr) return info.dli_fname;
    std::string path(real);
    free(real);
    return path;
}

// `path` without its last `n` components ("" when it has fewer).
std::string Up(std::string path, int n) {
    for (; n > 0; --n) {
        const size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return "";
        path.resize(slash);
    }
    return path;
}

// The library: the preference when set, else the one of this install
// (lib/<multiarch>/wireshark/plugins/4.0/epan/rpd.so is five steps below
// lib/<multiarch>), else the loader's search by soname.
std::string LibraryPath() {
    if (pref_library != nullptr && *pref_library != '\0') return pref_library;
    const std::string dir = Up(OwnPath(), 5);
    const std::string installed = dir + "/" TAM_RPD_SONAME;
    return !dir.empty() && access(installed.c_str(), R_OK) == 0 ? installed : TAM_RPD_SONAME;
}

// The plug-in binds to the host services this object carries: they must be
// in the global scope before it is loaded, and Wireshark loads its plug-ins
// locally.
bool ExposeHostServices(std::string &err) {
    const std::string self = OwnPath();
    if (self.empty() || dlopen(self.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL) == nullptr) {
        const char *why = dlerror();
        err = std::string("cannot offer the host services to the plug-in: ") + (why != nullptr ? why : "no path");
        return false;
    }
    return true;
}

RpdDecoder *Decoder() {
    if (g_loadTried) return g_decoder.get();
    g_loadTried = true;
    std::string err;
    const std::string path = LibraryPath();
    if (pref_wc_code > 255) {
        report_failure("RPD: the Wide Community attribute code is one byte: %u", pref_wc_code);
        return nullptr;
    }
    auto d = std::make_unique<RpdDecoder>();
    if (!ExposeHostServices(err) || !d->Load(path, static_cast<uint8_t>(pref_wc_code), err)) {
        report_failure("RPD: %s: %s", path.c_str(), err.c_str());
        return nullptr;
    }
    g_decoder = std::move(d);
    return g_decoder.get();
}

void ApplyPrefs() {
    g_decoder.reset();
    g_loadTried = false;
}

// The fields of a policy the diagnostic reading read, each at its bytes.
void AddReading(proto_tree *pt, tvbuff_t *tvb, gint at, const rpdhost::RpdPolicy &p) {
    const rpdhost::WcPolicy &w = *p.wire;
    proto_tree_add_uint(pt, hf_rpd_community, tvb, at + 6, 4, w.community);
    proto_tree_add_uint(pt, hf_rpd_source_as, tvb, at + 10, 4, w.sourceAs);
    proto_tree_add_uint(pt, hf_rpd_context_as, tvb, at + 14, 4, w.contextAs);
    for (const rpdhost::WcAtom &a : w.atoms) {
        const gint head = at + static_cast<gint>(a.offset);
        switch (a.kind) {
            case rpdhost::WcAtom::Prefixes:
                for (size_t i = 0; i < a.prefixes.size(); ++i) {
                    const rpdhost::WcPrefixEntry &e = a.prefixes[i];
                    const gint entry = head + 3 + static_cast<gint>(8 * i);
                    proto_item *ei = proto_tree_add_string(pt, hf_rpd_match_prefix, tvb, entry, 8,
                                                           rpdwire::Ipv4PrefixText(e.addr, e.mask).c_str());
                    proto_tree *et = proto_item_add_subtree(ei, ett_rpd_policy);
                    if (e.MatchType() & 1) proto_tree_add_uint(et, hf_rpd_match_prefix_ge, tvb, entry + 6, 1, e.ge);
                    if (e.MatchType() & 2) proto_tree_add_uint(et, hf_rpd_match_prefix_le, tvb, entry + 7, 1, e.le);
                }
                break;
            case rpdhost::WcAtom::AsPath:
                proto_tree_add_string(pt, hf_rpd_match_as_path, tvb, head + 3, static_cast<gint>(a.asPath.size()),
                                      a.asPath.c_str());
                break;
            case rpdhost::WcAtom::Communities:
                for (size_t i = 0; i < a.communities.values.size(); ++i)
                    proto_tree_add_string(pt, hf_rpd_match_community, tvb, head + 4 + static_cast<gint>(4 * i), 4,
                                          rpdhost::CommunityText(a.communities.values[i]).c_str());
                break;
        }
    }
    for (const rpdhost::WcAction &a : w.actions) {
        const gint head = at + static_cast<gint>(a.offset);
        switch (a.kind) {
            case rpdhost::WcAction::Med:
                proto_tree_add_string(pt, hf_rpd_action_med, tvb, head + 3, 5, p.medText.c_str());
                break;
            case rpdhost::WcAction::AsPathAdd:
                proto_tree_add_string(pt, hf_rpd_action_as_path, tvb, head + 3, static_cast<gint>(5 * a.asPath.size()),
                                      p.asPathText.c_str());
                break;
            case rpdhost::WcAction::CommunityAdd:
                for (size_t i = 0; i < a.communities.values.size(); ++i)
                    proto_tree_add_string(pt, hf_rpd_action_community, tvb, head + 4 + static_cast<gint>(4 * i), 4,
                                          rpdhost::CommunityText(a.communities.values[i]).c_str());
                break;
        }
    }
}

void AddPolicy(proto_tree *tree, tvbuff_t *tvb, gint base, const rpdhost::RpdPolicy &p) {
    const gint at = base + static_cast<gint>(p.offset);
    proto_item *pi = proto_tree_add_item(tree, hf_rpd_policy, tvb, at, static_cast<gint>(p.length), ENC_NA);
    proto_tree *pt = proto_item_add_subtree(pi, ett_rpd_policy);
    if (p.wire != nullptr) AddReading(pt, tvb, at, p);  // else only the plug-in's pieces show
    if (p.pieces.empty()) return;  // the plug-in's own texts were not asked for
    // Its policy text, a line each (its NUL-separated items too).
    proto_tree *xt = proto_tree_add_subtree(pt, tvb, at, static_cast<gint>(p.length), ett_rpd_pieces, nullptr,
                                            "Plug-in policy text");
    if (p.textStatus != TAM_RPD_OK)
        proto_tree_add_string_format(xt, hf_rpd_policy_text, tvb, at, 0, "", "(%s)", TAM_RPD_StatusName(p.textStatus));
    rpdhost::EachLine(p.text, [&](std::string_view line) {
        const std::string l(line);
        proto_tree_add_string_format(xt, hf_rpd_policy_text, tvb, at, 0, l.c_str(), "%s", l.c_str());
    });
    // Its display pieces under their names, each on one line (its lines
    // joined by "; ", their padding folded).
    proto_tree *dt = proto_tree_add_subtree(pt, tvb, at, static_cast<gint>(p.length), ett_rpd_pieces, nullptr,
                                            "Plug-in display pieces");
    std::string joined;
    for (const rpdhost::RpdPiece &x : p.pieces) {
        if (x.status != TAM_RPD_OK) {
            proto_tree_add_string_format(dt, hf_rpd_piece, tvb, at, 0, "", "[%s] %s", x.name, TAM_RPD_StatusName(x.status));
            continue;
        }
        joined.clear();
        rpdhost::EachItem(x.text, [&](std::string_view line) {
            if (!joined.empty()) joined += "; ";
            for (const char c : line)
                if (c != ' ' || joined.empty() || joined.back() != ' ') joined += c;
        });
        if (!joined.empty())
            proto_tree_add_string_format(dt, hf_rpd_piece, tvb, at, 0, joined.c_str(), "[%s] %s", x.name, joined.c_str());
    }
}

void AddMessage(proto_tree *tree, packet_info *pinfo, tvbuff_t *tvb, gint start, gint len, const RpdMessage &r) {
    proto_item *ti = proto_tree_add_item(tree, proto_rpd, tvb, start, len, ENC_NA);
    proto_tree *rt = proto_item_add_subtree(ti, ett_rpd);
    for (const rpdhost::RpdRoute &route : r.routes) {
        const char *action = route.announce ? "announce" : "withdraw";
        const gint at = start + static_cast<gint>(route.offset), n = static_cast<gint>(route.length);
        proto_item *ri = proto_tree_add_string_format(rt, hf_rpd_key_text, tvb, at, n, route.keyText.c_str(), "%s %s",
                                                      action, route.keyText.c_str());
        // The key's fields, for filters and columns; the line above already shows them.
        proto_tree *kt = proto_item_add_subtree(ri, ett_rpd_route);
        proto_item_set_hidden(proto_tree_add_string(kt, hf_rpd_action, tvb, at, n, action));
        proto_item_set_hidden(proto_tree_add_uint(kt, hf_rpd_policy_type, tvb, at + 1, 1, route.key.policyType));
        proto_item_set_hidden(proto_tree_add_uint(kt, hf_rpd_distinguisher, tvb, at + 2, 4, route.key.distinguisher));
        proto_item_set_hidden(proto_tree_add_ipv4(kt, hf_rpd_peer, tvb, at + 6, 4, g_htonl(route.key.peer)));
    }
    if (r.policy.present && r.policy.accepted) AddPolicy(rt, tvb, start, r.policy);
    for (const rpdhost::RpdRefusal &x : r.refusals) {
        const gint at = x.hasByte && x.messageByte < static_cast<size_t>(len) ? start + static_cast<gint>(x.messageByte) : start;
        proto_tree_add_expert_format(rt, pinfo, &ei_rpd_refused, tvb, at, x.hasByte ? 1 : len, "%s", x.what.c_str());
    }
    proto_item_append_text(ti, ", %u route%s%s", static_cast<unsigned>(r.routes.size()), r.routes.size() == 1 ? "" : "s",
                           r.refusals.empty() ? "" : ", refused");
}

// A field a display filter or column names (not merely one of a shown
// tree; tshark's -e fields do not count here, they make the tree shown).
bool Named(int hf) { return proto_registrar_get_nth(static_cast<guint>(hf))->ref_type != HF_REF_TYPE_NONE; }

int DissectRpd(tvbuff_t *tvb, packet_info *pinfo, proto_tree *tree, void *) {
    // Nothing to do unless the tree is shown or a filter, column or field asks for RPD.
    if (tree == nullptr || hf_bgp_marker < 0 || !proto_field_is_referenced(tree, proto_rpd)) return 0;
    GPtrArray *markers = proto_get_finfo_ptr_array(tree, hf_bgp_marker);
    if (markers == nullptr || markers->len == 0) return 0;
    RpdDecoder *d = Decoder();
    if (d == nullptr) return 0;
    // The texts only when the tree is shown or a filter, column or field reads them.
    rpdhost::RpdTexts texts;
    texts.keys = proto_field_is_referenced(tree, hf_rpd_key_text) != FALSE;
    texts.plugin = pref_plugin_texts ? proto_field_is_referenced(tree, hf_rpd_piece) != FALSE
                                     : Named(hf_rpd_piece) || Named(hf_rpd_policy_text);
    texts.actions = proto_field_is_referenced(tree, hf_rpd_action_med) != FALSE ||
                    proto_field_is_referenced(tree, hf_rpd_action_as_path) != FALSE;
    int found = 0;
    for (guint i = 0; i < markers->len; ++i) {
        const auto *fi = static_cast<const field_info *>(g_ptr_array_index(markers, i));
        tvbuff_t *mt = fi->ds_tvb;
        const gint start = fi->start;
        // The whole message must be in the bytes the BGP dissector read it from.
        if (mt == nullptr || tvb_captured_length_remaining(mt, start) < 19) continue;
        const guint16 len = tvb_get_ntohs(mt, start + 16);
        if (tvb_get_guint8(mt, start + 18) != rpdwire::kBgpUpdate || len < 19 ||
            tvb_captured_length_remaining(mt, start) < len)
            continue;
        const RpdMessage &r = d->Decode(tvb_get_ptr(mt, start, len), len, pinfo->num, texts);
        if (r.Empty()) continue;
        AddMessage(tree, pinfo, mt, start, len, r);
        ++found;
    }
    if (found > 0) col_append_str(pinfo->cinfo, COL_PROTOCOL, "/RPD");
    return found > 0 ? static_cast<int>(tvb_captured_length(tvb)) : 0;
}

void RegisterRpd() {
    static hf_register_info hf[] = {
        {&hf_rpd_key_text, {"Key text", "rpd.key_text", FT_STRING, BASE_NONE, nullptr, 0, "The plug-in's text of the route key", HFILL}},
        {&hf_rpd_action, {"Action", "rpd.action", FT_STRING, BASE_NONE, nullptr, 0, "announce or withdraw", HFILL}},
        {&hf_rpd_policy_type, {"Policy type", "rpd.policy_type", FT_UINT8, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_distinguisher, {"Distinguisher", "rpd.distinguisher", FT_UINT32, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_peer, {"Peer address", "rpd.peer", FT_IPv4, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_policy, {"Policy", "rpd.policy", FT_NONE, BASE_NONE, nullptr, 0, "The Wide Community attribute", HFILL}},
        {&hf_rpd_community, {"Community", "rpd.community", FT_UINT32, BASE_HEX, VALS(kCommunityNames), 0, nullptr, HFILL}},
        {&hf_rpd_source_as, {"Source AS", "rpd.source_as", FT_UINT32, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_context_as, {"Context AS", "rpd.context_as", FT_UINT32, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_match_prefix, {"Match prefix", "rpd.match.prefix", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_match_prefix_ge, {"Greater-equal", "rpd.match.prefix.ge", FT_UINT8, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_match_prefix_le, {"Less-equal", "rpd.match.prefix.le", FT_UINT8, BASE_DEC, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_match_as_path, {"Match AS path", "rpd.match.as_path", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_match_community, {"Match community", "rpd.match.community", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_action_med, {"MED", "rpd.action.med", FT_STRING, BASE_NONE, nullptr, 0, "As the plug-in renders it", HFILL}},
        {&hf_rpd_action_as_path, {"AS path add", "rpd.action.as_path", FT_STRING, BASE_NONE, nullptr, 0, "As the plug-in renders it", HFILL}},
        {&hf_rpd_action_community, {"Community add", "rpd.action.community", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_piece, {"Display piece line", "rpd.piece", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
        {&hf_rpd_policy_text, {"Policy text line", "rpd.policy_text", FT_STRING, BASE_NONE, nullptr, 0, nullptr, HFILL}},
    };
    static gint *ett[] = {&ett_rpd, &ett_rpd_route, &ett_rpd_policy, &ett_rpd_pieces};
    static ei_register_info ei[] = {
        {&ei_rpd_refused, {"rpd.refused", PI_MALFORMED, PI_ERROR, "Refused by the RPD plug-in", EXPFILL}},
    };
    proto_rpd = proto_register_protocol("BGP Routing Policy Distribution", "RPD", "rpd");
    proto_register_field_array(proto_rpd, hf, G_N_ELEMENTS(hf));
    proto_register_subtree_array(ett, G_N_ELEMENTS(ett));
    expert_register_field_array(expert_register_protocol(proto_rpd), ei, G_N_ELEMENTS(ei));
    module_t *m = prefs_register_protocol(proto_rpd, ApplyPrefs);
    prefs_register_filename_preference(m, "library", "RPD plug-in library",
                                       "The libtam_rpd.so.0 to host (default: the one installed with this dissector)",
                                       &pref_library, FALSE);
    prefs_register_uint_preference(m, "wide_community_code", "Wide Community attribute code",
                                   "Path attribute code of the Wide Community attribute (default 129)", 10, &pref_wc_code);
    prefs_register_bool_preference(m, "plugin_texts", "Show the plug-in's own policy texts",
                                   "Each policy's text and seven display pieces as the plug-in renders them, in "
                                   "the packet details and the rpd.policy_text and rpd.piece fields (eight more "
                                   "plug-in decodes per policy; a display filter naming either field gets them "
                                   "either way)",
                                   &pref_plugin_texts);
}

void HandoffRpd() {
    dissector_handle_t h = create_dissector_handle(DissectRpd, proto_rpd);
    register_postdissector(h);
    hf_bgp_marker = proto_registrar_get_id_byname("bgp.marker");
    if (hf_bgp_marker < 0) return;
    GArray *wanted = g_array_new(FALSE, FALSE, sizeof(int));
    g_array_append_val(wanted, hf_bgp_marker);
    set_postdissector_wanted_hfids(h, wanted);
}

}  // namespace

extern "C" void plugin_register(void) {
    static proto_plugin plugin;
    plugin.register_protoinfo = RegisterRpd;
    plugin.register_handoff = HandoffRpd;
    proto_register_plugin(&plugin);
}
