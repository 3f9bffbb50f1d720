#include "host.h"

#include <algorithm>

#include "byte_reader.h"

namespace rpdhost {

namespace {

constexpr uint32_t kCounterEntries = 2;
constexpr uint32_t kRouteType = 1;
constexpr uint8_t kNlriIpv4 = 9, kNlriIpv6 = 21;
constexpr uint8_t kExportPolicy = 1;

// Why the plug-in refuses an NLRI, by its rules; "" when they all hold.
std::string NlriRule(const uint8_t *p, size_t left, size_t &at) {
    at = 0;
    if (left < 2) return "an NLRI takes at least 2 bytes: " + std::to_string(left) + " left in the field";
    const uint8_t len = p[0];
    if (len > left - 1)
        return "NLRI length " + std::to_string(len) + " runs past the field (" + std::to_string(left - 1) +
               " bytes follow)";
    if (len != kNlriIpv4 && len != kNlriIpv6)
        return "NLRI length must be 9 (IPv4 peer) or 21 (IPv6 peer): " + std::to_string(len);
    if (p[1] != kExportPolicy) {
        at = 1;
        return "policy type must be 1 (export policy): " + std::to_string(p[1]);
    }
    if (len == kNlriIpv6) return "IPv6 peer addresses are not handled: NLRI length 21";
    return "";
}

}  // namespace

Host::Host(const Plugin &plugin, const HostOptions &opt, Reporter &reporter)
    : plugin_(plugin), opt_(opt), reporter_(reporter),
      verifier_(plugin, [this](const Message &m, const std::string &w) { Diff(m, w); },
                [this](const Message &m, const std::string &w) { Warn(m, w); }),
      progress_(opt.progress),
      needWire_(opt.output == OutputMode::Text || opt.output == OutputMode::Json || opt.verify ||
                opt.filter.community != 0) {
    sum_.verify = opt.verify;
}

bool Host::Run(const std::string &name, FILE *in, const InputOptions &inOpt, uint64_t size) {
    name_ = name;
    in_ = size > 0 ? in : nullptr;
    ++sum_.inputs;
    progress_.Start(name, size);
    InputCounts counts;
    std::string fatal;
    const bool ok = ReadInput(in, inOpt, *this, counts, fatal);
    progress_.Clear();
    sum_.Add(counts);
    if (!ok) {
        Unreadable(name, fatal);
        return false;
    }
    if (counts.messages == 0 && counts.events == 0) {
        ++sum_.inputsWithoutMessages;
        std::fflush(stdout);
        std::fprintf(stderr, "rpd-host: %s: warning: no BGP message found (read as %s%s%s)\n", name.c_str(),
                     FormatName(counts.format), counts.compression.empty() ? "" : ", ", counts.compression.c_str());
    }
    return true;
}

void Host::BeginLive(const std::string &name) {
    name_ = name;
    ++sum_.inputs;
}

void Host::Unreadable(const std::string &name, const std::string &why) {
    ProblemView p(name);
    p.what = why;
    p.status = "unreadable input";
    Report(std::move(p));
}

void Host::Finish() { reporter_.Finish(sum_); }

void Host::Report(ProblemView &&p) {
    progress_.Clear();
    std::fflush(stdout);  // keep reports next to the routes they follow
    std::fprintf(stderr, "rpd-host: %s: ", p.file.c_str());
    if (p.number != 0) {
        std::fprintf(stderr, "message %llu (offset %llu", static_cast<unsigned long long>(p.number),
                     static_cast<unsigned long long>(p.offset));
        if (p.frame != 0) std::fprintf(stderr, ", frame %llu", static_cast<unsigned long long>(p.frame));
        std::fprintf(stderr, "%s%s): ", p.where.empty() ? "" : ", ", p.where.c_str());
    }
    std::fputs(p.what.c_str(), stderr);
    if (p.hasAttributeByte)
        std::fprintf(stderr, " at attribute byte %zu (message byte %zu)", p.attributeByte, p.messageByte);
    else if (p.hasByte)
        std::fprintf(stderr, " at message byte %zu", p.messageByte);
    if (p.status != "input" && p.status != "unreadable input") std::fprintf(stderr, ": %s", p.status.c_str());
    std::fputc('\n', stderr);
    if (!p.excerpt.empty()) std::fprintf(stderr, "    %s\n", p.excerpt.c_str());
    ++sum_.failures[p.status];
    reporter_.Problem(p);
}

void Host::OnProblem(const InputProblem &ip) {
    ProblemView p(name_);
    p.number = ip.number;
    p.offset = ip.offset;
    p.where = ip.where;
    p.what = ip.what;
    p.status = "input";
    Report(std::move(p));
}

void Host::OnEvent(const InputEvent &e) {
    ++sum_.events;
    reporter_.Event(name_, e);
}

void Host::OnProgress(uint64_t bytes) {
    if (!opt_.progress) return;
    // A regular file's own position: right for compressed input too.
    progress_.Update(in_ != nullptr ? static_cast<uint64_t>(std::max<long>(0, std::ftell(in_))) : bytes, sum_.messages,
                     sum_.announced + sum_.withdrawn);
}

ProblemView Host::About(const Message &m) const {
    ProblemView p(name_);
    p.number = m.number;
    p.offset = m.offset;
    p.frame = m.frame;
    p.where = m.where;
    return p;
}

void Host::Failure(const Message &m, size_t at, const std::string &what, const std::string &status) {
    ProblemView p = About(m);
    p.what = what;
    p.status = status;
    p.hasByte = true;
    p.messageByte = at;
    if (m.rebuilt) p.what += " (in the UPDATE rebuilt from the RIB entry)";
    Report(std::move(p));
}

void Host::PolicyRefused(const Message &m, const Span &value, uint32_t status) {
    const uint8_t *v = m.bytes.data() + value.offset;
    WcPolicy ignored;
    const WcVerdict w = ExplainWideCommunity(v, value.length, ignored);
    ProblemView p = About(m);
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

void Host::NlriRefused(const Message &m, size_t at, size_t left, bool announce, uint32_t status) {
    size_t rel = 0;
    const std::string rule = NlriRule(m.bytes.data() + at, left, rel);
    ProblemView p = About(m);
    p.status = TAM_RPD_StatusName(status);
    p.what = std::string(announce ? "MP_REACH_NLRI" : "MP_UNREACH_NLRI") + " NLRI refused" + (rule.empty() ? "" : ": ") + rule;
    p.hasByte = true;
    p.messageByte = at + rel;
    p.excerpt = "message bytes: " + HexExcerpt(m.bytes.data(), m.bytes.size(), at + rel);
    Report(std::move(p));
}

void Host::Diff(const Message &m, const std::string &what) {
    ProblemView p = About(m);
    p.what = "verify: " + what;
    p.status = "verify";
    Report(std::move(p));
}

void Host::Warn(const Message &m, const std::string &what) {
    ++sum_.warnings;
    std::fflush(stdout);
    progress_.Clear();
    std::fprintf(stderr, "rpd-host: %s: message %llu (offset %llu): warning: %s\n", name_.c_str(),
                 static_cast<unsigned long long>(m.number), static_cast<unsigned long long>(m.offset), what.c_str());
    ProblemView p = About(m);
    p.what = what;
    p.status = "warning";
    reporter_.Problem(p);
}

void Host::OnMessage(const Message &m) {
    ++sum_.messages;
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

    const MessageView mv{name_, m, parts.type};
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
            // The structure as it stands on the wire, read by the plug-in's rules,
            // when the output, a filter or the verifier asks for it.
            if (needWire_) {
                if (ExplainWideCommunity(m.bytes.data() + pv.offset, pv.length, wire_).accepted) pv.wire = &wire_;
                else Diff(m, "the plug-in accepted a Wide Community value that breaks its rules");
            }
            if (opt_.verify) verifier_.Policy(m, pv);
        } else {
            PolicyRefused(m, parts.wideCommunity, pv.status);
        }
    }
    bool begun = false;
    if (parts.reach.present) Walk(mv, pv, parts.reach, true, begun);
    if (parts.unreach.present) Walk(mv, pv, parts.unreach, false, begun);
    // A policy with no route of its own (a RIB entry of another family) is still shown, unless filters are set.
    if (!begun && pv.present && !opt_.filter.Any()) {
        reporter_.Begin(mv, pv);
        begun = true;
    }
    if (begun) reporter_.End(mv, pv);
}

bool Host::Shown(const RouteView &r, const PolicyView &pv) const {
    const RouteFilter &f = opt_.filter;
    if (!f.Any()) return true;
    const KeyFields k = KeyFieldsOf(*r.key);
    if (!f.peers.empty() && std::find(f.peers.begin(), f.peers.end(), k.peer) == f.peers.end()) return false;
    if (!f.distinguishers.empty() &&
        std::find(f.distinguishers.begin(), f.distinguishers.end(), k.distinguisher) == f.distinguishers.end())
        return false;
    if (f.community != 0 && !(r.announce && pv.wire != nullptr && pv.wire->community == f.community)) return false;
    return true;
}

void Host::Walk(const MessageView &mv, const PolicyView &pv, const Span &field, bool announce, bool &begun) {
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
        if (Shown(r, pv)) {
            if (!begun) reporter_.Begin(mv, pv);
            begun = true;
            reporter_.Route(mv, pv, r);
        } else {
            ++sum_.filtered;
        }
        if (opt_.verify) {
            ++sum_.verified;
            verifier_.Route(m, r, attr);
            verifier_.Keep(std::move(key));
        }
    }
    if (left > 0) Failure(m, static_cast<size_t>(cur - base), "bytes left after the last NLRI", "malformed NLRI field");
}

uint32_t Host::CountedRoutes() const {
    uint32_t n = 0;
    if (plugin_.ops().pfnGetRtCount != nullptr) plugin_.ops().pfnGetRtCount(counters_, kCounterEntries, kRouteType, &n);
    return n;
}

}  // namespace rpdhost
