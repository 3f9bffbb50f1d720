#include "host.h"

#include <cstring>
#include <ctime>

#include "byte_reader.h"
#include "report.h"

namespace rpdhost {

namespace {

constexpr uint32_t kTextKey = 1;
constexpr uint32_t kTextAttr = 0x40;
constexpr uint32_t kCfgPrefix = 2;
constexpr uint32_t kCounterEntries = 2;
constexpr uint32_t kRouteType = 1;

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The plug-in's texts separate items with NUL bytes; on a terminal each
// becomes a line break, and blank lines are dropped.
void PrintBlock(FILE *out, const std::string &text, const char *indent) {
    const size_t indentLen = std::strlen(indent);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\0' && text[end] != '\n') ++end;
        size_t last = end;
        while (last > start && text[last - 1] == ' ') --last;
        if (last > start) {
            std::fwrite(indent, 1, indentLen, out);
            std::fwrite(text.data() + start, 1, last - start, out);
            std::fputc('\n', out);
        }
        start = end + 1;
    }
}

std::string Trimmed(const std::string &s) {
    const size_t end = s.find_last_not_of(" \n");
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// The fields every JSON record starts with, and those naming the sender.
Json Record(const char *type, const std::string &file, uint64_t offset) {
    Json j;
    j["type"] = type;
    j["file"] = file;
    j["offset"] = offset;
    return j;
}

void Sender(Json &j, const std::string &peer, uint32_t as, bool hasTime, int64_t sec, uint32_t usec) {
    if (!peer.empty()) j["peer"] = peer;
    if (as != 0) j["peer_as"] = as;
    if (hasTime) j["time"] = TimeText(sec, usec);
}

}  // namespace

struct Host::Route {
    const OutBuf *key;
    const OutBuf *attr;  // null for a withdrawal
    bool announce;
    size_t offset;  // of the NLRI in the message
    size_t length;
};

uint64_t Summary::Failures() const {
    uint64_t n = 0;
    for (const auto &[name, count] : failures) n += count;
    return n;
}

bool Summary::Failed() const {
    if (Failures() > 0) return true;
    for (const auto &[what, tally] : skipped)
        if (tally.damage) return true;
    return false;
}

bool Host::Run(const std::string &name, FILE *in, const InputOptions &inOpt) {
    name_ = name;
    ++sum_.files;
    InputCounts counts;
    std::string fatal;
    const bool ok = ReadInput(in, inOpt, *this, counts, fatal);
    if (progressShown_) std::fputs("\r\033[K", stderr);
    progressShown_ = false;
    for (const auto &[what, tally] : counts.skipped) {
        SkipTally &t = sum_.skipped[what];
        t.count += tally.count;
        t.damage = t.damage || tally.damage;
    }
    if (!ok) {
        Unreadable(name, fatal);
        return false;
    }
    if (counts.messages == 0 && counts.events == 0) {
        ++sum_.filesWithoutMessages;
        std::fflush(out_);
        std::fprintf(stderr, "rpd-host: %s: warning: no BGP message found (read as %s%s%s)\n", name.c_str(),
                     FormatName(counts.format), counts.compression.empty() ? "" : ", ", counts.compression.c_str());
    }
    return true;
}

void Host::Unreadable(const std::string &name, const std::string &why) {
    std::fflush(out_);
    std::fprintf(stderr, "rpd-host: %s: %s\n", name.c_str(), why.c_str());
    ++sum_.failures["unreadable input"];
}

void Host::OnProblem(const InputProblem &p) {
    std::fflush(out_);  // keep reports next to the routes they follow
    std::fprintf(stderr, "rpd-host: %s: message %llu (offset %llu%s%s): %s\n", name_.c_str(),
                 static_cast<unsigned long long>(p.number), static_cast<unsigned long long>(p.offset),
                 p.where.empty() ? "" : ", ", p.where.c_str(), p.what.c_str());
    ++sum_.failures["input"];
}

void Host::OnEvent(const InputEvent &e) {
    ++sum_.events;
    if (opt_.output == OutputMode::Text || opt_.output == OutputMode::Display) {
        std::fprintf(out_, "event (offset %llu) peer %s", static_cast<unsigned long long>(e.offset), e.peer.c_str());
        if (e.peerAs != 0) std::fprintf(out_, " AS%u", e.peerAs);
        if (e.hasTime) std::fprintf(out_, " at %s", TimeText(e.sec, e.usec).c_str());
        std::fprintf(out_, ": %s\n", e.what.c_str());
    } else if (opt_.output == OutputMode::Json) {
        Json j = Record("event", name_, e.offset);
        Sender(j, e.peer, e.peerAs, e.hasTime, e.sec, e.usec);
        j["event"] = e.what;
        std::fprintf(out_, "%s\n", j.dump().c_str());
    }
}

void Host::OnProgress(uint64_t bytes) {
    if (!opt_.progress || (++progressTick_ & 255) != 0) return;
    const double now = Now();
    if (now - lastProgress_ < 0.5) return;
    lastProgress_ = now;
    progressShown_ = true;
    std::fprintf(stderr, "\r\033[Krpd-host: %s: %.1f MB, %llu messages, %llu routes", name_.c_str(),
                 static_cast<double>(bytes) / 1e6, static_cast<unsigned long long>(sum_.messages),
                 static_cast<unsigned long long>(sum_.announced + sum_.withdrawn));
}

void Host::Failure(const Message &m, size_t at, const std::string &what, const std::string &status) {
    std::fflush(out_);
    std::fprintf(stderr, "rpd-host: %s: message %llu (offset %llu%s%s): %s at byte %zu of the %s: %s\n",
                 name_.c_str(), static_cast<unsigned long long>(m.number), static_cast<unsigned long long>(m.offset),
                 m.where.empty() ? "" : ", ", m.where.c_str(), what.c_str(), at,
                 m.rebuilt ? "UPDATE rebuilt from the RIB entry" : "message", status.c_str());
    ++sum_.failures[status];
}

void Host::Diff(const Message &m, const std::string &what) {
    std::fflush(out_);
    std::fprintf(stderr, "rpd-host: %s: message %llu (offset %llu): verify: %s\n", name_.c_str(),
                 static_cast<unsigned long long>(m.number), static_cast<unsigned long long>(m.offset), what.c_str());
    ++sum_.failures["verify"];
}

void Host::PrintHeader(const Message &m) {
    if (headerDone_ || opt_.output == OutputMode::Json || opt_.output == OutputMode::None) return;
    headerDone_ = true;
    std::fprintf(out_, "message %llu (offset %llu", static_cast<unsigned long long>(m.number),
                 static_cast<unsigned long long>(m.offset));
    if (m.frame != 0) std::fprintf(out_, ", frame %llu", static_cast<unsigned long long>(m.frame));
    if (!m.where.empty()) std::fprintf(out_, ", %s", m.where.c_str());
    std::fprintf(out_, ") %s", m.rebuilt ? "RIB entry" : "UPDATE");
    if (!m.peer.empty()) std::fprintf(out_, " from %s", m.peer.c_str());
    if (m.peerAs != 0) std::fprintf(out_, " AS%u", m.peerAs);
    if (m.hasPathId) std::fprintf(out_, " path %u", m.pathId);
    if (m.hasTime) std::fprintf(out_, " %s %s", m.rebuilt ? "originated" : "at", TimeText(m.sec, m.usec).c_str());
    std::fputc('\n', out_);
}

void Host::PrintPolicy(const OutBuf &attr) {
    const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, &attr);
    std::string text;
    if (opt_.output == OutputMode::Text) {
        const uint32_t st = plugin_.Text(view, kTextAttr, text);
        std::fprintf(out_, "  policy:\n");
        if (st != TAM_RPD_OK) std::fprintf(out_, "    (no text: %s)\n", StatusName(st));
        PrintBlock(out_, text, "    ");
        return;
    }
    for (const DisplayPiece &piece : kDisplayPieces) {
        const uint32_t st = plugin_.Display(view, piece.code, text);
        if (st != TAM_RPD_OK) {
            std::fprintf(out_, "  [%s] %s\n", piece.name, StatusName(st));
        } else if (!text.empty()) {
            std::fprintf(out_, "  [%s]\n", piece.name);
            PrintBlock(out_, text, "    ");
        }
    }
}

void Host::OnMessage(const Message &m) {
    ++sum_.messages;
    headerDone_ = false;
    UpdateParts parts;
    WalkError err;
    const bool ok = SplitMessage(m.bytes.data(), m.bytes.size(), opt_.wcCode, parts, err);
    ++sum_.byType[MessageTypeName(parts.type)];
    if (!ok) {
        Failure(m, err.offset, err.what, "malformed BGP message");
        return;
    }
    if (parts.type != kBgpUpdate) return;
    sum_.otherAttributes += parts.otherAttributes;
    sum_.otherFamilies += parts.otherFamilies;
    sum_.ipv4Updates += parts.ipv4Routes ? 1 : 0;

    OutBuf attr;
    uint32_t attrStatus = TAM_RPD_OK;
    if (parts.wideCommunity.present) {
        const uint8_t *cur = m.bytes.data() + parts.wideCommunity.offset;
        uint32_t more = 0;
        attrStatus = plugin_.ops().pfnParsePkt(&cur, static_cast<uint32_t>(parts.wideCommunity.length),
                                               plugin_.attrType(), attr.slot(), &more, plugin_.inst());
        if (attrStatus != TAM_RPD_OK) {
            Failure(m, parts.wideCommunity.offset, "Wide Community attribute", StatusName(attrStatus));
        } else {
            ++sum_.policies;
            if (opt_.verify) VerifyAttribute(m, parts.wideCommunity, attr);
        }
    }
    if (parts.reach.present) Walk(m, parts.reach, true, attr, attrStatus);
    if (parts.unreach.present) Walk(m, parts.unreach, false, attr, attrStatus);
    if (attr && (opt_.output == OutputMode::Text || opt_.output == OutputMode::Display)) {
        PrintHeader(m);
        PrintPolicy(attr);
    } else if (parts.wideCommunity.present && attrStatus != TAM_RPD_OK && headerDone_) {
        std::fprintf(out_, "  policy: not decoded (%s)\n", StatusName(attrStatus));
    }
}

void Host::Walk(const Message &m, const Span &field, bool announce, const OutBuf &attr, uint32_t attrStatus) {
    const uint8_t *base = m.bytes.data();
    const uint8_t *cur = base + field.offset;
    uint32_t left = static_cast<uint32_t>(field.length);
    uint32_t more = left > 0 ? 1 : 0;
    const uint32_t type = announce ? plugin_.reachType() : plugin_.unreachType();
    const char *what = announce ? "MP_REACH_NLRI NLRI" : "MP_UNREACH_NLRI NLRI";
    Json policyJson, policyDisplay;
    const char *policyTextStatus = nullptr;
    while (more != 0 && left > 0) {
        // With ADD-PATH each NLRI follows its 4-byte path identifier.
        uint32_t pathId = 0;
        if (m.addPath) {
            if (left < 4) {
                Failure(m, static_cast<size_t>(cur - base), what, "path identifier cut short");
                return;
            }
            pathId = Be32(cur);
            cur += 4;
            left -= 4;
        }
        const uint8_t *start = cur;
        OutBuf key;
        const uint32_t st = plugin_.ops().pfnParsePkt(&cur, left, type, key.slot(), &more, plugin_.inst());
        if (st != TAM_RPD_OK) {
            Failure(m, static_cast<size_t>(start - base), what, StatusName(st));
            return;
        }
        const size_t used = static_cast<size_t>(cur - start);
        if (used == 0 || used > left || !key.hasKey()) {
            Failure(m, static_cast<size_t>(start - base), what, "no route key or no progress");
            return;
        }
        left -= static_cast<uint32_t>(used);
        const Route r{&key, announce && attr ? &attr : nullptr, announce, static_cast<size_t>(start - base), used};
        const TAM_RPD_ROUTE_VIEW view = MakeView(r.key, r.attr);
        (announce ? sum_.announced : sum_.withdrawn) += 1;
        if (plugin_.ops().pfnSetRtCount != nullptr)
            plugin_.ops().pfnSetRtCount(&view, counters_, kCounterEntries, announce ? 1 : 0, 1);

        uint32_t verdict = 0;
        uint32_t checkSt = TAM_RPD_OK;
        const bool checked = announce && attr && plugin_.ops().pfnCheckRoute != nullptr;
        if (checked) checkSt = plugin_.ops().pfnCheckRoute(&view, nullptr, &verdict);
        std::string keyText;
        const uint32_t textSt = opt_.output == OutputMode::None ? TAM_RPD_OK : plugin_.Text(view, kTextKey, keyText);
        if (opt_.output == OutputMode::Text || opt_.output == OutputMode::Display) {
            PrintHeader(m);
            std::fprintf(out_, "  %-9s %s", announce ? "announce" : "withdraw",
                         textSt == TAM_RPD_OK ? Trimmed(keyText).c_str() : StatusName(textSt));
            if (m.addPath) std::fprintf(out_, " (path %u)", pathId);
            std::fputc('\n', out_);
        } else if (opt_.output == OutputMode::Json) {
            Json status;
            status["parse_nlri"] = StatusName(st);
            if (announce && attr) {
                if (checked) status["check_route"] = StatusName(checkSt);
                status["complete"] = verdict == 1;
            }
            Json j = Record("route", name_, m.offset);
            j["message"] = m.number;
            if (m.frame != 0) j["frame"] = m.frame;
            if (!m.where.empty()) j["stream"] = m.where;
            if (m.rebuilt) j["rib_entry"] = true;
            if (m.addPath) j["path_id"] = pathId;
            else if (m.hasPathId) j["path_id"] = m.pathId;
            Sender(j, m.peer, m.peerAs, m.hasTime, m.sec, m.usec);
            j["action"] = announce ? "announce" : "withdraw";
            j["key"] = KeyJson(key.key(), key.keyLen());
            j["text"] = Trimmed(keyText);
            status["text_key"] = StatusName(textSt);
            if (announce && attr) {
                // The routes of one MP_REACH_NLRI share the policy: render it once.
                if (policyJson.is_null()) {
                    policyJson = PolicyJson(plugin_, attr, policyDisplay);
                    std::string attrText;
                    policyTextStatus = StatusName(plugin_.Text(view, kTextAttr, attrText));
                }
                j["policy"] = policyJson;
                status["text_policy"] = policyTextStatus;
                status["display"] = policyDisplay;
            } else if (announce && attrStatus != TAM_RPD_OK) {
                status["parse_policy"] = StatusName(attrStatus);
            }
            j["status"] = status;
            std::fprintf(out_, "%s\n", j.dump().c_str());
        }
        if (opt_.verify) {
            VerifyRoute(m, r);
            prevKey_ = std::move(key);  // the next route's order is checked against this one
        }
    }
    if (left > 0) Failure(m, static_cast<size_t>(cur - base), what, "bytes left after the last NLRI");
}

void Host::VerifyRoute(const Message &m, const Route &r) {
    const TAM_RPD_PLUGIN_OPS &o = plugin_.ops();
    TAM_RPD_INSTANCE *inst = plugin_.inst();
    const TAM_RPD_ROUTE_VIEW view = MakeView(r.key, r.attr);
    int ctx = 0;
    ++sum_.verified;
    auto sameKey = [&](const OutBuf &again, const char *path) {
        if (!again.hasKey() || again.keyLen() != r.key->keyLen() ||
            o.pfnCmpData(again.key(), again.keyLen(), r.key->key(), r.key->keyLen(), TAM_RPD_CMP_KEY) != 0 ||
            std::memcmp(again.key(), r.key->key(), r.key->keyLen()) != 0)
            Diff(m, std::string(path) + ": the key decoded again differs from the received one");
    };

    // Packet: the NLRI bytes must come back exactly as received.
    uint8_t wire[64];
    uint8_t *wr = wire;
    const uint32_t pktType = r.announce ? plugin_.reachType() : plugin_.unreachType();
    uint32_t st = o.pfnFormatPkt(&view, pktType, &wr, sizeof(wire), &ctx);
    const size_t n = static_cast<size_t>(wr - wire);
    if (st != TAM_RPD_OK) {
        Diff(m, std::string("packet format of the key: ") + StatusName(st));
    } else if (n != r.length || std::memcmp(wire, m.bytes.data() + r.offset, n) != 0) {
        Diff(m, "packet format of the key gives other bytes than the received NLRI");
    } else {
        const uint8_t *cur = wire;
        uint32_t more = 0;
        OutBuf again;
        st = o.pfnParsePkt(&cur, static_cast<uint32_t>(n), pktType, again.slot(), &more, inst);
        if (st != TAM_RPD_OK) Diff(m, std::string("packet parse of the formatted key: ") + StatusName(st));
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
            Diff(m, std::string(path) + " format: " + StatusName(s));
            return;
        }
        OutBuf again;
        s = parse(body, static_cast<uint16_t>(w - body), parseType, again.slot(), inst);
        if (s != TAM_RPD_OK) Diff(m, std::string(path) + " parse: " + StatusName(s));
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
        st = o.pfnFormatCfg(&view, kCfgPrefix, &w, sizeof(rec), &w1, &w2);
        if (st != TAM_RPD_OK) {
            Diff(m, std::string("configuration record format: ") + StatusName(st));
        } else {
            OutBuf again;
            // The record always starts where the write position was; it is not advanced.
            st = o.pfnParseCfg(rec, sizeof(TAM_RPD_CFG_PREFIX), kCfgPrefix, again.slot(), inst);
            if (st != TAM_RPD_OK) Diff(m, std::string("configuration record parse: ") + StatusName(st));
            else sameKey(again, "configuration record");
        }
    }

    // Order: a key equals itself, and the order against the previous route is antisymmetric.
    const uint16_t len = r.key->keyLen();
    if (o.pfnCmpData(r.key->key(), len, r.key->key(), len, TAM_RPD_CMP_KEY) != 0)
        Diff(m, "the key does not compare equal to itself");
    if (prevKey_.hasKey()) {
        const int32_t ab = o.pfnCmpData(prevKey_.key(), prevKey_.keyLen(), r.key->key(), len, TAM_RPD_CMP_KEY);
        const int32_t ba = o.pfnCmpData(r.key->key(), len, prevKey_.key(), prevKey_.keyLen(), TAM_RPD_CMP_KEY);
        if (ab != -ba || ab == TAM_RPD_CMP_FAIL) Diff(m, "key order against the previous route is not antisymmetric");
    }
}

void Host::VerifyAttribute(const Message &m, const Span &value, const OutBuf &attr) {
    const TAM_RPD_PLUGIN_OPS &o = plugin_.ops();
    TAM_RPD_INSTANCE *inst = plugin_.inst();
    const TAM_RPD_ROUTE_VIEW view = MakeView(nullptr, &attr);
    const uint8_t *orig = m.bytes.data() + value.offset;
    int ctx = 0;
    auto sameAttr = [&](const OutBuf &again, const char *path) {
        if (!again.hasAttr() ||
            o.pfnCmpData(again.attr(), again.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR) != 0)
            Diff(m, std::string(path) + ": the policy decoded again differs from the received one");
    };
    std::vector<uint8_t> buf(value.length + 64);

    // Packet attribute value.
    uint8_t *w = buf.data();
    uint32_t st = o.pfnFormatPkt(&view, plugin_.attrType(), &w, static_cast<uint32_t>(buf.size()), &ctx);
    size_t n = static_cast<size_t>(w - buf.data());
    if (st != TAM_RPD_OK) {
        Diff(m, std::string("packet format of the policy: ") + StatusName(st));
    } else if (n != value.length || std::memcmp(buf.data(), orig, n) != 0) {
        Diff(m, "packet format of the policy gives other bytes than the received attribute");
    } else {
        const uint8_t *cur = buf.data();
        uint32_t more = 0;
        OutBuf again;
        st = o.pfnParsePkt(&cur, static_cast<uint32_t>(n), plugin_.attrType(), again.slot(), &more, inst);
        if (st != TAM_RPD_OK) Diff(m, std::string("packet parse of the formatted policy: ") + StatusName(st));
        else sameAttr(again, "packet");
    }

    // Attribute message.
    if (o.pfnFormatAttrMsg != nullptr && o.pfnParseAttrMsg != nullptr && value.length <= 0xFFFF - 64) {
        const uint16_t type = static_cast<uint16_t>(o.aulAttrMsgType[0]);
        w = buf.data();
        st = o.pfnFormatAttrMsg(&view, type, &w, static_cast<uint16_t>(buf.size()), &ctx);
        n = static_cast<size_t>(w - buf.data());
        if (st != TAM_RPD_OK) {
            Diff(m, std::string("attribute message format: ") + StatusName(st));
        } else if (n != value.length || std::memcmp(buf.data(), orig, n) != 0) {
            Diff(m, "attribute message gives other bytes than the received attribute");
        } else {
            OutBuf again;
            st = o.pfnParseAttrMsg(buf.data(), static_cast<uint16_t>(n), type, again.slot(), inst);
            if (st != TAM_RPD_OK) Diff(m, std::string("attribute message parse: ") + StatusName(st));
            else sameAttr(again, "attribute message");
        }
    }

    // Set-attribute hands the same policy back.
    if (o.pfnSetAttr != nullptr) {
        OutBuf again;
        st = o.pfnSetAttr(&view, TAM_RPD_ATTR_TYPE_WC, 0, again.slot(), inst);
        if (st != TAM_RPD_OK) Diff(m, std::string("set attribute: ") + StatusName(st));
        else sameAttr(again, "set attribute");
    }

    // Configuration text is the policy text.
    if (o.pfnFormatCfg != nullptr) {
        std::string text, cfgText;
        plugin_.Text(view, kTextAttr, text);
        st = plugin_.CfgText(view, cfgText);
        if (st != TAM_RPD_OK) Diff(m, std::string("configuration text: ") + StatusName(st));
        else if (cfgText != text) Diff(m, "configuration text differs from the policy text");
    }
    if (o.pfnCmpData(attr.attr(), attr.attrLen(), attr.attr(), attr.attrLen(), TAM_RPD_CMP_ATTR) != 0)
        Diff(m, "the policy does not compare equal to itself");
}

uint32_t Host::CountedRoutes() const {
    uint32_t n = 0;
    if (plugin_.ops().pfnGetRtCount != nullptr) plugin_.ops().pfnGetRtCount(counters_, kCounterEntries, kRouteType, &n);
    return n;
}

void Host::PrintSummary(FILE *to) const {
    std::fprintf(to, "summary: %llu messages", static_cast<unsigned long long>(sum_.messages));
    if (!sum_.byType.empty()) {
        const char *sep = " (";
        for (const auto &[name, count] : sum_.byType) {
            std::fprintf(to, "%s%s %llu", sep, name.c_str(), static_cast<unsigned long long>(count));
            sep = ", ";
        }
        std::fputc(')', to);
    }
    std::fprintf(to, "; routes announced %llu, withdrawn %llu; policies %llu",
                 static_cast<unsigned long long>(sum_.announced), static_cast<unsigned long long>(sum_.withdrawn),
                 static_cast<unsigned long long>(sum_.policies));
    if (sum_.otherFamilies > 0)
        std::fprintf(to, "; skipped %llu other address families", static_cast<unsigned long long>(sum_.otherFamilies));
    if (sum_.otherAttributes > 0)
        std::fprintf(to, "; skipped %llu other attributes", static_cast<unsigned long long>(sum_.otherAttributes));
    if (sum_.ipv4Updates > 0)
        std::fprintf(to, "; skipped IPv4 routes in %llu UPDATEs", static_cast<unsigned long long>(sum_.ipv4Updates));
    if (opt_.verify) std::fprintf(to, "; verified %llu routes", static_cast<unsigned long long>(sum_.verified));
    if (sum_.events > 0) std::fprintf(to, "; events %llu", static_cast<unsigned long long>(sum_.events));
    if (sum_.filesWithoutMessages > 0)
        std::fprintf(to, "; %llu of %llu inputs without a BGP message",
                     static_cast<unsigned long long>(sum_.filesWithoutMessages), static_cast<unsigned long long>(sum_.files));
    // What the readers passed over: "damaged" for what could not be read, "skipped" for what is not ours to read.
    for (const bool damage : {false, true}) {
        const char *sep = damage ? "\ndamaged: " : "\nskipped: ";
        for (const auto &[what, tally] : sum_.skipped) {
            if (tally.damage != damage) continue;
            std::fprintf(to, "%s%llu %s", sep, static_cast<unsigned long long>(tally.count), what.c_str());
            sep = "; ";
        }
    }
    std::fprintf(to, "\nfailures: %llu", static_cast<unsigned long long>(sum_.Failures()));
    const char *sep = " (";
    for (const auto &[name, count] : sum_.failures) {
        std::fprintf(to, "%s%s %llu", sep, name.c_str(), static_cast<unsigned long long>(count));
        sep = ", ";
    }
    std::fprintf(to, "%s\n", sum_.failures.empty() ? "" : ")");
}

void Host::PrintSummaryJson(FILE *to) const {
    Json j;
    j["type"] = "summary";
    j["inputs"] = sum_.files;
    j["inputs_without_messages"] = sum_.filesWithoutMessages;
    j["messages"] = sum_.messages;
    j["message_types"] = sum_.byType;
    j["events"] = sum_.events;
    j["routes_announced"] = sum_.announced;
    j["routes_withdrawn"] = sum_.withdrawn;
    j["policies"] = sum_.policies;
    j["other_families"] = sum_.otherFamilies;
    j["other_attributes"] = sum_.otherAttributes;
    j["ipv4_updates"] = sum_.ipv4Updates;
    if (opt_.verify) j["verified"] = sum_.verified;
    Json skipped = Json::array();
    for (const auto &[what, tally] : sum_.skipped)
        skipped.push_back({{"reason", what}, {"count", tally.count}, {"damage", tally.damage}});
    j["skipped"] = skipped;
    j["failures"] = sum_.failures;
    j["failed"] = sum_.Failed();
    std::fprintf(to, "%s\n", j.dump().c_str());
}

}  // namespace rpdhost
