#include "wc_explain.h"

#include <cstdio>

#include "byte_reader.h"
#include "tam_rpd.h"

namespace rpdhost {

namespace {

constexpr size_t kHeaderLen = 18;
constexpr size_t kTlvHeader = 3;
constexpr uint32_t kMatchAndSet = 0x90000003u, kMatchAndNoAdv = 0x90000004u;
constexpr size_t kMaxAsPathText = 1024, kMaxCmtyValues = 20, kMaxCmtyAddValues = 5, kMaxAsPathEntries = 255;
constexpr unsigned kMaxRepeats = 63;

std::string Format(const char *fmt, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
    char text[200];
    std::snprintf(text, sizeof(text), fmt, a, b, c);
    return text;
}

std::string Ipv4(uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", a >> 24, a >> 16 & 255, a >> 8 & 255, a & 255);
    return text;
}

class Walker {
public:
    Walker(const uint8_t *v, size_t n, WcPolicy &out) : v_(v), n_(n), out_(out) {}

    WcVerdict Run() {
        out_ = WcPolicy{};
        verdict_ = WcVerdict{};
        verdict_.accepted = Attribute();
        return verdict_;
    }

private:
    bool Fail(size_t at, std::string rule) {
        verdict_.rule = std::move(rule);
        verdict_.at = at;
        return false;
    }

    // A TLV header at `at` with `avail` bytes to the end of what encloses it.
    bool Tlv(size_t at, size_t avail, const char *what, uint8_t &type, uint16_t &len) {
        if (avail < kTlvHeader)
            return Fail(at, std::string(what) + " header cut short: " + std::to_string(avail) + " of 3 bytes");
        type = v_[at];
        len = Be16(v_ + at + 1);
        if (len > avail - kTlvHeader)
            return Fail(at + 1, std::string(what) + " length " + std::to_string(len) + " runs past its end (" +
                                    std::to_string(avail - kTlvHeader) + " bytes left)");
        return true;
    }

    bool Attribute() {
        if (n_ == 0) return Fail(0, "the attribute value is empty");
        if (n_ < kHeaderLen)
            return Fail(0, Format("the attribute value of %llu bytes is shorter than the 18-byte container header", n_));
        if (n_ > TAM_RPD_WC_MAX_RAW_LEN)
            return Fail(0, Format("the attribute value of %llu bytes is longer than the %llu a stored policy can hold", n_,
                                  TAM_RPD_WC_MAX_RAW_LEN));
        out_.containerType = Be16(v_);
        out_.flags = v_[2];
        out_.hopCount = v_[3];
        out_.containerLength = Be16(v_ + 4);
        out_.community = Be32(v_ + 6);
        out_.sourceAs = Be32(v_ + 10);
        out_.contextAs = Be32(v_ + 14);
        if (out_.containerType != 1) return Fail(0, Format("container type must be 1: %llu", out_.containerType));
        if (out_.flags & 3) return Fail(2, Format("container flags bits 0 and 1 must be clear: 0x%02llx", out_.flags));
        if (out_.containerLength < 12)
            return Fail(4, Format("container Length must be at least 12: %llu", out_.containerLength));
        if (out_.community != kMatchAndSet && out_.community != kMatchAndNoAdv)
            return Fail(6, Format("community must be MATCH AND SET (0x90000003) or MATCH AND NOADV (0x90000004): 0x%08llx",
                                  out_.community));
        uint8_t type = 0;
        uint16_t l1 = 0;
        if (!Tlv(18, n_ - 18, "Target TLV", type, l1)) return false;
        if (type != 1) return Fail(18, Format("the first TLV must be the Target TLV (type 1): type %llu", type));
        if (!Target(21, l1)) return false;
        uint16_t len = 0;
        const size_t ex = 21 + size_t{l1};
        if (!Tlv(ex, n_ - ex, "Exclude Target TLV", type, len)) return false;
        if (type != 2) return Fail(ex, Format("the Exclude Target TLV (type 2) must follow the Target TLV: type %llu", type));
        if (len != 0) return Fail(ex + 1, Format("the Exclude Target TLV must be empty: length %llu", len));
        const size_t par = ex + 3;
        uint16_t l3 = 0;
        if (!Tlv(par, n_ - par, "Parameter TLV", type, l3)) return false;
        if (type != 3) return Fail(par, Format("the Parameter TLV (type 3) must follow the Exclude Target TLV: type %llu", type));
        if (!Parameter(par + 3, l3)) return false;
        const size_t end = par + 3 + l3;
        if (end != n_) return Fail(end, Format("%llu bytes after the Parameter TLV", n_ - end));
        return true;
    }

    bool Target(size_t at, size_t l1) {
        uint8_t type = 0;
        uint16_t sub = 0;
        if (!Tlv(at, l1, "route-attribute sub-TLV", type, sub)) return false;
        if (type != 0x30)
            return Fail(at, Format("the Target TLV must hold a route-attribute sub-TLV (type 0x30): type 0x%02llx", type));
        if (sub == 0) return Fail(at + 1, "the route-attribute sub-TLV must not be empty");
        if (l1 - sub != kTlvHeader)
            return Fail(at + 1, Format("the route-attribute sub-TLV (length %llu) must fill the Target TLV (length %llu)",
                                       sub, l1));
        return Atoms(at + 3, sub);
    }

    bool Atoms(size_t at, size_t sub) {
        uint8_t type = 0;
        uint16_t len = 0;
        if (!Tlv(at, sub, "match atom", type, len)) return false;
        size_t remaining = sub - kTlvHeader;
        bool prefixSeen = false;
        for (;;) {
            WcAtom atom;
            atom.offset = at;
            const size_t value = at + 3;
            switch (type) {
                case 1:
                    if (prefixSeen) return Fail(at, "a second IPv4 prefix atom (one is allowed)");
                    prefixSeen = true;
                    atom.kind = WcAtom::Prefixes;
                    if (!Prefixes(value, len, atom.prefixes)) return false;
                    break;
                case 2:
                    atom.kind = WcAtom::AsPath;
                    if (len == 0 || len > kMaxAsPathText)
                        return Fail(at + 1, Format("an AS-path atom holds 1 to 1024 characters: %llu", len));
                    for (size_t i = 0; i < len; ++i)
                        if (v_[value + i] < 0x20 || v_[value + i] > 0x7E)
                            return Fail(value + i, Format("AS-path text character 0x%02llx is not printable", v_[value + i]));
                    atom.asPath.assign(reinterpret_cast<const char *>(v_ + value), len);
                    break;
                case 3:
                    atom.kind = WcAtom::Communities;
                    if (len <= 4 || (len - 1u) % 4 != 0)
                        return Fail(at + 1, Format("a community atom is one leading octet and 4-byte values: length %llu", len));
                    if ((len - 1u) / 4 > kMaxCmtyValues)
                        return Fail(at + 1, Format("a community atom holds at most 20 values: %llu", (len - 1u) / 4));
                    Communities(value, len, atom.communities);
                    break;
                default:
                    return Fail(at, Format("unknown match atom type %llu (1 prefixes, 2 AS path, 3 communities)", type));
            }
            out_.atoms.push_back(std::move(atom));
            remaining -= len;
            at = value + len;
            if (remaining == 0) return true;
            if (!Tlv(at, remaining, "match atom", type, len)) return false;
            remaining -= kTlvHeader;
        }
    }

    bool Prefixes(size_t at, size_t len, std::vector<WcPrefixEntry> &out) {
        if (len < 8 || len % 8 != 0)
            return Fail(at - 2, Format("an IPv4 prefix atom is a nonzero multiple of 8 bytes: %llu", len));
        for (size_t e = at; e < at + len; e += 8) {
            WcPrefixEntry p{v_[e], Be32(v_ + e + 1), v_[e + 5], v_[e + 6], v_[e + 7]};
            auto name = [&] { return Ipv4(p.addr) + "/" + std::to_string(p.mask); };
            const unsigned t = p.MatchType();
            if (t > 3) return Fail(e, Format("prefix entry match type must be 0 to 3: %llu", t));
            if (p.mask > 32) return Fail(e + 5, "prefix entry " + name() + ": mask length above 32");
            static const char *const kRule[] = {
                "exact match takes no greater-equal or less-equal length",
                "greater-equal match needs mask <= greater-equal <= 32 and no less-equal length",
                "less-equal match needs mask <= less-equal <= 32 and no greater-equal length",
                "greater-equal and less-equal match needs mask <= greater-equal <= less-equal <= 32",
            };
            const bool ok = t == 0   ? p.ge == 0 && p.le == 0
                            : t == 1 ? p.mask <= p.ge && p.ge <= 32 && p.le == 0
                            : t == 2 ? p.mask <= p.le && p.le <= 32 && p.ge == 0
                                     : p.mask <= p.ge && p.ge <= p.le && p.le <= 32;
            if (!ok)
                return Fail(e + 6, "prefix entry " + name() + Format(" ge %llu le %llu: ", p.ge, p.le) + kRule[t]);
            out.push_back(p);
        }
        return true;
    }

    void Communities(size_t at, size_t len, WcCommunities &out) {
        out.lead = v_[at];
        for (size_t i = at + 1; i + 4 <= at + len; i += 4) out.values.push_back(Be32(v_ + i));
    }

    bool Parameter(size_t at, size_t l3) {
        if (out_.community == kMatchAndNoAdv) {
            if (l3 != 0) return Fail(at - 2, Format("MATCH AND NOADV takes no actions: Parameter TLV length %llu", l3));
            return true;
        }
        if (l3 < kTlvHeader)
            return Fail(at - 2, Format("MATCH AND SET needs at least one action: Parameter TLV length %llu", l3));
        size_t pos = at;
        const size_t end = at + l3;
        uint8_t type = v_[pos];
        uint16_t len = Be16(v_ + pos + 1);
        size_t head = pos;
        pos += 3;
        // A last header whose value is absent ends the actions (the decoder accepts it).
        while (len <= end - pos) {
            WcAction act;
            act.offset = head;
            if (!Action(type, head, pos, len, act)) return false;
            out_.actions.push_back(std::move(act));
            pos += len;
            if (pos == end) return true;
            if (end - pos < kTlvHeader) return Fail(pos, Format("%llu stray bytes after the last action", end - pos));
            head = pos;
            type = v_[pos];
            len = Be16(v_ + pos + 1);
            pos += 3;
        }
        if (pos == end) {
            out_.trailingActionHeader = true;
            return true;
        }
        return Fail(head + 1, Format("action length %llu runs past the Parameter TLV (%llu bytes left)", len, end - pos));
    }

    bool Seen(WcAction::Kind k) const {
        for (const WcAction &a : out_.actions)
            if (a.kind == k) return true;
        return false;
    }

    bool Action(uint8_t type, size_t head, size_t at, size_t len, WcAction &act) {
        switch (type) {
            case 1:
                act.kind = WcAction::Med;
                if (Seen(WcAction::Med)) return Fail(head, "a second MED action (one is allowed)");
                if (len != 5) return Fail(head + 1, Format("a MED action is 5 bytes: %llu", len));
                act.medOperation = v_[at];
                act.medValue = Be32(v_ + at + 1);
                return true;
            case 2: {
                act.kind = WcAction::AsPathAdd;
                if (Seen(WcAction::AsPathAdd)) return Fail(head, "a second AS-path action (one is allowed)");
                if (len <= 4 || len % 5 != 0)
                    return Fail(head + 1, Format("an AS-path action is 5-byte entries: length %llu", len));
                if (len / 5 > kMaxAsPathEntries)
                    return Fail(head + 1, Format("an AS-path action holds at most 255 entries: %llu", len / 5));
                unsigned repeats = 0;
                for (size_t e = at; e < at + len; e += 5) {
                    const WcAsPathAdd add{Be32(v_ + e), v_[e + 4]};
                    if (add.as == 0) return Fail(e, "an AS-path action entry adds AS 0");
                    repeats += add.repeat;
                    act.asPath.push_back(add);
                }
                if (repeats > kMaxRepeats)
                    return Fail(head + 1, Format("an AS-path action adds at most 63 AS numbers: %llu", repeats));
                return true;
            }
            case 3:
                act.kind = WcAction::CommunityAdd;
                if (Seen(WcAction::CommunityAdd)) return Fail(head, "a second community action (one is allowed)");
                if (len <= 4) return Fail(head + 1, Format("a community action needs a leading octet and a value: length %llu", len));
                if ((len - 1u) / 4 > kMaxCmtyAddValues)
                    return Fail(head + 1, Format("a community action holds at most 5 values: %llu", (len - 1) / 4));
                Communities(at, len, act.communities);
                act.ignoredBytes = (len - 1) % 4;
                return true;
            default:
                return Fail(head, Format("unknown action type %llu (1 MED, 2 AS-path, 3 community)", type));
        }
    }

    const uint8_t *v_;
    size_t n_;
    WcPolicy &out_;
    WcVerdict verdict_;
};

}  // namespace

WcVerdict ExplainWideCommunity(const uint8_t *value, size_t n, WcPolicy &out) { return Walker(value, n, out).Run(); }

std::string HexExcerpt(const uint8_t *value, size_t n, size_t at, size_t width) {
    std::string s;
    const size_t from = at > width ? at - width : 0;
    const size_t to = std::min(n, at + width + 1);
    if (from > 0) s += "... ";
    for (size_t i = from; i < to; ++i) {
        char b[8];
        std::snprintf(b, sizeof(b), i == at ? "[%02x]" : "%02x", value[i]);
        s += b;
        if (i + 1 < to) s += ' ';
    }
    if (at >= n) s += from < to ? " []" : "[]";  // the byte that is missing
    if (to < n) s += " ...";
    return s;
}

}  // namespace rpdhost
