#include "walk.h"

#include "hex.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

constexpr uint32_t kCounterEntries = 2;
constexpr uint32_t kRouteType = 1;

// Why the plug-in refuses an NLRI, by its rules; "" when they all hold.
std::string NlriRule(const uint8_t *p, size_t left, size_t &at) {
    at = 0;
    if (left < 2) return "an NLRI takes at least 2 bytes: " + std::to_string(left) + " left in the field";
    const uint8_t len = p[0];
    if (len > left - 1)
        return "NLRI length " + std::to_string(len) + " runs past the field (" + std::to_string(left - 1) +
               " bytes follow)";
    if (len != kRpdNlriIpv4 && len != kRpdNlriIpv6)
        return "NLRI length must be 9 (IPv4 peer) or 21 (IPv6 peer): " + std::to_string(len);
    if (p[1] != kRpdExportPolicy) {
        at = 1;
        return "policy type must be 1 (export policy): " + std::to_string(p[1]);
    }
    if (len == kRpdNlriIpv6) return "IPv6 peer addresses are not handled: NLRI length 21";
    return "";
}

}  // namespace

void RouteWalk::OnInput(const std::string &name) {
    name_ = name;
    ++sum_.inputs;
    sink_.Input(name_, "", "");
}

void RouteWalk::OnStationInput(const std::string &station, const std::string &file) {
    name_ = station + ": " + file;
    ++sum_.inputs;
    sink_.Input(name_, station, file);
}

void RouteWalk::Unreadable(const std::string &name, const std::string &why, const char *status) {
    ProblemView p(name);
    p.what = why;
    p.status = status;
    Report(std::move(p));
}

void RouteWalk::Finish() {
    sink_.Tally(sum_);
    sink_.Finish(sum_);
}

void RouteWalk::Report(ProblemView p) {
    if (p.Warning()) ++sum_.warnings;
    else ++sum_.failures[p.status];
    sink_.Problem(p);
}

void RouteWalk::OnProblem(const InputProblem &ip) {
    ProblemView p(name_);
    p.number = ip.number;
    p.offset = ip.offset;
    p.frame = ip.frame;
    p.where = ip.where;
    p.what = ip.what;
    p.status = "input: " + ip.kind;
    Report(std::move(p));
}

void RouteWalk::OnEvent(const InputEvent &e) {
    ++sum_.events;
    sink_.Event(name_, e);
}

void RouteWalk::Failure(const Message &m, size_t at, const std::string &what, const std::string &status) {
    ProblemView p = ProblemAbout({name_, m});
    p.what = what;
    p.status = status;
    p.hasByte = true;
    p.messageByte = at;
    if (m.rebuilt) p.what += " (in the UPDATE rebuilt from the RIB entry)";
    Report(std::move(p));
}

void RouteWalk::PolicyRefused(const Message &m, const Span &value, uint32_t status) {
    const uint8_t *v = m.bytes.data() + value.offset;
    WcPolicy ignored;
    const WcVerdict w = ExplainWideCommunity(v, value.length, ignored);
    ProblemView p = ProblemAbout({name_, m});
    p.status = TAM_RPD_StatusName(status);
    if (w.accepted) {  // by the rules the plug-in should have taken it: say so rather than guess
        p.what = "Wide Community attribute refused, though its bytes follow every rule";
    } else {
        p.what = "Wide Community attribute refused: " + w.rule;
        p.hasAttributeByte = true;
        p.attributeByte = w.at;
        p.excerpt = "attribute bytes: " + HexExcerpt(v, value.length, w.at);
    }
    p.hasByte = true;
    p.messageByte = value.offset + (w.accepted ? 0 : w.at);
    Report(std::move(p));
}

void RouteWalk::NlriRefused(const Message &m, size_t at, size_t left, bool announce, uint32_t status) {
    size_t rel = 0;
    const std::string rule = NlriRule(m.bytes.data() + at, left, rel);
    ProblemView p = ProblemAbout({name_, m});
    p.status = TAM_RPD_StatusName(status);
    p.what = std::string(announce ? "MP_REACH_NLRI" : "MP_UNREACH_NLRI") + " NLRI refused" + (rule.empty() ? "" : ": ") + rule;
    p.hasByte = true;
    p.messageByte = at + rel;
    p.excerpt = "message bytes: " + HexExcerpt(m.bytes.data(), m.bytes.size(), at + rel);
    Report(std::move(p));
}

void RouteWalk::OnMessage(const Message &m) {
    ++sum_.messages;
    UpdateParts parts;
    WalkError err;
    const bool ok = SplitMessage(m.bytes.data(), m.bytes.size(), opt_.wcCode, parts, err);
    ++sum_.byType[BgpTypeName(parts.type)];
    if (!ok) return Failure(m, err.offset, err.what, "malformed BGP message");
    if (parts.type != kBgpUpdate) return;
    sum_.otherAttributes += parts.otherAttributes;
    sum_.otherFamilies += parts.otherFamilies;
    sum_.ipv4Updates += parts.ipv4Routes ? 1 : 0;

    const MessageView mv{name_, m, parts.type, parts.ipv4Nlri.offset, parts.ipv4Nlri.length};
    OutBuf attr;
    PolicyView pv;
    if (parts.wideCommunity.present) {
        pv.present = true;
        pv.offset = parts.wideCommunity.offset;
        pv.length = parts.wideCommunity.length;
        const uint8_t *cur = m.bytes.data() + pv.offset;
        uint32_t more = 0;
        pv.status = plugin_.ops().pfnParsePkt(&cur, static_cast<uint32_t>(pv.length), plugin_.attrType(), attr.slot(),
                                              &more, plugin_.inst());
        if (pv.status == TAM_RPD_OK) {
            ++sum_.policies;
            pv.attr = &attr;
            // The structure as it stands on the wire, read by the plug-in's rules, when a sink asks for it.
            if (sink_.NeedsWire()) {
                if (ExplainWideCommunity(m.bytes.data() + pv.offset, pv.length, wire_).accepted) {
                    pv.wire = &wire_;
                } else {
                    ProblemView p = ProblemAbout(mv);
                    p.what = "verify: the plug-in accepted a Wide Community value that breaks its rules";
                    p.status = "verify";
                    Report(std::move(p));
                }
            }
        } else {
            PolicyRefused(m, parts.wideCommunity, pv.status);
        }
    }
    if (!pv.present && !parts.reach.present && !parts.unreach.present) return;
    sink_.Begin(mv, pv);
    // Withdrawals first, as a BGP process applies them, so that the policy follows the routes it comes with.
    if (parts.unreach.present) Walk(mv, pv, parts.unreach, false);
    if (parts.reach.present) Walk(mv, pv, parts.reach, true);
    sink_.End(mv, pv);
}

void RouteWalk::Walk(const MessageView &mv, const PolicyView &pv, const Span &field, bool announce) {
    const Message &m = mv.m;
    const uint8_t *base = m.bytes.data();
    const uint8_t *cur = base + field.offset;
    uint32_t left = static_cast<uint32_t>(field.length);
    uint32_t more = left > 0 ? 1 : 0;
    const uint32_t type = announce ? plugin_.reachType() : plugin_.unreachType();
    const OutBuf *attr = announce ? pv.attr : nullptr;
    while (more != 0 && left > 0) {
        RouteView r;
        r.announce = announce;
        // With ADD-PATH each NLRI follows its 4-byte path identifier; a RIB entry has one of its own.
        if (m.addPath) {
            if (left < 4) {
                Failure(m, static_cast<size_t>(cur - base), "path identifier cut short", "malformed NLRI field");
                return;
            }
            r.hasPathId = true;
            r.pathId = Be32(cur);
            cur += 4;
            left -= 4;
        } else if (m.hasPathId) {
            r.hasPathId = true;
            r.pathId = m.pathId;
        }
        const uint8_t *start = cur;
        OutBuf key;
        const uint32_t st = plugin_.ops().pfnParsePkt(&cur, left, type, key.slot(), &more, plugin_.inst());
        if (st != TAM_RPD_OK) {
            NlriRefused(m, static_cast<size_t>(start - base), left, announce, st);
            return;
        }
        const size_t used = static_cast<size_t>(cur - start);
        if (used == 0 || used > left || !key.hasKey()) {
            Failure(m, static_cast<size_t>(start - base), "NLRI decoded with no route key or no progress",
                    "malformed NLRI field");
            return;
        }
        left -= static_cast<uint32_t>(used);
        r.key = &key;
        r.offset = static_cast<size_t>(start - base);
        r.length = used;
        const TAM_RPD_ROUTE_VIEW view = MakeView(&key, attr);
        (announce ? sum_.announced : sum_.withdrawn) += 1;
        if (plugin_.ops().pfnSetRtCount != nullptr)
            plugin_.ops().pfnSetRtCount(&view, counters_, kCounterEntries, announce ? 1 : 0, 1);
        if (attr != nullptr && plugin_.ops().pfnCheckRoute != nullptr) {
            uint32_t verdict = 0;
            r.checkStatus = plugin_.ops().pfnCheckRoute(&view, nullptr, &verdict);
            r.complete = verdict == 1;
        }
        sink_.Route(mv, pv, r);
    }
    if (left > 0) Failure(m, static_cast<size_t>(cur - base), "bytes left after the last NLRI", "malformed NLRI field");
}

void RouteWalk::OnSent(const Bytes &message) {
    UpdateParts parts;
    WalkError err;
    if (!SplitMessage(message.data(), message.size(), opt_.wcCode, parts, err) || parts.type != kBgpUpdate) return;
    ++sum_.sentUpdates;
    auto count = [&](const Span &field) {
        uint64_t n = 0;
        ByteReader r(message.data() + field.offset, field.length);
        const uint8_t *nlri = nullptr;
        size_t len = 0;
        while (TakeNlri(r, kSafiRpd, nlri, len)) ++n;
        return n;
    };
    sum_.sentAnnounced += count(parts.reach);
    sum_.sentWithdrawn += count(parts.unreach);
}

uint32_t RouteWalk::CountedRoutes() const {
    uint32_t n = 0;
    if (plugin_.ops().pfnGetRtCount != nullptr) plugin_.ops().pfnGetRtCount(counters_, kCounterEntries, kRouteType, &n);
    return n;
}

}  // namespace rpdhost
