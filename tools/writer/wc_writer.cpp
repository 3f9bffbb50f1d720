#include "wc_writer.h"

namespace rpdwire {

namespace {

Tlv Values(uint8_t type, const std::vector<uint32_t> &values, uint8_t lead) {
    Tlv t{type, {}};
    t.value.reserve(1 + 4 * values.size());
    Put8(t.value, lead);
    for (uint32_t v : values) Put32(t.value, v);
    return t;
}

}  // namespace

Tlv PrefixAtom(const std::vector<PrefixEntry> &entries) {
    Tlv t{1, {}};
    t.value.reserve(8 * entries.size());
    for (const PrefixEntry &e : entries) {
        Put8(t.value, static_cast<uint8_t>((e.matchType << 4) | (e.lowNibble & 0x0F)));
        Put32(t.value, e.addr);
        Put8(t.value, e.mask);
        Put8(t.value, e.ge);
        Put8(t.value, e.le);
    }
    return t;
}

Tlv AsPathAtom(const std::string &text) { return Tlv{2, Bytes(text.begin(), text.end())}; }
Tlv CmtyAtom(const std::vector<uint32_t> &values, uint8_t lead) { return Values(3, values, lead); }

Tlv MedAction(uint8_t op, uint32_t value) {
    Tlv t{1, {}};
    Put8(t.value, op);
    Put32(t.value, value);
    return t;
}

Tlv AsPathAction(const std::vector<AsPathRepeat> &entries) {
    Tlv t{2, {}};
    t.value.reserve(5 * entries.size());
    for (const AsPathRepeat &e : entries) {
        Put32(t.value, e.asNum);
        Put8(t.value, e.repeat);
    }
    return t;
}

Tlv CmtyAction(const std::vector<uint32_t> &values, uint8_t lead) { return Values(3, values, lead); }

void AppendTlv(Bytes &out, const Tlv &tlv) {
    Put8(out, tlv.type);
    Put16(out, static_cast<uint16_t>(tlv.lengthOverride >= 0 ? tlv.lengthOverride : tlv.value.size()));
    out.insert(out.end(), tlv.value.begin(), tlv.value.end());
}

void Encode(const Policy &p, Bytes &out) {
    out.clear();
    Put16(out, p.containerType);
    Put8(out, p.flags);
    Put8(out, p.hopCount);
    const size_t containerLenAt = out.size();
    Put16(out, 0);
    Put32(out, p.community);
    Put32(out, p.srcAs);
    Put32(out, p.contextAs);
    // Each TLV's length is written once its value is.
    auto open = [&](uint8_t type) {
        Put8(out, type);
        Put16(out, 0);
        return out.size();
    };
    auto close = [&](size_t valueAt, int32_t delta) {  // a length made negative is written true
        const int32_t size = static_cast<int32_t>(out.size() - valueAt);
        Patch16(out, valueAt - 2, static_cast<uint16_t>(size + delta >= 0 ? size + delta : size));
    };
    const size_t target = open(p.targetType);
    const size_t sub = open(p.subTlvType);
    for (const Tlv &a : p.atoms) AppendTlv(out, a);
    close(sub, p.subTlvLenDelta);
    close(target, 0);
    const size_t exclude = open(p.excludeType);
    Append(out, p.excludeValue);
    close(exclude, 0);
    const size_t parameter = open(p.parameterType);
    for (const Tlv &a : p.actions) AppendTlv(out, a);
    close(parameter, 0);
    Append(out, p.trailing);
    Patch16(out, containerLenAt, static_cast<uint16_t>(p.containerLen >= 0 ? p.containerLen : out.size() - 6));
}

Bytes Encode(const Policy &p) {
    Bytes out;
    Encode(p, out);
    return out;
}

Policy MinimalPolicy() {
    Policy p;
    p.community = kMatchAndNoAdv;
    p.atoms = {AsPathAtom("^")};
    return p;
}

Policy FullPolicy() {
    Policy p;
    p.flags = 0x80;
    p.hopCount = 3;
    p.srcAs = 100;
    p.contextAs = 200;
    p.atoms = {
        PrefixAtom({{0x0A000000, 8, 0, 0, 0}, {0xC0A80000, 16, 24, 0, 1}, {0xAC100000, 12, 0, 20, 2},
                    {0x0A010000, 16, 18, 24, 3}}),
        AsPathAtom("^100$"),
        AsPathAtom("_200_"),
        CmtyAtom({0x00010002, 0xFFFFFFFF}),
        CmtyAtom({0x00640001}, 0x01),
    };
    p.actions = {
        MedAction(1, 50),
        AsPathAction({{100, 2}, {200, 1}}),
        CmtyAction({100, 200}),
    };
    return p;
}

}  // namespace rpdwire
