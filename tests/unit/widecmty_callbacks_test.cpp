// Wide Community attribute callbacks, allocation failure and robustness sweeps.
#include "wc_view.h"

using namespace tamtest;
using namespace rpdwire;

class WcCallbacks : public PluginTest {
protected:
    uint32_t Parse(const Bytes &v, OutBuf &out, const uint8_t *&cur, uint32_t &more) {
        cur = v.data();
        return TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(v.size()), 11, out.slot(), &more, inst_);
    }
};

TEST_F(WcCallbacks, ParseHandsOverTheWholeRecord) {
    const Bytes v = Encode(MinimalPolicy());
    OutBuf out;
    const uint8_t *cur = nullptr;
    uint32_t more = 7;
    ASSERT_EQ(Parse(v, out, cur, more), TAM_RPD_OK);
    EXPECT_EQ(cur, v.data() + 34);
    EXPECT_EQ(more, 0u);
    EXPECT_EQ(out->ulFlags, TAM_RPD_OUT_ATTR);
    EXPECT_EQ(out->ucAttrFlag, 0);
    EXPECT_EQ(out->ucAttrType, 11);
    EXPECT_EQ(out->usAttrOffset, 32);
    ASSERT_EQ(out->usAttrLen, 170);
    const auto *rec = reinterpret_cast<const TAM_RPD_WC_ATTR *>(out.attr());
    EXPECT_EQ(rec->usRawLen, 34);
    EXPECT_EQ(rec->usRsv6, 0);
    EXPECT_EQ(rec->pOwner, inst_);
    EXPECT_EQ(rec->ulCommunity, kMatchAndNoAdv);
    EXPECT_EQ(0, std::memcmp(out.attr() + 132, v.data(), 34));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out.attr()[166 + i], 0);
    EXPECT_EQ(Live(), 1u);  // only the host's buffer
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(WcCallbacks, ParseRefusals) {
    Policy bad = FullPolicy();
    bad.containerType = 2;
    const Bytes badType = Encode(bad);
    const Bytes full = Encode(FullPolicy());
    struct Case {
        const char *name;
        Bytes bytes;
        uint32_t len;
        uint32_t status;
        long move;
        uint32_t more;  // 7: untouched
    };
    const Case cases[] = {
        {"length 17", full, 17, TAM_RPD_ERR_PKT_MALFORMED, 17, 7},
        {"length 1", full, 1, TAM_RPD_ERR_PKT_MALFORMED, 1, 7},
        {"container type 2", badType, static_cast<uint32_t>(badType.size()), TAM_RPD_ERR_PKT_MALFORMED,
         static_cast<long>(badType.size()), 7},
        {"truncated by one", full, static_cast<uint32_t>(full.size() - 1), TAM_RPD_ERR_PKT_MALFORMED,
         static_cast<long>(full.size() - 1), 7},
    };
    for (const Case &c : cases) {
        TAMHOST_Reset();
        OutBuf out;
        const uint8_t *cur = c.bytes.data();
        uint32_t more = 7;
        EXPECT_EQ(TAM_RPD_ParsePkt(&cur, c.len, 11, out.slot(), &more, inst_), c.status) << c.name;
        EXPECT_EQ(cur - c.bytes.data(), c.move) << c.name;
        EXPECT_EQ(more, c.more) << c.name;
        EXPECT_EQ(out.get(), nullptr) << c.name;
        EXPECT_EQ(Live(), 0u) << c.name;
        EXPECT_EQ(Asserts(), 0u) << c.name;
        if (c.len <= 17) EXPECT_EQ(TAMHOST_AllocCount(), 0u) << c.name;
    }
    // Length 0 reaching the handler directly: more flag cleared, cursor stays.
    const uint8_t *cur = full.data();
    uint32_t more = 7;
    OutBuf out;
    EXPECT_EQ(TAM_RPD_ParseWideCommunity(&cur, 0, out.slot(), &more, inst_), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(more, 0u);
    EXPECT_EQ(cur, full.data());
}

TEST_F(WcCallbacks, ValuesTooLongForAStoredRecordAreRefused) {
    Policy p = MinimalPolicy();
    p.atoms = {PrefixAtom(std::vector<PrefixEntry>(8175, PrefixEntry{0x0A000000, 8, 0, 0, 0}))};
    const Bytes v = Encode(p);
    ASSERT_GT(v.size(), TAM_RPD_WC_MAX_RAW_LEN);
    OutBuf out;
    const uint8_t *cur = nullptr;
    uint32_t more = 0;
    EXPECT_EQ(Parse(v, out, cur, more), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(cur, v.data() + v.size());
    EXPECT_EQ(TAMHOST_AllocCount(), 0u);

    p.atoms = {PrefixAtom(std::vector<PrefixEntry>(8100, PrefixEntry{0x0A000000, 8, 0, 0, 0}))};
    const Bytes fits = Encode(p);
    ASSERT_LE(fits.size(), TAM_RPD_WC_MAX_RAW_LEN);
    EXPECT_EQ(Parse(fits, out, cur, more), TAM_RPD_OK);
    EXPECT_EQ(out->usAttrLen, fits.size() + 136);
}

TEST_F(WcCallbacks, FormatWritesTheRawValueBack) {
    const Bytes v = Encode(FullPolicy());
    OutBuf out;
    const uint8_t *cur = nullptr;
    uint32_t more = 0;
    ASSERT_EQ(Parse(v, out, cur, more), TAM_RPD_OK);
    TAM_RPD_ROUTE_VIEW view = JunkViewOf(out);
    const uint32_t n = static_cast<uint32_t>(v.size());
    int ctx = 0;
    std::vector<uint8_t> buf(n + 8, 0xEE);
    uint8_t *wr = buf.data();
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 11, &wr, n - 1, &ctx), TAM_RPD_ERR_BUF_SHORT);
    EXPECT_EQ(wr, buf.data());
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 11, &wr, n, &ctx), TAM_RPD_OK);
    EXPECT_EQ(wr, buf.data() + n);
    EXPECT_TRUE(std::equal(v.begin(), v.end(), buf.begin()));
    EXPECT_EQ(buf[n], 0xEE);

    // Only the low 16 bits of the host's attribute length take part.
    view.ulAttrLen += 65536;
    wr = buf.data();
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 11, &wr, n, &ctx), TAM_RPD_OK);
    view.ulAttrLen -= 65537;
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 11, &wr, n, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    view.pucAttr = nullptr;
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 11, &wr, n, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(Asserts(), 0u);
    uint8_t *nullPos = nullptr;
    EXPECT_EQ(TAM_RPD_FormatWideCommunity(&view, &nullPos, n, &ctx), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_FormatWideCommunity(&view, &wr, n, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 2u);
}

TEST_F(WcCallbacks, SetAttributeReemitsTheStoredRecord) {
    const Bytes v = Encode(FullPolicy());
    OutBuf stored, again;
    const uint8_t *cur = nullptr;
    uint32_t more = 0;
    ASSERT_EQ(Parse(v, stored, cur, more), TAM_RPD_OK);
    TAM_RPD_ROUTE_VIEW view = JunkViewOf(stored);
    view.ulAttrLen += 65536;
    ASSERT_EQ(TAM_RPD_SetWideCommunity(&view, 0, again.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(again->usAttrLen, stored->usAttrLen);
    EXPECT_EQ(again->ucAttrType, 11);
    EXPECT_EQ(0, std::memcmp(again.attr(), stored.attr(), stored->usAttrLen));

    struct Case {
        const char *name;
        uint32_t attrLen;
        bool nullAttr;
        uint16_t rawLen;
    };
    const Case cases[] = {{"no attribute", view.ulAttrLen, true, 0},
                          {"length relation broken", view.ulAttrLen - 1, false, 0},
                          {"raw length 17", 17 + 136, false, 17}};
    for (const Case &c : cases) {
        std::vector<uint8_t> rec(stored.attr(), stored.attr() + stored->usAttrLen);
        if (c.rawLen != 0) std::memcpy(rec.data() + 128, &c.rawLen, 2);
        TAM_RPD_ROUTE_VIEW bad = JunkView(nullptr, 0, c.nullAttr ? nullptr : rec.data(), c.attrLen);
        TAM_RPD_OUTPUT_BUF *slot = reinterpret_cast<TAM_RPD_OUTPUT_BUF *>(0x99);
        EXPECT_EQ(TAM_RPD_SetWideCommunity(&bad, 0, &slot, inst_), TAM_RPD_ERR_PKT_MALFORMED) << c.name;
        EXPECT_EQ(slot, nullptr) << c.name;
    }
    EXPECT_EQ(Asserts(), 0u);
    EXPECT_EQ(TAM_RPD_SetWideCommunity(nullptr, 0, again.slot(), inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_SetWideCommunity(&view, 0, nullptr, inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_SetWideCommunity(&view, 0, again.slot(), nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 3u);
}

TEST_F(WcCallbacks, CompareOrdersByRawValueOnly) {
    auto record = [](uint16_t rawLen, uint8_t fill, void *owner) {
        std::vector<uint8_t> r(136 + rawLen, 0);
        std::memcpy(r.data() + 128, &rawLen, 2);
        std::memcpy(r.data() + 120, &owner, sizeof(owner));
        std::memset(r.data() + 132, fill, rawLen);
        return r;
    };
    int a, b;
    const auto r30 = record(30, 0xFF, &a), r31 = record(31, 0x00, &a);
    const auto x = record(40, 5, &a), y = record(40, 5, &b), z = record(40, 6, &a);
    auto cmp = [](const std::vector<uint8_t> &p, const std::vector<uint8_t> &q) {
        return TAM_RPD_CmpAttr(p.data(), static_cast<uint16_t>(p.size()), q.data(), static_cast<uint16_t>(q.size()));
    };
    EXPECT_EQ(cmp(r30, r31), -1);
    EXPECT_EQ(cmp(r31, r30), 1);
    EXPECT_EQ(cmp(x, y), 0);
    EXPECT_EQ(cmp(x, z), -1);
    EXPECT_EQ(cmp(z, x), 1);
    EXPECT_EQ(TAM_RPD_CmpAttr(x.data(), 175, y.data(), 176), -2);
    EXPECT_EQ(TAM_RPD_CmpAttr(x.data(), 176, y.data(), 10), -2);
    EXPECT_EQ(Asserts(), 0u);
    EXPECT_EQ(TAM_RPD_CmpAttr(nullptr, 176, y.data(), 176), -2);
    EXPECT_EQ(TAM_RPD_CmpAttr(x.data(), 176, nullptr, 176), -2);
    EXPECT_EQ(Asserts(), 2u);
}

// Every allocation the parse callback makes, failed in turn: a documented
// status, no output buffer, nothing left allocated.
TEST_F(WcCallbacks, EveryAllocationFailingInTurn) {
    const Bytes v = Encode(FullPolicy());
    TAMHOST_Reset();
    {
        OutBuf out;
        const uint8_t *cur = nullptr;
        uint32_t more = 0;
        ASSERT_EQ(Parse(v, out, cur, more), TAM_RPD_OK);
    }
    const uint64_t allocations = TAMHOST_AllocCount();
    ASSERT_EQ(allocations, 1u /* record */ + 1 + 2 + 2 /* prefix, AS-path, community filters */ +
                               3 /* actions */ + 1 /* output buffer */);
    for (uint64_t n = 1; n <= allocations; ++n) {
        TAMHOST_Reset();
        TAMHOST_FailNthAlloc(n);
        OutBuf out;
        const uint8_t *cur = nullptr;
        uint32_t more = 7;
        const uint32_t st = Parse(v, out, cur, more);
        if (n == 1) {  // the record itself
            EXPECT_EQ(st, TAM_RPD_ERR_NOMEM);
            EXPECT_EQ(cur, v.data());
            EXPECT_EQ(Asserts(), 0u);
        } else if (n == allocations) {  // the host's output buffer
            EXPECT_EQ(st, TAM_RPD_ERR_NOMEM);
            EXPECT_EQ(cur, v.data());
            EXPECT_EQ(Asserts(), 1u);
        } else {  // a sub-record: the decode fails as a whole
            EXPECT_EQ(st, TAM_RPD_ERR_PKT_MALFORMED) << n;
            EXPECT_EQ(cur, v.data() + v.size());
            EXPECT_EQ(Asserts(), 0u);
        }
        EXPECT_EQ(more, 7u) << n;
        EXPECT_EQ(out.get(), nullptr) << n;
        EXPECT_EQ(Live(), 0u) << n;
    }
}

TEST_F(WcCallbacks, AtomAndActionDecodersReportNoMemory) {
    const uint8_t prefix[8] = {0, 10, 0, 0, 0, 8, 0, 0};
    const uint8_t text[1] = {'a'};
    const uint8_t cmty[5] = {0, 0, 0, 0, 1};
    const uint8_t asp[5] = {0, 0, 0, 1, 1};
    TAM_RPD_PREFIX_LIST *list = nullptr;
    TAM_RPD_ASPATH_FILTER *ap = nullptr;
    TAM_RPD_CMTY_FILTER *cf = nullptr;
    TAM_RPD_MED_APPLY *med = nullptr;
    TAM_RPD_ASPATH_APPLY *apa = nullptr;
    TAM_RPD_CMTY_APPLY *ca = nullptr;
    TAMHOST_FailAllAllocs(1);
    EXPECT_EQ(TAM_RPD_ParsePktIpPrefix4Data(prefix, 8, &list, inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(TAM_RPD_ParsePktAsPathData(text, 1, &ap, inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(TAM_RPD_ParsePktCmtyData(cmty, 5, &cf, inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(TAM_RPD_ParseWideCmtyApplyMed(&med, cmty, 5, inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(TAM_RPD_ParseWideCmtyApplyAspath(&apa, asp, 5, inst_), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(TAM_RPD_ParseWideCmtyApplyCommunity(&ca, cmty, 5, inst_), TAM_RPD_ERR_NOMEM);
    TAMHOST_FailAllAllocs(0);
    EXPECT_TRUE(list == nullptr && ap == nullptr && cf == nullptr && med == nullptr && apa == nullptr && ca == nullptr);
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
}
