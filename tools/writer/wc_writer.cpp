#include "wc_writer.h"

namespace rpdwire {

namespace {

Tlv Values(uint8_t type, const std::vector<uint32_t> &values, uint8_t lead) {
    Tlv t{type, {}};
    Put8(t.value, lead);
    for (uint32_t v : values) Put32(t.value, v);
    return t;
}

}  // namespace

Tlv PrefixAtom(const std::vector<PrefixEntry> &entries) {
    Tlv t{1, {}};
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

Bytes Encode(const Policy &p) {
    Bytes atoms;
    for (const Tlv &a : p.atoms) AppendTlv(atoms, a);
    Bytes actions;
    for (const Tlv &a : p.actions) AppendTlv(actions, a);

    Tlv sub{p.subTlvType, atoms, static_cast<int32_t>(atoms.size()) + p.subTlvLenDelta};
    Tlv target{p.targetType, {}};
    AppendTlv(target.value, sub);

    Bytes tlvs;
    AppendTlv(tlvs, target);
    AppendTlv(tlvs, Tlv{p.excludeType, p.excludeValue});
    AppendTlv(tlvs, Tlv{p.parameterType, actions});
    tlvs.insert(tlvs.end(), p.trailing.begin(), p.trailing.end());

    Bytes out;
    Put16(out, p.containerType);
    Put8(out, p.flags);
    Put8(out, p.hopCount);
    const size_t rest = 12 + tlvs.size();
    Put16(out, static_cast<uint16_t>(p.containerLen >= 0 ? p.containerLen : static_cast<int32_t>(rest)));
    Put32(out, p.community);
    Put32(out, p.srcAs);
    Put32(out, p.contextAs);
    out.insert(out.end(), tlvs.begin(), tlvs.end());
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
