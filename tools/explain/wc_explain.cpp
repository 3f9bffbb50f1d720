#include "wc_explain.h"

#include <cstdio>

#include "address.h"
#include "byte_reader.h"
#include "tam_rpd.h"
#include "wire.h"

namespace rpdhost {

namespace {

using rpdwire::ByteReader;
using rpdwire::kMatchAndNoAdv;
using rpdwire::kMatchAndSet;

constexpr size_t kHeaderLen = 18;
constexpr size_t kTlvHeader = 3;
constexpr uint8_t kTargetTlv = 1, kExcludeTlv = 2, kParameterTlv = 3, kRouteAttrSubTlv = 0x30;
constexpr size_t kMaxAsPathText = 1024, kMaxCmtyValues = 20, kMaxCmtyAddValues = 5, kMaxAsPathEntries = 255;
constexpr unsigned kMaxRepeats = 63;

std::string Format(const char *fmt, unsigned long long a, unsigned long long b = 0, unsigned long long c = 0) {
    char text[200];
    std::snprintf(text, sizeof(text), fmt, a, b, c);
    return text;
}

// Element `used` of `v`, as new but with the storage of its lists kept; made when `v` is shorter.
template <typename T> T &Slot(std::vector<T> &v, size_t used) {
    if (used == v.size()) return v.emplace_back();
    T &a = v[used];
    a.Clear();
    return a;
}

class Walker {
public:
    Walker(const uint8_t *v, size_t n, WcPolicy &out) : v_(v), n_(n), out_(out) {}

    WcVerdict Run() {
        // The atoms and actions of the last reading are written over, so that
        // a stream of policies reuses their storage.
        std::vector<WcAtom> atoms = std::move(out_.atoms);
        std::vector<WcAction> actions = std::move(out_.actions);
        out_ = WcPolicy{};
        out_.atoms = std::move(atoms);
        out_.actions = std::move(actions);
        verdict_ = WcVerdict{};
        verdict_.accepted = Attribute();
        out_.atoms.resize(atoms_);
        out_.actions.resize(actions_);
        return verdict_;
    }

private:
    bool Fail(size_t at, std::string rule) {
        verdict_.rule = std::move(rule);
        verdict_.at = at;
        return false;
    }

    // Where `r`'s next byte stands in the attribute value.
    size_t At(const ByteReader &r) const { return static_cast<size_t>(r.Here() - v_); }

    // A TLV at `r`'s position, its value as a reader of its own; `what` names it in a refusal.
    bool Tlv(ByteReader &r, const char *what, uint8_t &type, ByteReader &value) {
        const size_t at = At(r), avail = r.Left();
        uint16_t len = 0;
        if (!r.U8(type) || !r.U16(len)) return TlvCutShort(at, what, avail);
        if (!r.Sub(len, value)) return TlvTooLong(at, what, len, avail);
        return true;
    }
    // The refusals, out of the way of the walk over values that read whole.
    [[gnu::cold, gnu::noinline]] bool TlvCutShort(size_t at, const char *what, size_t avail) {
        return Fail(at, std::string(what) + " header cut short: " + std::to_string(avail) + " of 3 bytes");
    }
    [[gnu::cold, gnu::noinline]] bool TlvTooLong(size_t at, const char *what, uint16_t len, size_t avail) {
        return Fail(at + 1, std::string(what) + " length " + std::to_string(len) + " runs past its end (" +
                                std::to_string(avail - kTlvHeader) + " bytes left)");
    }

    bool Attribute() {
        if (n_ == 0) return Fail(0, "the attribute value is empty");
        if (n_ < kHeaderLen)
            return Fail(0, Format("the attribute value of %llu bytes is shorter than the 18-byte container header", n_));
        if (n_ > TAM_RPD_WC_MAX_RAW_LEN)
            return Fail(0, Format("the attribute value of %llu bytes is longer than the %llu a stored policy can hold", n_,
                                  TAM_RPD_WC_MAX_RAW_LEN));
        ByteReader r(v_, n_);
        (void)(r.U16(out_.containerType) && r.U8(out_.flags) && r.U8(out_.hopCount) && r.U16(out_.containerLength) &&
               r.U32(out_.community) && r.U32(out_.sourceAs) && r.U32(out_.contextAs));
        if (out_.containerType != 1) return Fail(0, Format("container type must be 1: %llu", out_.containerType));
        if (out_.flags & 3) return Fail(2, Format("container flags bits 0 and 1 must be clear: 0x%02llx", out_.flags));
        if (out_.containerLength < 12)
            return Fail(4, Format("container Length must be at least 12: %llu", out_.containerLength));
        if (out_.community != kMatchAndSet && out_.community != kMatchAndNoAdv)
            return Fail(6, Format("community must be MATCH AND SET (0x90000003) or MATCH AND NOADV (0x90000004): 0x%08llx",
                                  out_.community));
        uint8_t type = 0;
        ByteReader target, exclude, parameter;
        size_t at = At(r);
        if (!Tlv(r, "Target TLV", type, target)) return false;
        if (type != kTargetTlv) return Fail(at, Format("the first TLV must be the Target TLV (type 1): type %llu", type));
        if (!Target(target)) return false;
        at = At(r);
        if (!Tlv(r, "Exclude Target TLV", type, exclude)) return false;
        if (type != kExcludeTlv)
            return Fail(at, Format("the Exclude Target TLV (type 2) must follow the Target TLV: type %llu", type));
        if (exclude.Size() != 0)
            return Fail(at + 1, Format("the Exclude Target TLV must be empty: length %llu", exclude.Size()));
        at = At(r);
        if (!Tlv(r, "Parameter TLV", type, parameter)) return false;
        if (type != kParameterTlv)
            return Fail(at, Format("the Parameter TLV (type 3) must follow the Exclude Target TLV: type %llu", type));
        if (!Parameter(parameter, at + 1)) return false;
        if (r.Left() > 0) return Fail(At(r), Format("%llu bytes after the Parameter TLV", r.Left()));
        return true;
    }

    bool Target(ByteReader target) {
        const size_t at = At(target);
        uint8_t type = 0;
        ByteReader sub;
        if (!Tlv(target, "route-attribute sub-TLV", type, sub)) return false;
        if (type != kRouteAttrSubTlv)
            return Fail(at, Format("the Target TLV must hold a route-attribute sub-TLV (type 0x30): type 0x%02llx", type));
        if (sub.Size() == 0) return Fail(at + 1, "the route-attribute sub-TLV must not be empty");
        if (target.Left() != 0)
            return Fail(at + 1, Format("the route-attribute sub-TLV (length %llu) must fill the Target TLV (length %llu)",
                                       sub.Size(), target.Size()));
        return Atoms(sub);
    }

    bool Atoms(ByteReader atoms) {
        bool prefixSeen = false;
        while (atoms.Left() > 0) {
            WcAtom &atom = Slot(out_.atoms, atoms_);
            atom.offset = At(atoms);
            uint8_t type = 0;
            ByteReader value;
            if (!Tlv(atoms, "match atom", type, value)) return false;
            const size_t head = atom.offset, len = value.Size(), at = At(value);
            switch (type) {
                case WcAtom::Prefixes:
                    if (prefixSeen) return Fail(head, "a second IPv4 prefix atom (one is allowed)");
                    prefixSeen = true;
                    atom.kind = WcAtom::Prefixes;
                    if (len < 8 || len % 8 != 0)
                        return Fail(head + 1, Format("an IPv4 prefix atom is a nonzero multiple of 8 bytes: %llu", len));
                    if (!Prefixes(value, atom.prefixes)) return false;
                    break;
                case WcAtom::AsPath:
                    atom.kind = WcAtom::AsPath;
                    if (len == 0 || len > kMaxAsPathText)
                        return Fail(head + 1, Format("an AS-path atom holds 1 to 1024 characters: %llu", len));
                    for (size_t i = 0; i < len; ++i)
                        if (v_[at + i] < 0x20 || v_[at + i] > 0x7E)
                            return Fail(at + i, Format("AS-path text character 0x%02llx is not printable", v_[at + i]));
                    atom.asPath.assign(reinterpret_cast<const char *>(value.Here()), len);
                    break;
                case WcAtom::Communities:
                    atom.kind = WcAtom::Communities;
                    if (len <= 4 || (len - 1u) % 4 != 0)
                        return Fail(head + 1, Format("a community atom is one leading octet and 4-byte values: length %llu", len));
                    if ((len - 1u) / 4 > kMaxCmtyValues)
                        return Fail(head + 1, Format("a community atom holds at most 20 values: %llu", (len - 1u) / 4));
                    Communities(value, atom.communities);
                    break;
                default:
                    return Fail(head, Format("unknown match atom type %llu (1 prefixes, 2 AS path, 3 communities)", type));
            }
            ++atoms_;
        }
        return true;
    }

    bool Prefixes(ByteReader r, std::vector<WcPrefixEntry> &out) {
        const uint8_t *b = nullptr;
        while (r.Take(8, b)) {  // the atom's length is a multiple of 8
            const size_t e = static_cast<size_t>(b - v_);
            const uint8_t first = b[0], mask = b[5], ge = b[6], le = b[7];
            const uint32_t addr = rpdwire::Be32(b + 1);
            // Built from values read into registers: testing fields just stored one byte at a
            // time, as the compiler does for the rules below, stalls on every entry.
            const WcPrefixEntry p{first, addr, mask, ge, le};
            auto name = [addr, mask] { return rpdwire::Ipv4PrefixText(addr, mask); };
            const unsigned t = p.MatchType();
            if (t > 3) return Fail(e, Format("prefix entry match type must be 0 to 3: %llu", t));
            if (mask > 32) return Fail(e + 5, "prefix entry " + name() + ": mask length above 32");
            static const char *const kRule[] = {
                "exact match takes no greater-equal or less-equal length",
                "greater-equal match needs mask <= greater-equal <= 32 and no less-equal length",
                "less-equal match needs mask <= less-equal <= 32 and no greater-equal length",
                "greater-equal and less-equal match needs mask <= greater-equal <= less-equal <= 32",
            };
            const bool ok = t == 0   ? ge == 0 && le == 0
                            : t == 1 ? mask <= ge && ge <= 32 && le == 0
                            : t == 2 ? mask <= le && le <= 32 && ge == 0
                                     : mask <= ge && ge <= le && le <= 32;
            if (!ok)
                return Fail(e + 6, "prefix entry " + name() + Format(" ge %llu le %llu: ", ge, le) + kRule[t]);
            out.push_back(p);
        }
        return true;
    }

    // A leading octet and whole 4-byte values; bytes after the last whole one are left.
    static void Communities(ByteReader r, WcCommunities &out) {
        uint32_t v = 0;
        (void)r.U8(out.lead);
        while (r.U32(v)) out.values.push_back(v);
    }

    // The Parameter TLV's actions; `lengthAt` is where its length field stands.
    bool Parameter(ByteReader r, size_t lengthAt) {
        const size_t l3 = r.Size();
        if (out_.community == kMatchAndNoAdv) {
            if (l3 != 0) return Fail(lengthAt, Format("MATCH AND NOADV takes no actions: Parameter TLV length %llu", l3));
            return true;
        }
        if (l3 < kTlvHeader)
            return Fail(lengthAt, Format("MATCH AND SET needs at least one action: Parameter TLV length %llu", l3));
        for (;;) {
            const size_t head = At(r);
            uint8_t type = 0;
            uint16_t len = 0;
            ByteReader value;
            (void)(r.U8(type) && r.U16(len));
            if (!r.Sub(len, value)) {
                // A last header whose value is absent ends the actions (the decoder accepts it).
                if (r.Left() == 0) {
                    out_.trailingActionHeader = true;
                    return true;
                }
                return Fail(head + 1,
                            Format("action length %llu runs past the Parameter TLV (%llu bytes left)", len, r.Left()));
            }
            WcAction &act = Slot(out_.actions, actions_);
            act.offset = head;
            if (!Action(type, head, value, act)) return false;
            ++actions_;
            if (r.Left() == 0) return true;
            if (r.Left() < kTlvHeader) return Fail(At(r), Format("%llu stray bytes after the last action", r.Left()));
        }
    }

    bool Seen(WcAction::Kind k) const {
        for (size_t i = 0; i < actions_; ++i)
            if (out_.actions[i].kind == k) return true;
        return false;
    }

    bool Action(uint8_t type, size_t head, ByteReader v, WcAction &act) {
        const size_t len = v.Size();
        switch (type) {
            case WcAction::Med:
                act.kind = WcAction::Med;
                if (Seen(WcAction::Med)) return Fail(head, "a second MED action (one is allowed)");
                if (len != 5) return Fail(head + 1, Format("a MED action is 5 bytes: %llu", len));
                (void)(v.U8(act.medOperation) && v.U32(act.medValue));
                return true;
            case WcAction::AsPathAdd: {
                act.kind = WcAction::AsPathAdd;
                if (Seen(WcAction::AsPathAdd)) return Fail(head, "a second AS-path action (one is allowed)");
                if (len <= 4 || len % 5 != 0)
                    return Fail(head + 1, Format("an AS-path action is 5-byte entries: length %llu", len));
                if (len / 5 > kMaxAsPathEntries)
                    return Fail(head + 1, Format("an AS-path action holds at most 255 entries: %llu", len / 5));
                unsigned repeats = 0;
                while (v.Left() > 0) {
                    const size_t e = At(v);
                    WcAsPathAdd add;
                    (void)(v.U32(add.as) && v.U8(add.repeat));
                    if (add.as == 0) return Fail(e, "an AS-path action entry adds AS 0");
                    repeats += add.repeat;
                    act.asPath.push_back(add);
                }
                if (repeats > kMaxRepeats)
                    return Fail(head + 1, Format("an AS-path action adds at most 63 AS numbers: %llu", repeats));
                return true;
            }
            case WcAction::CommunityAdd:
                act.kind = WcAction::CommunityAdd;
                if (Seen(WcAction::CommunityAdd)) return Fail(head, "a second community action (one is allowed)");
                if (len <= 4) return Fail(head + 1, Format("a community action needs a leading octet and a value: length %llu", len));
                if ((len - 1u) / 4 > kMaxCmtyAddValues)
                    return Fail(head + 1, Format("a community action holds at most 5 values: %llu", (len - 1) / 4));
                Communities(v, act.communities);
                act.ignoredBytes = (len - 1) % 4;
                return true;
            default:
                return Fail(head, Format("unknown action type %llu (1 MED, 2 AS-path, 3 community)", type));
        }
    }

    const uint8_t *v_;
    size_t n_;
    WcPolicy &out_;
    size_t atoms_ = 0, actions_ = 0;  // of out_'s, those read whole
    WcVerdict verdict_;
};

}  // namespace

WcVerdict ExplainWideCommunity(const uint8_t *value, size_t n, WcPolicy &out) { return Walker(value, n, out).Run(); }

}  // namespace rpdhost
