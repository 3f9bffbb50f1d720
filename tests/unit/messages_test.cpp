// Route-prefix, attribute and configuration messages.
#include "wc_view.h"

using namespace tamtest;
using namespace rpdwire;

namespace {

const uint8_t kBody[10] = {0x09, 0x01, 0x00, 0x00, 0x00, 0x07, 0x0A, 0x00, 0x00, 0x01};

}  // namespace

class Messages : public PluginTest {
protected:
    TAM_RPD_ROUTE_KEY key_ = MakeKey(7, 0x0A000001);
    TAM_RPD_ROUTE_VIEW KeyView(TAM_RPD_ROUTE_KEY &k, uint32_t len = 24) {
        return JunkView(reinterpret_cast<uint8_t *>(&k), len, nullptr, 0);
    }
};

TEST_F(Messages, PrefixBodiesRoundTripOnEveryType) {
    TAM_RPD_ROUTE_VIEW view = KeyView(key_);
    int ctx = 0;
    struct Enc {
        uint16_t type;
        bool ha;
    };
    for (Enc e : {Enc{59, false}, Enc{1, true}, Enc{3, true}, Enc{5, true}}) {
        uint8_t buf[24];
        std::memset(buf, 0xEE, sizeof(buf));
        uint8_t *cur = buf;
        const uint32_t st = e.ha ? TAM_RPD_FormatHaMsg(&view, e.type, &cur, 24, &ctx)
                                 : TAM_RPD_FormatMsg(&view, e.type, &cur, 24, &ctx);
        ASSERT_EQ(st, TAM_RPD_OK) << e.type;
        EXPECT_EQ(cur, buf + 10);
        EXPECT_EQ(0, std::memcmp(buf, kBody, 10));
        EXPECT_EQ(buf[10], 0xEE);
        cur = buf;
        EXPECT_EQ(e.ha ? TAM_RPD_FormatHaMsg(&view, e.type, &cur, 23, &ctx)
                       : TAM_RPD_FormatMsg(&view, e.type, &cur, 23, &ctx),
                  TAM_RPD_ERR_BUF_SHORT);
        EXPECT_EQ(cur, buf);
    }
    // Decoding on every parse type; two extra bytes are ignored.
    uint8_t longer[12];
    std::memcpy(longer, kBody, 10);
    longer[10] = longer[11] = 0xFF;
    struct Dec {
        uint16_t type;
        bool ha;
    };
    for (Dec d : {Dec{53, false}, Dec{79, false}, Dec{80, false}, Dec{1, true}, Dec{3, true}, Dec{5, true}}) {
        for (uint16_t len : {uint16_t{10}, uint16_t{12}}) {
            OutBuf out;
            const uint32_t st = d.ha ? TAM_RPD_ParseHaMsg(longer, len, d.type, out.slot(), inst_)
                                     : TAM_RPD_ParseMsg(longer, len, d.type, out.slot(), inst_);
            ASSERT_EQ(st, TAM_RPD_OK) << d.type;
            EXPECT_EQ(out->ulFlags, TAM_RPD_OUT_KEY);
            EXPECT_EQ(TAM_RPD_CmpData(out.key(), 24, &key_, 24, 2), 0) << d.type;
        }
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Messages, PrefixBodyRefusals) {
    auto body = [](std::initializer_list<std::pair<size_t, uint8_t>> edits, size_t len = 10) {
        std::vector<uint8_t> b(len, 0);
        std::memcpy(b.data(), kBody, std::min<size_t>(len, sizeof(kBody)));
        for (auto [i, v] : edits) b[i] = v;
        return b;
    };
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        uint32_t ipv4Only;  // types 53, 1, 3, 5
        uint32_t bgpi;      // types 79, 80
    };
    const Case cases[] = {
        {"9 bytes", body({}, 9), TAM_RPD_ERR_MSG_TOO_SHORT, TAM_RPD_ERR_MSG_TOO_SHORT},
        {"length byte 21, 22 bytes", body({{0, 21}}, 22), TAM_RPD_ERR_PKT_MALFORMED, TAM_RPD_ERR_PKT_MALFORMED},
        {"length byte 10, 10 bytes", body({{0, 10}}), TAM_RPD_ERR_PKT_MALFORMED, TAM_RPD_ERR_PKT_MALFORMED},
        {"length byte 9, 10 bytes", body({}), TAM_RPD_OK, TAM_RPD_OK},
        {"policy type 2", body({{1, 2}}), TAM_RPD_ERR_PKT_MALFORMED, TAM_RPD_ERR_PKT_MALFORMED},
        {"length byte 21, policy 2, 22 bytes", body({{0, 21}, {1, 2}}, 22), TAM_RPD_ERR_PKT_MALFORMED,
         TAM_RPD_ERR_PKT_MALFORMED},
    };
    for (const Case &c : cases) {
        const uint16_t len = static_cast<uint16_t>(c.bytes.size());
        for (uint16_t type : {53, 79}) {
            OutBuf out;
            EXPECT_EQ(TAM_RPD_ParseMsg(c.bytes.data(), len, type, out.slot(), inst_),
                      type == 53 ? c.ipv4Only : c.bgpi)
                << c.name << " type " << type;
            EXPECT_EQ(out.get() != nullptr, (type == 53 ? c.ipv4Only : c.bgpi) == TAM_RPD_OK);
        }
        OutBuf out;
        EXPECT_EQ(TAM_RPD_ParseHaMsg(c.bytes.data(), len, 1, out.slot(), inst_), c.ipv4Only) << c.name;
    }
    // Encoding refusals: the MP_REACH encoder says "address unsupported" for the same key.
    int ctx = 0;
    uint8_t buf[24];
    uint8_t *cur = buf;
    TAM_RPD_ROUTE_KEY v6 = MakeKey(1, 1, 1, 16), p0 = MakeKey(1, 1, 0, 4);
    TAM_RPD_ROUTE_VIEW view6 = KeyView(v6), view0 = KeyView(p0), none = JunkView(nullptr, 0, nullptr, 0);
    EXPECT_EQ(TAM_RPD_FormatRtPrefixTlv(&view6, &cur, 24, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(TAM_RPD_FormatMpNlri(&view6, &cur, 24, &ctx), TAM_RPD_ERR_ADDR_UNSUPPORTED);
    EXPECT_EQ(TAM_RPD_FormatHaRtPrefixTlv(&view0, &cur, 24, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(TAM_RPD_FormatHaRtPrefixTlv(&none, &cur, 24, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(cur, buf);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
    // The HA dispatcher leaves the context pointer to its handler, which refuses it.
    EXPECT_EQ(TAM_RPD_FormatHaMsg(&view0, 1, &cur, 24, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_FormatMsg(&view0, 59, &cur, 24, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 2u);
}

TEST_F(Messages, AttributeMessages) {
    Policy p = FullPolicy();
    const Bytes body = Encode(p);
    const uint16_t n = static_cast<uint16_t>(body.size());
    OutBuf out;
    ASSERT_EQ(TAM_RPD_ParseAttrMsg(body.data(), n, 29, out.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(out->ulFlags, TAM_RPD_OUT_ATTR);
    EXPECT_EQ(out->ucAttrType, 11);
    EXPECT_EQ(out->ucAttrFlag, 0);
    EXPECT_EQ(out->usAttrLen, n + 136);
    EXPECT_EQ(0, std::memcmp(out.attr() + 132, body.data(), n));
    EXPECT_EQ(Live(), 1u);

    TAM_RPD_ROUTE_VIEW view = JunkViewOf(out);
    std::vector<uint8_t> buf(n + 4, 0xEE);
    uint8_t *cur = buf.data();
    int ctx = 0;
    EXPECT_EQ(TAM_RPD_FormatAttrMsg(&view, 29, &cur, static_cast<uint16_t>(n - 1), &ctx), TAM_RPD_ERR_BUF_SHORT);
    EXPECT_EQ(cur, buf.data());
    ASSERT_EQ(TAM_RPD_FormatAttrMsg(&view, 29, &cur, n, &ctx), TAM_RPD_OK);
    EXPECT_EQ(cur, buf.data() + n);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), buf.begin()));
    view.ulAttrLen -= 1;
    EXPECT_EQ(TAM_RPD_FormatAttrMsg(&view, 29, &cur, n, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    view.pucAttr = nullptr;
    EXPECT_EQ(TAM_RPD_FormatAttrMsg(&view, 29, &cur, n, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(Asserts(), 0u);

    // Refusals allocate nothing or release everything.
    Policy badTarget = FullPolicy();
    badTarget.subTlvType = 0x31;
    const Bytes bad = Encode(badTarget);
    OutBuf none;
    TAMHOST_Reset();
    EXPECT_EQ(TAM_RPD_ParseAttrMsg(body.data(), 17, 29, none.slot(), inst_), TAM_RPD_ERR_MSG_TOO_SHORT);
    EXPECT_EQ(TAMHOST_AllocCount(), 0u);
    EXPECT_EQ(TAM_RPD_ParseAttrMsg(bad.data(), static_cast<uint16_t>(bad.size()), 29, none.slot(), inst_),
              TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_EQ(Live(), 1u);
    TAMHOST_FailNthAlloc(1);
    EXPECT_EQ(TAM_RPD_ParseAttrMsg(body.data(), n, 29, none.slot(), inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(Asserts(), 1u);
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(TAM_RPD_ParseAttrMsg(body.data(), n, 28, none.slot(), inst_), TAM_RPD_ERR_NO_HANDLER);
}

// The largest body a stored record can hold (136 + 65,399 = 65,535, the
// 16-bit attribute length) is decoded, stored and given back byte for byte,
// and its configuration text renders; one byte more cannot be stored and is
// refused before anything is allocated.
TEST_F(Messages, AttributeMessageOfTheLargestRawLength) {
    for (const size_t len : {size_t{TAM_RPD_WC_MAX_RAW_LEN}, size_t{TAM_RPD_WC_MAX_RAW_LEN} + 1}) {
        SCOPED_TRACE(len);
        Policy p = MinimalPolicy();
        p.atoms.clear();
        size_t left = len - 30;  // header 18, Target and sub-TLV headers 6, empty Exclude and Parameter TLVs 6
        while (left > 0) {
            const size_t chars = std::min<size_t>(1024, left - 3);
            p.atoms.push_back(rpdwire::AsPathAtom(std::string(chars, '1')));
            left -= 3 + chars;
        }
        const Bytes body = Encode(p);
        ASSERT_EQ(body.size(), len);
        const uint16_t n = static_cast<uint16_t>(len);
        OutBuf out;
        TAMHOST_Reset();
        if (len > TAM_RPD_WC_MAX_RAW_LEN) {
            EXPECT_EQ(TAM_RPD_ParseAttrMsg(body.data(), n, 29, out.slot(), inst_), TAM_RPD_ERR_PKT_MALFORMED);
            EXPECT_EQ(TAMHOST_AllocCount(), 0u);
            EXPECT_EQ(out.get(), nullptr);
            continue;
        }
        ASSERT_EQ(TAM_RPD_ParseAttrMsg(body.data(), n, 29, out.slot(), inst_), TAM_RPD_OK);
        EXPECT_EQ(out->usAttrLen, 65535u);
        TAM_RPD_ROUTE_VIEW view = JunkViewOf(out);
        Bytes again(len);
        uint8_t *cur = again.data();
        int ctx = 0;
        ASSERT_EQ(TAM_RPD_FormatAttrMsg(&view, 29, &cur, n, &ctx), TAM_RPD_OK);
        EXPECT_EQ(again, body);
        std::vector<char> text(70000, '#');
        uint8_t *pos = reinterpret_cast<uint8_t *>(text.data());
        uint32_t o1 = 0, o2 = 9;
        ASSERT_EQ(TAM_RPD_FormatCfg(&view, 16, &pos, static_cast<uint32_t>(text.size()), &o1, &o2), TAM_RPD_OK);
        EXPECT_NE(std::string(text.data(), 20000).find(std::string(1024, '1')), std::string::npos);
        EXPECT_EQ(Live(), 1u);  // the stored copy only
    }
}

TEST_F(Messages, ConfigurationPrefixRecord) {
    TAM_RPD_ROUTE_VIEW view = KeyView(key_);
    uint8_t rec[40];
    std::memset(rec, 0xEE, sizeof(rec));
    uint8_t *cur = rec;
    uint32_t o1 = 9, o2 = 9;
    ASSERT_EQ(TAM_RPD_FormatCfg(&view, 2, &cur, 38, &o1, &o2), TAM_RPD_OK);
    EXPECT_EQ(cur, rec);  // the write position does not move
    EXPECT_EQ(o1, 0u);
    EXPECT_EQ(o2, 0u);
    TAM_RPD_CFG_PREFIX c;
    std::memcpy(&c, rec, sizeof(c));
    EXPECT_EQ(c.ulRecType, 8u);
    EXPECT_EQ(c.ucPolicyType, 1);
    EXPECT_EQ(c.ucAddrLen, 4);
    EXPECT_EQ(c.ulDistinguisher, 7u);
    EXPECT_EQ(c.ulPeerAddr, 0x0A000001u);
    EXPECT_EQ(c.ucFlag, 0);
    for (size_t i : {14, 20, 29, 31, 37, 38}) EXPECT_EQ(rec[i], 0xEE) << i;  // not carried: untouched

    OutBuf out;
    ASSERT_EQ(TAM_RPD_ParseCfg(rec, 38, 2, out.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(TAM_RPD_CmpData(out.key(), 24, &key_, 24, 2), 0);
    EXPECT_EQ(Asserts(), 0u);

    struct Case {
        const char *name;
        size_t off;
        uint8_t value;
        uint32_t status;
    };
    const Case cases[] = {{"record type 9", 0, 9, TAM_RPD_ERR_CFG_INVALID},
                          {"policy type 2", 4, 2, TAM_RPD_ERR_CFG_INVALID},
                          {"flag 1", 30, 1, TAM_RPD_ERR_CFG_INVALID},
                          {"address length 0 ignored", 5, 0, TAM_RPD_OK},
                          {"uncarried bytes ignored", 20, 0x42, TAM_RPD_OK}};
    for (const Case &k : cases) {
        uint8_t r[38];
        std::memcpy(r, rec, 38);
        r[k.off] = k.value;
        OutBuf o;
        EXPECT_EQ(TAM_RPD_ParseCfgPrefix(r, 38, o.slot(), inst_), k.status) << k.name;
        if (k.status == TAM_RPD_OK) {
            TAM_RPD_ROUTE_KEY got;
            std::memcpy(&got, o.key(), 24);
            EXPECT_EQ(got.ucAddrLen, 4) << k.name;
        }
    }
    EXPECT_EQ(Asserts(), 0u);
    EXPECT_EQ(TAM_RPD_ParseCfgPrefix(rec, 37, out.slot(), inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_ParseCfgPrefix(rec, 39, out.slot(), inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 2u);

    // Room and key checks of the encoder.
    std::memset(rec, 0xEE, sizeof(rec));
    EXPECT_EQ(TAM_RPD_FormatCfgPrefix(&view, &cur, 37, &o1, &o2), TAM_RPD_ERR_BUF_SHORT);
    EXPECT_EQ(rec[0], 0xEE);
    TAM_RPD_ROUTE_KEY v6 = MakeKey(1, 1, 1, 16);
    TAM_RPD_ROUTE_VIEW bad = KeyView(v6);
    o1 = o2 = 9;
    EXPECT_EQ(TAM_RPD_FormatCfgPrefix(&bad, &cur, 38, &o1, &o2), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(o1 + o2, 18u);
    EXPECT_EQ(Asserts(), 2u);
    TAM_RPD_ROUTE_VIEW shortLen = KeyView(key_, 23);
    EXPECT_EQ(TAM_RPD_FormatCfgPrefix(&shortLen, &cur, 38, &o1, &o2), TAM_RPD_OK);  // asserts, carries on
    EXPECT_EQ(Asserts(), 3u);
}

TEST_F(Messages, ConfigurationPolicyText) {
    const Bytes v = Encode(MinimalPolicy());
    OutBuf stored;
    const uint8_t *rd = v.data();
    uint32_t more = 0;
    ASSERT_EQ(TAM_RPD_ParsePkt(&rd, static_cast<uint32_t>(v.size()), 11, stored.slot(), &more, inst_), TAM_RPD_OK);
    TAM_RPD_ROUTE_VIEW view = JunkViewOf(stored);
    std::vector<char> text(600, '#');
    uint8_t *cur = reinterpret_cast<uint8_t *>(text.data());
    uint32_t o1 = 9, o2 = 9;
    ASSERT_EQ(TAM_RPD_FormatCfg(&view, 16, &cur, 600, &o1, &o2), TAM_RPD_OK);
    EXPECT_EQ(cur, reinterpret_cast<uint8_t *>(text.data()));
    EXPECT_EQ(o1, 9u);
    EXPECT_EQ(o2, 0u);
    // The same text the text callback gives.
    std::vector<char> same(600, '#');
    uint32_t c1 = 0, c2 = 0;
    ASSERT_EQ(TAM_RPD_Data2Str(&view, 0x40, same.data(), 600, &c1, &c2, inst_), TAM_RPD_OK);
    EXPECT_EQ(text, same);
    EXPECT_EQ(std::string(text.data(), 27), "Wide-community Container 1:");

    TAM_RPD_ROUTE_VIEW none = JunkView(nullptr, 0, nullptr, 0);
    std::fill(text.begin(), text.end(), '#');
    o2 = 9;
    EXPECT_EQ(TAM_RPD_FormatCfg(&none, 16, &cur, 600, &o1, &o2), TAM_RPD_OK);
    EXPECT_EQ(o2, 0u);
    EXPECT_EQ(text[0], '#');
    TAM_RPD_ROUTE_VIEW shortAttr = view;
    shortAttr.ulAttrLen = 17;
    o2 = 9;
    EXPECT_EQ(TAM_RPD_FormatCfg(&shortAttr, 16, &cur, 600, &o1, &o2), TAM_RPD_ERR);
    EXPECT_EQ(o2, 0u);
    shortAttr.ulAttrLen = 18;  // the length is not compared with the record: decoding goes on
    EXPECT_EQ(TAM_RPD_FormatCfg(&shortAttr, 16, &cur, 600, &o1, &o2), TAM_RPD_OK);
    std::vector<uint8_t> broken(stored.attr(), stored.attr() + view.ulAttrLen);
    broken[132] = 2;
    TAM_RPD_ROUTE_VIEW bv = JunkView(nullptr, 0, broken.data(), view.ulAttrLen);
    o2 = 9;
    EXPECT_EQ(TAM_RPD_FormatCfg(&bv, 16, &cur, 600, &o1, &o2), TAM_RPD_ERR);
    EXPECT_EQ(o2, 9u);
    uint8_t *nullPos = nullptr;
    EXPECT_EQ(TAM_RPD_FormatCfg(&view, 16, &nullPos, 600, &o1, &o2), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 0u);
    stored.reset();
    EXPECT_EQ(Live(), 0u);
}
