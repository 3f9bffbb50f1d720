#include "report.h"

#include <cstring>
#include <ctime>

namespace rpdhost {

namespace {

// Items of a piece's text: separated by NULs and line feeds, and by blanks too when asked.
std::vector<std::string> Split(const std::string &text, bool onBlanks) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\0' || c == '\n' || (onBlanks && c == ' ')) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool Number(const std::string &s, uint64_t &v) {
    if (s.empty() || s.size() > 10) return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

}  // namespace

const DisplayPiece kDisplayPieces[7] = {
    {0x01, "container"},   {0x02, "as_path_filters"}, {0x04, "community_filters"}, {0x08, "prefix_list"},
    {0x10, "med_action"},  {0x20, "as_path_action"},  {0x40, "community_action"},
};

std::string Ipv4Text(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
           "." + std::to_string(a & 255);
}

std::string HexText(const uint8_t *p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s(n * 2, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = kDigits[p[i] >> 4];
        s[2 * i + 1] = kDigits[p[i] & 15];
    }
    return s;
}

std::string TimeText(int64_t sec, uint32_t usec) {
    const time_t t = static_cast<time_t>(sec);
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02dT%02d:%02d:%02d.%06uZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, usec % 1000000u);
    return buf;
}

Json KeyJson(const uint8_t *key, size_t len) {
    Json j;
    if (len != sizeof(TAM_RPD_ROUTE_KEY)) {
        j["length"] = len;
        return j;
    }
    TAM_RPD_ROUTE_KEY k;
    std::memcpy(&k, key, sizeof(k));
    uint32_t peer;
    std::memcpy(&peer, k.aucPeerAddr, 4);
    j["policy_type"] = k.ucPolicyType;
    j["address_length"] = k.ucAddrLen;
    j["distinguisher"] = static_cast<uint32_t>(k.ulDistinguisher);
    j["peer_address"] = Ipv4Text(peer);
    return j;
}

// AS-path expressions may hold blanks: only NULs separate them.
Json ParseAsPathPiece(const std::string &text) {
    Json j = Json::array();
    for (const std::string &t : Split(text, false)) j.push_back(t);
    return j;
}

Json ParseCommunityPiece(const std::string &text) {
    Json j = Json::array();
    for (const std::string &t : Split(text, true)) j.push_back(t);
    return j;
}

Json ParsePrefixPiece(const std::string &text) {
    Json list = Json::array();
    const std::vector<std::string> t = Split(text, true);
    for (size_t i = 0; i < t.size();) {
        Json e;
        e["prefix"] = t[i++];
        uint64_t v = 0;
        if (i < t.size() && Number(t[i], v)) {
            e["length"] = v;
            ++i;
        }
        for (const char *kw : {"greater-equal", "less-equal"}) {
            if (i + 1 < t.size() && t[i] == kw && Number(t[i + 1], v)) {
                e[std::strcmp(kw, "greater-equal") == 0 ? "greater_equal" : "less_equal"] = v;
                i += 2;
            }
        }
        list.push_back(e);
    }
    return list;
}

Json ParseMedPiece(const std::string &text) {
    const std::vector<std::string> t = Split(text, true);
    Json j;
    uint64_t v = 0;
    if (t.empty() || !Number(t.back(), v)) {
        j["text"] = text;
        return j;
    }
    j["operation"] = t.size() > 1 && t[0] == "+" ? "add" : t.size() > 1 && t[0] == "-" ? "subtract" : "set";
    j["value"] = v;
    return j;
}

Json ParseAdditivePiece(const std::string &text) {
    Json j = Json::array();
    for (const std::string &t : Split(text, true)) {
        uint64_t v = 0;
        if (Number(t, v)) j.push_back(v);
    }
    return j;
}

Json PolicyJson(const Plugin &plugin, const OutBuf &attr, Json &status) {
    Json j;
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0, sizeof(rec));
    std::memcpy(&rec, attr.attr(), std::min<size_t>(attr.attrLen(), TAM_RPD_WC_RAW_OFFSET));
    j["container_type"] = rec.usContainerType;
    j["flags"] = rec.ucFlags;
    j["hop_count"] = rec.ucHopCount;
    j["container_length"] = rec.usContainerLen;
    char community[16];
    std::snprintf(community, sizeof(community), "0x%08x", rec.ulCommunity);
    j["community"] = community;
    j["source_as"] = rec.ulSrcAsNum;
    j["context_as"] = rec.ulContextAsNum;

    const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, &attr);
    Json match = Json::object(), actions = Json::object();
    for (const DisplayPiece &piece : kDisplayPieces) {
        std::string text;
        const uint32_t st = plugin.Display(view, piece.code, text);
        status[piece.name] = StatusName(st);
        if (st != TAM_RPD_OK || text.empty()) continue;
        switch (piece.code) {
            case 0x02: match["as_path"] = ParseAsPathPiece(text); break;
            case 0x04: match["communities"] = ParseCommunityPiece(text); break;
            case 0x08: match["prefixes"] = ParsePrefixPiece(text); break;
            case 0x10: actions["med"] = ParseMedPiece(text); break;
            case 0x20: actions["as_path_add"] = ParseAdditivePiece(text); break;
            case 0x40: actions["community_add"] = ParseAdditivePiece(text); break;
            default: break;
        }
    }
    j["match"] = match;
    j["actions"] = actions;
    const size_t raw = attr.attrLen() > TAM_RPD_WC_FIXED_LEN ? attr.attrLen() - TAM_RPD_WC_FIXED_LEN : 0;
    j["raw"] = HexText(attr.attr() + TAM_RPD_WC_RAW_OFFSET, std::min<size_t>(raw, rec.usRawLen));
    return j;
}

}  // namespace rpdhost
