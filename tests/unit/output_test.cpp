// Route output buffer layouts and refusals.
#include "plugin_fixture.h"

using namespace tamtest;

namespace {

struct Layout {
    const char *name;
    bool key;
    uint16_t attrLen;  // 0: no attribute
    uint32_t total, flags;
    uint16_t keyOff, keyLen, attrOff;
};

}  // namespace

class OutputBuffer : public PluginTest {};

TEST_F(OutputBuffer, Layouts) {
    const TAM_RPD_ROUTE_KEY key = MakeKey(0x01020304, 0x0A0B0C0D);
    uint8_t attr[40];
    for (size_t i = 0; i < sizeof(attr); ++i) attr[i] = static_cast<uint8_t>(0x40 + i);
    const Layout layouts[] = {
        {"key only", true, 0, 56, 2, 32, 24, 0},
        {"attribute only", false, 40, 72, 8, 0, 0, 32},
        {"both", true, 40, 96, 10, 32, 24, 56},
    };
    for (const Layout &l : layouts) {
        TAM_RPD_OUTPUT_DESC d;
        std::memset(&d, 0, sizeof(d));
        if (l.key) {
            d.ulKeyLen = 24;
            d.pucKey = reinterpret_cast<const uint8_t *>(&key);
        }
        if (l.attrLen != 0) {
            const uint16_t flagType = 0x0B00;  // flag 0, type 11 in memory order
            std::memcpy(reinterpret_cast<uint8_t *>(&d) + 36, &flagType, 2);
            d.usAttrLen = l.attrLen;
            d.pucAttr = attr;
        }
        OutBuf out;
        const uint64_t bytesBefore = TAMHOST_LiveBytes(kModule);
        ASSERT_EQ(TAM_RPD_OutputData(out.slot(), &d, kModule), TAM_RPD_OK) << l.name;
        EXPECT_EQ(TAMHOST_LiveBytes(kModule) - bytesBefore, l.total) << l.name;
        const TAM_RPD_OUTPUT_BUF &h = *out.get();
        const auto *bytes = reinterpret_cast<const uint8_t *>(out.get());
        EXPECT_EQ(h.ulFlags, l.flags) << l.name;
        EXPECT_EQ(h.ucAttrFlag, 0) << l.name;
        EXPECT_EQ(h.ucAttrType, l.attrLen ? 11 : 0) << l.name;
        EXPECT_EQ(h.usKeyOffset, l.keyOff) << l.name;
        EXPECT_EQ(h.usKeyLen, l.keyLen) << l.name;
        EXPECT_EQ(h.usAttrOffset, l.attrOff) << l.name;
        EXPECT_EQ(h.usAttrLen, l.attrLen) << l.name;
        for (size_t i : {6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 21, 22, 23, 28, 29, 30, 31})
            EXPECT_EQ(bytes[i], 0) << l.name << " header byte " << i;
        if (l.key) EXPECT_EQ(0, std::memcmp(bytes + 32, &key, 24)) << l.name;
        if (l.attrLen) EXPECT_EQ(0, std::memcmp(bytes + l.attrOff, attr, l.attrLen)) << l.name;
    }
    EXPECT_EQ(Asserts(), 0u);
}

TEST_F(OutputBuffer, RefusalsLeaveTheSlotAndAllocateNothing) {
    uint8_t attr[4] = {};
    const TAM_RPD_ROUTE_KEY key = MakeKey(1, 1);
    struct Case {
        const char *name;
        bool key;
        uint32_t keyLen;
        bool attr;
        uint16_t attrLen;
        uint64_t module;
        bool failAlloc;
        uint32_t status;
        uint64_t asserts;
    };
    const Case cases[] = {
        {"nothing", false, 0, false, 0, kModule, false, TAM_RPD_ERR_PARA, 0},
        {"attribute of length 0", false, 0, true, 0, kModule, false, TAM_RPD_ERR_PARA, 0},
        {"key length not 24", true, 23, false, 0, kModule, false, TAM_RPD_ERR_PARA, 0},
        {"module 0", true, 24, false, 0, 0, false, TAM_RPD_ERR_PARA, 1},
        {"allocation fails", true, 24, false, 0, kModule, true, TAM_RPD_ERR_NOMEM, 1},
    };
    for (const Case &c : cases) {
        TAMHOST_Reset();
        TAM_RPD_OUTPUT_DESC d;
        std::memset(&d, 0, sizeof(d));
        if (c.key) {
            d.ulKeyLen = c.keyLen;
            d.pucKey = reinterpret_cast<const uint8_t *>(&key);
        }
        if (c.attr) {
            d.pucAttr = attr;
            d.usAttrLen = c.attrLen;
        }
        if (c.failAlloc) TAMHOST_FailNthAlloc(1);
        auto *sentinel = reinterpret_cast<TAM_RPD_OUTPUT_BUF *>(0x1234);
        TAM_RPD_OUTPUT_BUF *slot = sentinel;
        EXPECT_EQ(TAM_RPD_OutputData(&slot, &d, c.module), c.status) << c.name;
        EXPECT_EQ(slot, sentinel) << c.name;
        EXPECT_EQ(Asserts(), c.asserts) << c.name;
        EXPECT_EQ(Live(), 0u) << c.name;
        if (!c.failAlloc && c.module != 0) EXPECT_EQ(TAMHOST_AllocCount(), 0u) << c.name;
    }
}

TEST_F(OutputBuffer, NullArgumentsAssert) {
    TAM_RPD_OUTPUT_DESC d;
    std::memset(&d, 0, sizeof(d));
    TAM_RPD_OUTPUT_BUF *slot = nullptr;
    uint8_t buf[64];
    uint32_t room = 32;
    uint16_t off = 32;
    uint32_t len = 0;
    EXPECT_EQ(TAM_RPD_OutputData(nullptr, &d, kModule), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputData(&slot, nullptr, kModule), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_CalcOutputLen(nullptr, &len), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_CalcOutputLen(&d, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputKey(nullptr, &room, &d, &off), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputKey(buf, nullptr, &d, &off), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputKey(buf, &room, nullptr, &off), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputKey(buf, &room, &d, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputAttr(nullptr, &room, &d, &off), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_OutputAttr(buf, &room, &d, nullptr), TAM_RPD_ERR_PARA);
    EXPECT_EQ(Asserts(), 10u);
    EXPECT_EQ(slot, nullptr);
    // Nothing to carry or no room: success without writing.
    EXPECT_EQ(TAM_RPD_OutputKey(buf, &room, &d, &off), TAM_RPD_OK);
    EXPECT_EQ(off, 32);
}
