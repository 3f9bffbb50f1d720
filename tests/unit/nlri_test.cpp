// RPD NLRI decode, encode and key order.
#include "plugin_fixture.h"

using namespace tamtest;

namespace {

const uint8_t kNlri[10] = {0x09, 0x01, 0x00, 0x00, 0x00, 0x07, 0x0A, 0x00, 0x00, 0x01};

}  // namespace

class Nlri : public PluginTest {
protected:
    uint32_t Parse(const uint8_t *&cur, uint32_t len, OutBuf &out, uint32_t &more, uint32_t type = 14) {
        return TAM_RPD_ParsePkt(&cur, len, type, out.slot(), &more, inst_);
    }
};

TEST_F(Nlri, DecodesOneNlri) {
    for (uint32_t type : {14u, 15u}) {
        const uint8_t *cur = kNlri;
        uint32_t more = 9;
        OutBuf out;
        ASSERT_EQ(Parse(cur, 10, out, more, type), TAM_RPD_OK);
        EXPECT_EQ(cur, kNlri + 10);
        EXPECT_EQ(more, 0u);
        ASSERT_EQ(out->ulFlags, TAM_RPD_OUT_KEY);
        const TAM_RPD_ROUTE_KEY expect = MakeKey(7, 0x0A000001);
        EXPECT_EQ(0, std::memcmp(out.key(), &expect, 24));
        EXPECT_EQ(Live(), 1u);
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Nlri, MalformedInputs) {
    struct Case {
        const char *name;
        std::vector<uint8_t> bytes;
        uint32_t len;
        long cursorMove;
    };
    std::vector<uint8_t> v6(22, 0);
    v6[0] = 21;
    v6[1] = 1;
    std::vector<uint8_t> base(kNlri, kNlri + 10);
    auto with = [&](size_t i, uint8_t b) {
        auto v = base;
        v[i] = b;
        return v;
    };
    const Case cases[] = {
        {"remaining length 1", base, 1, 0},
        {"length byte exceeds remaining", base, 9, 0},
        {"length byte 10", [&] { auto v = with(0, 10); v.push_back(0); return v; }(), 11, 0},
        {"length byte 0", with(0, 0), 10, 0},
        {"length byte 255", with(0, 255), 10, 0},
        {"policy type 2", with(1, 2), 10, 1},
        {"policy type 0", with(1, 0), 10, 1},
        {"IPv6 form", v6, 22, 1},
    };
    for (const Case &c : cases) {
        const uint8_t *cur = c.bytes.data();
        uint32_t more = 5;
        OutBuf out;
        EXPECT_EQ(Parse(cur, c.len, out, more), TAM_RPD_ERR_PKT_MALFORMED) << c.name;
        EXPECT_EQ(cur - c.bytes.data(), c.cursorMove) << c.name;
        EXPECT_EQ(more, 0u) << c.name;
        EXPECT_EQ(out.get(), nullptr) << c.name;
    }
    EXPECT_EQ(Live(), 0u);
    EXPECT_EQ(Asserts(), 0u);
}

// The handler itself sees length 0 (the dispatcher refuses it earlier).
TEST_F(Nlri, HandlerRefusesAnEmptyField) {
    const uint8_t *cur = kNlri;
    uint32_t more = 3;
    OutBuf out;
    EXPECT_EQ(TAM_RPD_ParseMpNlri(&cur, 0, out.slot(), &more, inst_), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(more, 0u);
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Nlri, AllocationFailureKeepsSlotAndMovesPastLengthByte) {
    const uint8_t *cur = kNlri;
    uint32_t more = 4;
    OutBuf out;
    TAMHOST_FailNthAlloc(1);
    EXPECT_EQ(Parse(cur, 20, out, more), TAM_RPD_ERR_NOMEM);
    EXPECT_EQ(cur, kNlri + 1);
    EXPECT_EQ(more, 0u);
    EXPECT_EQ(out.get(), nullptr);
    EXPECT_EQ(Live(), 0u);
}

TEST_F(Nlri, Encode) {
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 0x0A000001);
    int ctx = 0;
    struct Case {
        const char *name;
        TAM_RPD_ROUTE_KEY key;
        bool nullKey;
        uint32_t room;
        uint32_t status;
    };
    const Case cases[] = {
        {"room 10", key, false, 10, TAM_RPD_OK},
        {"room 9", key, false, 9, TAM_RPD_ERR_BUF_SHORT},
        {"address length 16", MakeKey(7, 1, 1, 16), false, 64, TAM_RPD_ERR_ADDR_UNSUPPORTED},
        {"policy type 0", MakeKey(7, 1, 0, 4), false, 64, TAM_RPD_ERR_PKT_MALFORMED},
        {"no key", key, true, 64, TAM_RPD_ERR_PKT_MALFORMED},
    };
    for (uint32_t type : {14u, 15u}) {
        for (const Case &c : cases) {
            uint8_t buf[64];
            std::memset(buf, 0xEE, sizeof(buf));
            uint8_t *cur = buf;
            TAM_RPD_ROUTE_VIEW view =
                JunkView(c.nullKey ? nullptr : reinterpret_cast<const uint8_t *>(&c.key), 24, nullptr, 0);
            EXPECT_EQ(TAM_RPD_FormatPkt(&view, type, &cur, c.room, &ctx), c.status) << c.name;
            if (c.status == TAM_RPD_OK) {
                EXPECT_EQ(0, std::memcmp(buf, kNlri, 10)) << c.name;
                EXPECT_EQ(cur, buf + 10);
                EXPECT_EQ(buf[10], 0xEE);
            } else {
                EXPECT_EQ(cur, buf) << c.name;
                EXPECT_EQ(buf[0], 0xEE) << c.name;
            }
        }
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(Nlri, EncodeArgumentOrderDiffersOnlyForNullWritePosition) {
    int ctx = 0;
    uint8_t *nullPos = nullptr;
    TAM_RPD_ROUTE_VIEW noKey = JunkView(nullptr, 0, nullptr, 0);
    // MP_REACH tests the write position first, MP_UNREACH the key first.
    EXPECT_EQ(TAM_RPD_FormatMpNlri(&noKey, &nullPos, 10, &ctx), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_FormatMpUnNlri(&noKey, &nullPos, 10, &ctx), TAM_RPD_ERR_PKT_MALFORMED);
    EXPECT_EQ(Asserts(), 0u);
    uint8_t buf[10];
    uint8_t *cur = buf;
    EXPECT_EQ(TAM_RPD_FormatMpNlri(&noKey, &cur, 10, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 1u);
}

TEST(KeyOrder, ComparesFieldsInOrder) {
    TAMHOST_Reset();
    struct Case {
        const char *name;
        TAM_RPD_ROUTE_KEY a, b;
        int32_t order;
    };
    const Case cases[] = {
        {"equal", MakeKey(7, 0x0A000001), MakeKey(7, 0x0A000001), 0},
        {"distinguisher unsigned", MakeKey(0xFFFFFFFF, 1), MakeKey(1, 1), 1},
        {"distinguisher smaller", MakeKey(1, 1), MakeKey(2, 1), -1},
        {"stored address bytes lead", MakeKey(0, 0x0A000001), MakeKey(0, 0x09000002), -1},
        {"address before distinguisher", MakeKey(9, 0x0A000001), MakeKey(1, 0x09000002), -1},
        {"policy type first", MakeKey(0, 0x09000002, 2), MakeKey(9, 0x0A000001, 1), 1},
        {"address length next", MakeKey(0, 0, 1, 4), MakeKey(0, 0, 1, 16), -1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TAM_RPD_CmpKey(&c.a, 24, &c.b, 24), c.order) << c.name;
        EXPECT_EQ(TAM_RPD_CmpKey(&c.b, 24, &c.a, 24), -c.order) << c.name;
    }
    EXPECT_EQ(TAMHOST_AssertCount(), 0u);
    const TAM_RPD_ROUTE_KEY k = MakeKey(1, 1);
    EXPECT_EQ(TAM_RPD_CmpKey(&k, 23, &k, 24), -2);
    EXPECT_EQ(TAM_RPD_CmpKey(&k, 24, &k, 25), -2);
    EXPECT_EQ(TAM_RPD_CmpKey(nullptr, 24, &k, 24), -2);
    EXPECT_EQ(TAM_RPD_CmpKey(&k, 24, nullptr, 24), -2);
    EXPECT_EQ(TAMHOST_AssertCount(), 4u);
}
