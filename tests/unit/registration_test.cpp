// Registration, operations record and packet dispatch.
#include <cstddef>

#include "plugin_fixture.h"

using namespace tamtest;

namespace {

template <typename T> T At(const TAM_RPD_PLUGIN_OPS &ops, size_t off) {
    T v;
    std::memcpy(&v, reinterpret_cast<const uint8_t *>(&ops) + off, sizeof(T));
    return v;
}

}  // namespace

TEST(Registration, WritesEveryListedPositionAndNothingElse) {
    TAMHOST_Reset();
    TAM_RPD_PLUGIN_OPS ops;
    std::memset(&ops, 0xC3, sizeof(ops));
    TAM_RPD_PLUGIN_OPS before = ops;
    TAM_RPD_INSTANCE *inst = TAM_RPD_Construct(&ops, kModule);
    ASSERT_NE(inst, nullptr);

    const uint8_t lead[8] = {0, 0, 0, 0, 1, 3, 3, 1};
    EXPECT_EQ(0, std::memcmp(&ops, lead, 8));
    EXPECT_EQ(At<uint16_t>(ops, 8), 1);
    EXPECT_EQ(At<uint8_t>(ops, 10), 2);
    struct U32At {
        size_t off;
        uint32_t value;
    };
    const U32At words[] = {{12, 14}, {16, 15}, {20, 11}, {92, 53},  {96, 59},  {100, 60}, {172, 3},
                           {252, 29}, {336, 4}, {340, 4}, {344, 192}, {348, 112}, {392, 6},  {396, 7}};
    for (const U32At &w : words) EXPECT_EQ(At<uint32_t>(ops, w.off), w.value) << "offset " << w.off;

    struct PtrAt {
        size_t off;
        void *value;
    };
    const PtrAt ptrs[] = {
        {432, reinterpret_cast<void *>(&TAM_RPD_ParsePkt)},
        {440, reinterpret_cast<void *>(&TAM_RPD_FormatPkt)},
        {520, nullptr},
        {536, nullptr},
        {552, nullptr},
        {560, nullptr},
        {568, nullptr},
        {576, nullptr},
        {592, reinterpret_cast<void *>(&TAM_RPD_Data2Str)},
        {600, reinterpret_cast<void *>(&TAM_RPD_SetRtCount)},
        {608, reinterpret_cast<void *>(&TAM_RPD_GetRtCount)},
        {616, reinterpret_cast<void *>(&TAM_RPD_CheckRoute)},
        {640, reinterpret_cast<void *>(&TAM_RPD_FormatDisp)},
    };
    for (const PtrAt &p : ptrs) EXPECT_EQ(At<void *>(ops, p.off), p.value) << "offset " << p.off;

    // Every byte outside the written positions keeps the host's value.
    bool written[sizeof(ops)] = {};
    auto mark = [&](size_t off, size_t n) {
        for (size_t i = 0; i < n; ++i) written[off + i] = true;
    };
    mark(0, 11);
    for (const U32At &w : words) mark(w.off, 4);
    for (size_t off = 432; off < 528; off += 8) mark(off, 8);
    mark(536, 8);
    for (size_t off = 552; off < 624; off += 8) mark(off, 8);
    mark(640, 8);
    const auto *a = reinterpret_cast<const uint8_t *>(&ops);
    const auto *b = reinterpret_cast<const uint8_t *>(&before);
    for (size_t i = 0; i < sizeof(ops); ++i) {
        if (!written[i]) EXPECT_EQ(a[i], b[i]) << "host byte " << i << " changed";
    }

    EXPECT_EQ(inst->ulModuleId, kModule);
    EXPECT_EQ(inst->ulScratchInUse, 0u);
    for (uint8_t byte : inst->aucScratch) ASSERT_EQ(byte, 0);
    EXPECT_EQ(TAMHOST_AssertCount(), 0u);
    TAM_RPD_Destruct(inst);
    EXPECT_EQ(TAMHOST_LiveBlocks(kModule), 0u);
}

TEST(Registration, RefusalsLeaveTheRecordUntouched) {
    struct Case {
        const char *name;
        bool nullOps;
        uint64_t module;
        bool failAlloc;
    };
    const Case cases[] = {{"null record", true, kModule, false},
                          {"module 0", false, 0, false},
                          {"allocation fails", false, kModule, true}};
    for (const Case &c : cases) {
        TAMHOST_Reset();
        TAM_RPD_PLUGIN_OPS ops;
        std::memset(&ops, 0x5A, sizeof(ops));
        TAM_RPD_PLUGIN_OPS before = ops;
        if (c.failAlloc) TAMHOST_FailNthAlloc(1);
        EXPECT_EQ(TAM_RPD_Construct(c.nullOps ? nullptr : &ops, c.module), nullptr) << c.name;
        EXPECT_EQ(0, std::memcmp(&ops, &before, sizeof(ops))) << c.name;
        EXPECT_EQ(TAMHOST_AssertCount(), 1u) << c.name;
        EXPECT_STREQ(TAMHOST_LastAssertFile(), "tam_rpd");
        EXPECT_EQ(TAMHOST_LiveBlocks(kModule), 0u);
    }
    TAMHOST_Reset();
}

TEST(Registration, DestructNullOnlyAsserts) {
    TAMHOST_Reset();
    TAM_RPD_Destruct(nullptr);
    EXPECT_EQ(TAMHOST_AssertCount(), 1u);
}

class PacketDispatch : public PluginTest {};

TEST_F(PacketDispatch, ParseArgumentsAndTypes) {
    const uint8_t nlri[10] = {9, 1, 0, 0, 0, 7, 10, 0, 0, 1};
    const uint8_t *cur = nlri;
    uint32_t more = 77;
    OutBuf out;
    struct Case {
        const char *name;
        bool nullCursor, nullOut, nullMore, nullInst;
        uint32_t len, type, status;
        bool asserts;
    };
    const Case cases[] = {
        {"null cursor holder", true, false, false, false, 10, 14, TAM_RPD_ERR_PARA, true},
        {"null output slot", false, true, false, false, 10, 14, TAM_RPD_ERR_PARA, true},
        {"null more flag", false, false, true, false, 10, 14, TAM_RPD_ERR_PARA, true},
        {"null instance", false, false, false, true, 10, 14, TAM_RPD_ERR_PARA, true},
        {"length 0 before type", false, false, false, false, 0, 99, TAM_RPD_ERR_PKT_MALFORMED, false},
        {"unknown type", false, false, false, false, 10, 29, TAM_RPD_ERR_PARA, false},
    };
    for (const Case &c : cases) {
        TAMHOST_Reset();
        cur = nlri;
        more = 77;
        uint32_t st = TAM_RPD_ParsePkt(c.nullCursor ? nullptr : &cur, c.len, c.type, c.nullOut ? nullptr : out.slot(),
                                       c.nullMore ? nullptr : &more, c.nullInst ? nullptr : inst_);
        EXPECT_EQ(st, c.status) << c.name;
        EXPECT_EQ(Asserts(), c.asserts ? 1u : 0u) << c.name;
        EXPECT_EQ(cur, nlri) << c.name;
        EXPECT_EQ(more, 77u) << c.name;
        EXPECT_EQ(out.get(), nullptr) << c.name;
    }
    // A known type reaches its handler.
    TAMHOST_Reset();
    EXPECT_EQ(TAM_RPD_ParsePkt(&cur, 10, 15, out.slot(), &more, inst_), TAM_RPD_OK);
    EXPECT_EQ(cur, nlri + 10);
    EXPECT_NE(out.get(), nullptr);
}

TEST_F(PacketDispatch, FormatArgumentsAndTypes) {
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 0x0A000001);
    TAM_RPD_ROUTE_VIEW view = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    uint8_t buf[16] = {};
    uint8_t *cur = buf;
    int ctx = 0;
    EXPECT_EQ(TAM_RPD_FormatPkt(nullptr, 14, &cur, 16, &ctx), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 14, nullptr, 16, &ctx), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 2u);
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 29, &cur, 16, &ctx), TAM_RPD_ERR_NO_HANDLER);
    // Room 0 is the handler's decision, not the dispatcher's.
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 14, &cur, 0, &ctx), TAM_RPD_ERR_BUF_SHORT);
    EXPECT_EQ(cur, buf);
    EXPECT_EQ(TAM_RPD_FormatPkt(&view, 15, &cur, 16, &ctx), TAM_RPD_OK);
    EXPECT_EQ(cur, buf + 10);
    EXPECT_EQ(Asserts(), 2u);
}
