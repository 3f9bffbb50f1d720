// Wide Community decoder and action decoder: accepted shapes, refusals, limits.
#include "wc_view.h"

using namespace tamtest;
using namespace rpdwire;

namespace {

// The smallest attribute that decodes: one AS-path atom "^", MATCH AND NOADV.
const char kMinimalHex[] =
    "0001 00 00 001c 90000004 00000000 00000000"
    "01 0007  30 0004  02 0001 5e"
    "02 0000  03 0000";

// Every atom and action kind once: 10.0.0.0/8 exact, ^100$, 1:2, MED set 50,
// AS 100 twice, community 100 added; source AS 100, context AS 200.
const char kFullHex[] =
    "0001 00 00 004b 90000003 00000064 000000c8"
    "01 001e  30 001b"
    "  01 0008 00 0a000000 08 00 00"
    "  02 0005 5e31303024"
    "  03 0005 00 00010002"
    "02 0000"
    "03 0018"
    "  01 0005 00 00000032"
    "  02 0005 00000064 02"
    "  03 0005 00 00000064";

Policy WithAtoms(std::vector<Tlv> atoms) {
    Policy p;
    p.community = kMatchAndNoAdv;
    p.atoms = std::move(atoms);
    return p;
}

Policy WithActions(std::vector<Tlv> actions) {
    Policy p = MinimalPolicy();
    p.community = kMatchAndSet;
    p.actions = std::move(actions);
    return p;
}

Tlv RawTlv(uint8_t type, Bytes value) { return Tlv{type, std::move(value)}; }

}  // namespace

class WcDecoder : public PluginTest {};

TEST_F(WcDecoder, LiteralVectorsPinTheWireFormat) {
    EXPECT_EQ(Encode(MinimalPolicy()), Hex(kMinimalHex));
    Policy full;
    full.srcAs = 100;
    full.contextAs = 200;
    full.atoms = {PrefixAtom({{0x0A000000, 8, 0, 0, 0}}), AsPathAtom("^100$"), CmtyAtom({0x00010002})};
    full.actions = {MedAction(0, 50), AsPathAction({{100, 2}}), CmtyAction({100})};
    EXPECT_EQ(Encode(full), Hex(kFullHex));

    Decoded min(Hex(kMinimalHex), inst_);
    ASSERT_EQ(min.status, TAM_RPD_OK);
    ASSERT_EQ(Hex(kMinimalHex).size(), 34u);
    EXPECT_EQ(AsPathTexts(min.rec.stMatch), std::vector<std::string>{"^"});
    EXPECT_EQ(min.rec.stMatch.pstPrefixList, nullptr);
    EXPECT_EQ(min.rec.stMatch.stCmtyList.ulCount, 0u);
    EXPECT_EQ(min.rec.stApply.pstMed, nullptr);
    EXPECT_EQ(min.rec.stApply.pstAsPath, nullptr);
    EXPECT_EQ(min.rec.stApply.pstCmty, nullptr);

    Decoded d(Hex(kFullHex), inst_);
    ASSERT_EQ(d.status, TAM_RPD_OK);
    const TAM_RPD_WC_ATTR &r = d.rec;
    EXPECT_EQ(r.usContainerType, 1);
    EXPECT_EQ(r.usContainerLen, 0x4B);
    EXPECT_EQ(r.ulCommunity, kMatchAndSet);
    EXPECT_EQ(r.ulSrcAsNum, 100u);
    EXPECT_EQ(r.ulContextAsNum, 200u);
    ASSERT_NE(r.stMatch.pstPrefixList, nullptr);
    ASSERT_EQ(r.stMatch.pstPrefixList->usCount, 1);
    const TAM_RPD_PREFIX_ENTRY &e = r.stMatch.pstPrefixList->astEntry[0];
    EXPECT_EQ(e.ulAddr, 0x0A000000u);
    EXPECT_EQ(e.ucMaskLen, 8);
    EXPECT_EQ(e.ucMatchType, 0);
    EXPECT_EQ(AsPathTexts(r.stMatch), std::vector<std::string>{"^100$"});
    EXPECT_EQ(CmtyFilters(r.stMatch), (std::vector<std::vector<uint32_t>>{{0x00010002}}));
    // The actions' fields are pinned by ActionContents.
    EXPECT_TRUE(r.stApply.pstMed && r.stApply.pstAsPath && r.stApply.pstCmty);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, ContainerHeader) {
    struct Case {
        const char *name;
        uint16_t type;
        uint8_t flags;
        int32_t len;
        uint32_t community;
        uint32_t status;
    };
    const Case cases[] = {
        {"valid", 1, 0, -1, kMatchAndNoAdv, TAM_RPD_OK},
        {"container type 2", 2, 0, -1, kMatchAndNoAdv, TAM_RPD_ERR_PKT_MALFORMED},
        {"flag 0x01", 1, 0x01, -1, kMatchAndNoAdv, TAM_RPD_ERR_PKT_MALFORMED},
        {"flag 0x02", 1, 0x02, -1, kMatchAndNoAdv, TAM_RPD_ERR_PKT_MALFORMED},
        {"flag 0x80 stored", 1, 0x80, -1, kMatchAndNoAdv, TAM_RPD_OK},
        {"length 11", 1, 0, 11, kMatchAndNoAdv, TAM_RPD_ERR_PKT_MALFORMED},
        {"length 12 not compared with size", 1, 0, 12, kMatchAndNoAdv, TAM_RPD_OK},
        {"community 0x90000002", 1, 0, -1, 0x90000002, TAM_RPD_ERR_PKT_MALFORMED},
        {"community 0x90000005", 1, 0, -1, 0x90000005, TAM_RPD_ERR_PKT_MALFORMED},
        {"community 0", 1, 0, -1, 0, TAM_RPD_ERR_PKT_MALFORMED},
    };
    for (const Case &c : cases) {
        Policy p = MinimalPolicy();
        p.atoms = {AsPathAtom(std::string(150, 'x'))};  // a 200-byte attribute
        p.containerType = c.type;
        p.flags = c.flags;
        p.hopCount = 9;
        p.containerLen = c.len;
        p.community = c.community;
        Decoded d(Encode(p), inst_);
        EXPECT_EQ(d.status, c.status) << c.name;
        if (c.status == TAM_RPD_OK) {
            EXPECT_EQ(d.rec.ucFlags, c.flags) << c.name;
            EXPECT_EQ(d.rec.ucHopCount, 9) << c.name;
        } else {
            EXPECT_EQ(d.rec.usContainerType, 0) << c.name;  // header fields left zero
            EXPECT_EQ(d.rec.ulCommunity, 0u) << c.name;
        }
    }
    // A 17-byte value leaves the record untouched.
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0x33, sizeof(rec));
    Bytes v = Encode(MinimalPolicy());
    EXPECT_EQ(TAM_RPD_ParsePktWideCmtyPublic(&rec, v.data(), 17), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(rec.usContainerType, 0x3333);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, TlvFraming) {
    struct Case {
        const char *name;
        Policy policy;
    };
    auto mod = [](auto f) {
        Policy p = MinimalPolicy();
        f(p);
        return p;
    };
    const Case cases[] = {
        {"first TLV is a Parameter TLV", mod([](Policy &p) { p.targetType = 3; })},
        {"Exclude Target TLV of length 1", mod([](Policy &p) { p.excludeValue = {0}; })},
        {"Exclude Target TLV of type 4", mod([](Policy &p) { p.excludeType = 4; })},
        {"third TLV not a Parameter TLV", mod([](Policy &p) { p.parameterType = 2; })},
        {"one stray byte after the Parameter TLV", mod([](Policy &p) { p.trailing = {0}; })},
        {"sub-TLV of type 0x31", mod([](Policy &p) { p.subTlvType = 0x31; })},
        {"sub-TLV one byte short", mod([](Policy &p) { p.subTlvLenDelta = -1; })},
        {"sub-TLV longer than the Target TLV", mod([](Policy &p) { p.subTlvLenDelta = 1; })},
        {"empty sub-TLV", mod([](Policy &p) { p.atoms.clear(); })},
        {"atom of type 4", WithAtoms({RawTlv(4, {1, 2, 3})})},
        {"atom header cut", WithAtoms({AsPathAtom("a"), RawTlv(2, {}), })},
        {"atom longer than the sub-TLV", WithAtoms({Tlv{2, {'a'}, 9}})},
        {"MATCH AND NOADV with an action", mod([](Policy &p) { p.actions = {MedAction(0, 1)}; })},
        {"MATCH AND SET without actions", mod([](Policy &p) { p.community = kMatchAndSet; })},
    };
    for (const Case &c : cases) {
        Decoded d(Encode(c.policy), inst_);
        EXPECT_EQ(d.status, TAM_RPD_ERR_PKT_MALFORMED) << c.name;
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, MatchAtoms) {
    struct Case {
        const char *name;
        std::vector<Tlv> atoms;
        uint32_t status;
    };
    const PrefixEntry exact{0x0A000000, 8, 0, 0, 0};
    auto prefix = [](uint8_t type, uint8_t mask, uint8_t ge, uint8_t le, uint8_t nibble = 0) {
        return PrefixAtom({{0x0A000000, mask, ge, le, type, nibble}});
    };
    const Case cases[] = {
        {"two prefix atoms", {PrefixAtom({exact}), PrefixAtom({exact})}, TAM_RPD_ERR_PKT_MALFORMED},
        {"match type 4 (first octet 0x40)", {prefix(4, 8, 0, 0)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"first octet 0x1F is greater-equal", {prefix(1, 8, 8, 0, 0xF)}, TAM_RPD_OK},
        {"exact with greater-equal 1", {prefix(0, 24, 1, 0)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"exact with less-equal 1", {prefix(0, 24, 0, 1)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"exact mask 32", {prefix(0, 32, 0, 0)}, TAM_RPD_OK},
        {"greater-equal 24/24/0", {prefix(1, 24, 24, 0)}, TAM_RPD_OK},
        {"greater-equal below mask", {prefix(1, 24, 23, 0)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"greater-equal with less-equal", {prefix(1, 24, 24, 25)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"less-equal 8/0/32", {prefix(2, 8, 0, 32)}, TAM_RPD_OK},
        {"less-equal 33", {prefix(2, 8, 0, 33)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"less-equal with greater-equal", {prefix(2, 8, 1, 32)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"both 16/24/24", {prefix(3, 16, 24, 24)}, TAM_RPD_OK},
        {"both 16/25/24", {prefix(3, 16, 25, 24)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"both 16/24/33", {prefix(3, 16, 24, 33)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"mask 33 exact", {prefix(0, 33, 0, 0)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"mask 33 greater-equal", {prefix(1, 33, 33, 0)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"mask 33 less-equal", {prefix(2, 33, 0, 33)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"mask 33 both", {prefix(3, 33, 33, 33)}, TAM_RPD_ERR_PKT_MALFORMED},
        {"prefix atom of 12 bytes", {RawTlv(1, Bytes(12, 0))}, TAM_RPD_ERR_PKT_MALFORMED},
        {"prefix atom of 0 bytes", {RawTlv(1, {})}, TAM_RPD_ERR_PKT_MALFORMED},
        {"1024 prefix entries", {PrefixAtom(std::vector<PrefixEntry>(1024, exact))}, TAM_RPD_OK},
        {"community atom of 5 bytes", {CmtyAtom({1})}, TAM_RPD_OK},
        {"community atom of 81 bytes", {CmtyAtom(std::vector<uint32_t>(20, 7))}, TAM_RPD_OK},
        {"community atom of 85 bytes", {CmtyAtom(std::vector<uint32_t>(21, 7))}, TAM_RPD_ERR_PKT_MALFORMED},
        {"community atom of 6 bytes", {RawTlv(3, Bytes(6, 1))}, TAM_RPD_ERR_PKT_MALFORMED},
        {"community atom of 4 bytes", {RawTlv(3, Bytes(4, 1))}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path of 1024 characters", {AsPathAtom(std::string(1024, '~'))}, TAM_RPD_OK},
        {"AS-path of 1025 characters", {AsPathAtom(std::string(1025, 'a'))}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path with a tab", {AsPathAtom("^1\t2$")}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path with 0x7F", {AsPathAtom("^1\x7f")}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path with 0x1F", {AsPathAtom("\x1f")}, TAM_RPD_ERR_PKT_MALFORMED},
        {"empty AS-path", {AsPathAtom("")}, TAM_RPD_ERR_PKT_MALFORMED},
    };
    for (const Case &c : cases) {
        Decoded d(Encode(WithAtoms(c.atoms)), inst_);
        EXPECT_EQ(d.status, c.status) << c.name;
    }
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, RepeatedFiltersKeepWireOrder) {
    Decoded d(Encode(WithAtoms({CmtyAtom({3}), AsPathAtom("b"), CmtyAtom({1, 2}, 9), AsPathAtom("a"),
                                PrefixAtom({{1, 1, 1, 0, 1}, {2, 2, 0, 2, 2}})})),
              inst_);
    ASSERT_EQ(d.status, TAM_RPD_OK);
    EXPECT_EQ(AsPathTexts(d.rec.stMatch), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(CmtyFilters(d.rec.stMatch), (std::vector<std::vector<uint32_t>>{{3}, {1, 2}}));
    EXPECT_EQ(d.rec.stMatch.stAsPathList.ulCount, 2u);
    EXPECT_EQ(d.rec.stMatch.stCmtyList.ulCount, 2u);
    const auto *second = reinterpret_cast<const TAM_RPD_CMTY_FILTER *>(d.rec.stMatch.stCmtyList.stHead.pPrev);
    EXPECT_EQ(second->ucLeadOctet, 9);
    ASSERT_EQ(d.rec.stMatch.pstPrefixList->usCount, 2);
    EXPECT_EQ(d.rec.stMatch.pstPrefixList->astEntry[1].ucMatchType, 2);
    EXPECT_EQ(d.rec.stMatch.pstPrefixList->astEntry[1].ucLessEqual, 2);
}

TEST_F(WcDecoder, Actions) {
    struct Case {
        const char *name;
        std::vector<Tlv> actions;
        Bytes trailing;  // appended to the Parameter TLV value
        uint32_t status;
    };
    const Case cases[] = {
        {"MED subtract 100", {MedAction(2, 100)}, {}, TAM_RPD_OK},
        {"header with absent value", {}, {1, 0, 5}, TAM_RPD_OK},
        {"MED then one stray byte", {MedAction(1, 1)}, {0}, TAM_RPD_ERR_PKT_MALFORMED},
        {"MED then two stray bytes", {MedAction(1, 1)}, {0, 0}, TAM_RPD_ERR_PKT_MALFORMED},
        {"MED then a header with absent value", {MedAction(1, 1)}, {3, 0, 9}, TAM_RPD_OK},
        {"MED of 4 bytes", {RawTlv(1, Bytes(4, 0))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"MED of 6 bytes", {RawTlv(1, Bytes(6, 0))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"two MED actions", {MedAction(1, 1), MedAction(1, 2)}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"action type 4", {RawTlv(4, Bytes(5, 0))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"action type 0", {RawTlv(0, Bytes(5, 0))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path repeats 60+3", {AsPathAction({{1, 60}, {2, 3}})}, {}, TAM_RPD_OK},
        {"AS-path repeats 60+4", {AsPathAction({{1, 60}, {2, 4}})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path first AS 0", {AsPathAction({{0, 1}, {2, 1}})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path second AS 0", {AsPathAction({{1, 1}, {0, 1}})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path of 6 bytes", {RawTlv(2, Bytes(6, 1))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path of 4 bytes", {RawTlv(2, Bytes(4, 1))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"two AS-path actions", {AsPathAction({{1, 1}}), AsPathAction({{1, 1}})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"AS-path of 255 entries", {AsPathAction(std::vector<AsPathRepeat>(255, {7, 0}))}, {}, TAM_RPD_OK},
        {"AS-path of 256 entries", {AsPathAction(std::vector<AsPathRepeat>(256, {7, 0}))}, {},
         TAM_RPD_ERR_PKT_MALFORMED},
        {"community of 5 bytes", {CmtyAction({1})}, {}, TAM_RPD_OK},
        {"community of 7 bytes", {RawTlv(3, {0, 0, 0, 0, 1, 9, 9})}, {}, TAM_RPD_OK},
        {"community of 21 bytes", {CmtyAction({1, 2, 3, 4, 5})}, {}, TAM_RPD_OK},
        {"community of 25 bytes", {CmtyAction({1, 2, 3, 4, 5, 6})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"community of 4 bytes", {RawTlv(3, Bytes(4, 0))}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"two community actions", {CmtyAction({1}), CmtyAction({2})}, {}, TAM_RPD_ERR_PKT_MALFORMED},
        {"order 3, 1, 2", {CmtyAction({1}), MedAction(0, 5), AsPathAction({{9, 1}})}, {}, TAM_RPD_OK},
    };
    for (const Case &c : cases) {
        Policy p = WithActions(c.actions);
        Bytes v = Encode(p);
        // Stray bytes go inside the Parameter TLV, so its length must grow with them.
        if (!c.trailing.empty()) {
            const size_t paramHdr = v.size() - 3 - [&] {
                size_t n = 0;
                for (const Tlv &t : c.actions) n += 3 + t.value.size();
                return n;
            }();
            v.insert(v.end(), c.trailing.begin(), c.trailing.end());
            const uint16_t paramLen = static_cast<uint16_t>(v.size() - paramHdr - 3);
            v[paramHdr + 1] = static_cast<uint8_t>(paramLen >> 8);
            v[paramHdr + 2] = static_cast<uint8_t>(paramLen);
        }
        Decoded d(v, inst_);
        EXPECT_EQ(d.status, c.status) << c.name;
    }
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, ActionContents) {
    Decoded d(Encode(WithActions({CmtyAction({0xFFFFFFFF, 2}, 0x42), MedAction(2, 100),
                                  AsPathAction({{65000, 60}, {1, 3}})})),
              inst_);
    ASSERT_EQ(d.status, TAM_RPD_OK);
    const TAM_RPD_WC_APPLY &a = d.rec.stApply;
    EXPECT_EQ(a.pstMed->ucOperation, 2);
    EXPECT_EQ(a.pstMed->ulValue, 100u);
    ASSERT_EQ(a.pstAsPath->ucCount, 2);
    EXPECT_EQ(a.pstAsPath->astEntry[0].ulAsNum, 65000u);
    EXPECT_EQ(a.pstAsPath->astEntry[0].ucRepeat, 60);
    EXPECT_EQ(a.pstAsPath->astEntry[1].ucRepeat, 3);
    ASSERT_EQ(a.pstCmty->ucCount, 2);
    EXPECT_EQ(a.pstCmty->ucLeadOctet, 0x42);
    EXPECT_EQ(a.pstCmty->aulValue[0], 0xFFFFFFFFu);
}

// The exported parts of the decoder refuse on their own, with their own
// status, not only through the whole attribute.
TEST_F(WcDecoder, PartsRefuseOnTheirOwn) {
    const Bytes minimal = Hex(kMinimalHex);
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0, sizeof(rec));
    const Bytes wrongSub = Hex("31 0001 61"), looseSub = Hex("30 0004 02 0001 61 00");
    const Bytes cutAtom = Hex("02 00"), cutSecond = Hex("02 0001 61 02"), med4 = Hex("00 00000000");
    TAM_RPD_MED_APPLY *med = nullptr;
    struct Case {
        const char *name;
        uint32_t status;
    };
    const Case cases[] = {
        {"Target TLV header cut", TAM_RPD_ParsePktWideCommunity(&rec, minimal.data(), 20, inst_)},
        {"sub-TLV of another type", TAM_RPD_ParseTargetTLV(&rec.stMatch, wrongSub.data(), 4, inst_)},
        {"sub-TLV short of the Target TLV", TAM_RPD_ParseTargetTLV(&rec.stMatch, looseSub.data(), 8, inst_)},
        {"first atom header cut", TAM_RPD_WideCmtySubRouteAttrData(&rec.stMatch, cutAtom.data(), 2, inst_)},
        {"second atom header cut", TAM_RPD_WideCmtySubRouteAttrData(&rec.stMatch, cutSecond.data(), 5, inst_)},
        {"Parameter TLV under another community",
         TAM_RPD_ParseParameterTLV(0x90000005, &rec.stApply, minimal.data(), 0, inst_)},
        {"MED of 4 bytes", TAM_RPD_ParseWideCmtyApplyMed(&med, med4.data(), 4, inst_)},
    };
    for (const Case &c : cases) EXPECT_EQ(c.status, TAM_RPD_ERR_PKT_MALFORMED) << c.name;
    TAM_RPD_FreeWideCmtyData(&rec);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, TlvHeaderReader) {
    const uint8_t b[5] = {7, 0, 2, 0xAA, 0xBB};
    uint8_t type = 0;
    uint16_t len = 0;
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(b, 5, &type, &len), TAM_RPD_OK);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(len, 2);
    const uint8_t empty[3] = {9, 0, 0};
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(empty, 3, &type, &len), TAM_RPD_OK);  // a header alone is whole
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(b, 4, &type, &len), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(len, 2);  // outputs stay written
    type = 0xEE, len = 0xEEEE;
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(b, 2, &type, &len), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(type, 0xEE);  // a header cut short writes neither output
    EXPECT_EQ(len, 0xEEEE);
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(nullptr, 5, &type, &len), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_TLVGetTypeAndLen(b, 5, nullptr, &len), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcDecoder, MaskRule) {
    struct Row {
        uint8_t family, type, mask, ge, le, valid;
    };
    const Row rows[] = {
        {4, 0, 32, 0, 0, 1}, {6, 0, 8, 0, 0, 0},  {4, 1, 8, 32, 0, 1}, {4, 1, 8, 7, 0, 0},
        {4, 2, 8, 0, 8, 1},  {4, 2, 9, 0, 8, 0},  {4, 3, 0, 0, 0, 1},  {4, 3, 8, 9, 8, 0},
        {4, 4, 0, 0, 0, 0},  {4, 255, 0, 0, 0, 0}, {6, 3, 0, 0, 0, 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(TAM_RPD_IsIpPrefixMaskValid(r.family, r.type, r.mask, r.ge, r.le), r.valid)
            << int(r.type) << " " << int(r.mask) << " " << int(r.ge) << " " << int(r.le);
    }
    // The checkers take (family, mask, less-equal, greater-equal).
    EXPECT_EQ(TAM_RPD_MaskChkForGE(4, 8, 0, 9), 1);
    EXPECT_EQ(TAM_RPD_MaskChkForLE(4, 8, 9, 0), 1);
    EXPECT_EQ(TAM_RPD_MaskChkForLEGE(4, 8, 10, 9), 1);
    EXPECT_EQ(TAM_RPD_MaskChkForExact(4, 33, 0, 0), 0);
}

TEST_F(WcDecoder, NullArguments) {
    Bytes v = Encode(MinimalPolicy());
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0, sizeof(rec));
    TAM_RPD_PREFIX_LIST *list = nullptr;
    TAM_RPD_ASPATH_FILTER *ap = nullptr;
    TAM_RPD_CMTY_FILTER *cf = nullptr;
    TAM_RPD_MED_APPLY *med = nullptr;
    struct Case {
        const char *name;
        uint32_t status;
        uint64_t asserts;
    };
    const Case cases[] = {
        {"whole, no record", TAM_RPD_ParsePktWideCommunity(nullptr, v.data(), 34, inst_), 1},
        {"whole, no data", TAM_RPD_ParsePktWideCommunity(&rec, nullptr, 34, inst_), 1},
        {"header", TAM_RPD_ParsePktWideCmtyPublic(&rec, nullptr, 34), 1},
        {"target", TAM_RPD_ParseTargetTLV(nullptr, v.data(), 7, inst_), 1},
        {"walk", TAM_RPD_WideCmtySubRouteAttrData(&rec.stMatch, nullptr, 4, inst_), 1},
        {"prefix", TAM_RPD_ParsePktIpPrefix4Data(v.data(), 8, nullptr, inst_), 1},
        {"as-path", TAM_RPD_ParsePktAsPathData(nullptr, 1, &ap, inst_), 1},
        {"community", TAM_RPD_ParsePktCmtyData(nullptr, 5, &cf, inst_), 1},
        {"parameter", TAM_RPD_ParseParameterTLV(kMatchAndSet, nullptr, v.data(), 0, inst_), 0},
        {"actions", TAM_RPD_ParseWideCmtyApplyTLVData(nullptr, v.data(), 8, inst_), 1},
        {"med", TAM_RPD_ParseWideCmtyApplyMed(&med, nullptr, 5, inst_), 1},
        {"as-path action", TAM_RPD_ParseWideCmtyApplyAspath(nullptr, v.data(), 5, inst_), 1},
        {"community action", TAM_RPD_ParseWideCmtyApplyCommunity(nullptr, v.data(), 5, inst_), 1},
    };
    uint64_t asserts = 0;
    for (const Case &c : cases) {
        asserts += c.asserts;
        EXPECT_EQ(c.status, TAM_RPD_ERR_PARA) << c.name;
    }
    EXPECT_EQ(Asserts(), asserts);
    EXPECT_EQ(list, nullptr);
}

TEST_F(WcDecoder, ReleaseIsIdempotent) {
    Policy p = WithActions({MedAction(0, 1), CmtyAction({5})});
    p.atoms = {PrefixAtom({{1, 1, 0, 0, 0}}), AsPathAtom("a"), CmtyAtom({1}), AsPathAtom("b"), AsPathAtom("c"),
               CmtyAtom({2})};
    TAM_RPD_WC_ATTR rec;
    std::memset(&rec, 0, sizeof(rec));
    Bytes v = Encode(p);
    ASSERT_EQ(TAM_RPD_ParsePktWideCommunity(&rec, v.data(), static_cast<uint32_t>(v.size()), inst_), TAM_RPD_OK);
    EXPECT_EQ(Live(), 8u);  // prefix list, 3 + 2 filters, MED, community action
    TAM_RPD_FreeWideCmtyData(&rec);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(rec.stMatch.stAsPathList.ulCount, 0u);
    EXPECT_EQ(rec.stMatch.stCmtyList.ulCount, 0u);
    EXPECT_EQ(rec.stMatch.pstPrefixList, nullptr);
    EXPECT_EQ(rec.stApply.pstMed, nullptr);
    TAM_RPD_FreeWideCmtyData(&rec);
    TAM_RPD_FreeWideCmtyData(nullptr);
    TAM_RPD_FreeWideCmtyMatchData(nullptr);
    TAM_RPD_FreeWideCmtyApplyData(nullptr);
    // The fixed part can be decoded into again.
    EXPECT_EQ(TAM_RPD_ParsePktWideCommunity(&rec, v.data(), static_cast<uint32_t>(v.size()), inst_), TAM_RPD_OK);
    TAM_RPD_FreeWideCmtyData(&rec);
    EXPECT_EQ(Asserts(), 0u);
}
