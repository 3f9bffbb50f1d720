// The service and message dispatchers and their tables.
#include "plugin_fixture.h"

using namespace tamtest;

namespace {

void *Fn(TAM_RPD_PFN p) { return reinterpret_cast<void *>(p); }
template <typename F> void *Fn(F *f) { return reinterpret_cast<void *>(f); }

}  // namespace

TEST(ServiceTables, EntriesInOrder) {
    struct Row {
        const TAM_RPD_TBL_ENTRY *(*lookup)(uint32_t);
        const TAM_RPD_TBL_ENTRY *table;
        size_t count;
        uint32_t type;
        size_t index;
        void *handler;
    };
    const Row rows[] = {
        {TAM_RPD_GetAttrSetEntry, g_astTAM_RPD_SET_ATTR_TBL, 1, 11, 0, Fn(TAM_RPD_SetWideCommunity)},
        {TAM_RPD_GetDataCmpEntry, g_astTAM_RPD_CMP_DATA_TBL, 2, 2, 0, Fn(TAM_RPD_CmpKey)},
        {TAM_RPD_GetDataCmpEntry, g_astTAM_RPD_CMP_DATA_TBL, 2, 8, 1, Fn(TAM_RPD_CmpAttr)},
        {TAM_RPD_GetBgpiMsgParseEntry, g_astTAM_RPD_MSG_PARSE_TBL, 3, 79, 0, Fn(TAM_RPD_ParseBgpiRtPrefixTlv)},
        {TAM_RPD_GetBgpiMsgParseEntry, g_astTAM_RPD_MSG_PARSE_TBL, 3, 80, 1, Fn(TAM_RPD_ParseBgpiRtPrefixTlv)},
        {TAM_RPD_GetBgpiMsgParseEntry, g_astTAM_RPD_MSG_PARSE_TBL, 3, 53, 2, Fn(TAM_RPD_ParseRtPrefixTlv)},
        {TAM_RPD_GetBgpiMsgFormatEntry, g_astTAM_RPD_MSG_FORMAT_TBL, 1, 59, 0, Fn(TAM_RPD_FormatRtPrefixTlv)},
        {TAM_RPD_GetHaiMsgParseEntry, g_astTAM_RPD_HA_MSG_PARSE_TBL, 3, 5, 2, Fn(TAM_RPD_ParseHaRtPrefixTlv)},
        {TAM_RPD_GetHaiMsgFormatEntry, g_astTAM_RPD_HA_MSG_FORMAT_TBL, 3, 3, 1, Fn(TAM_RPD_FormatHaRtPrefixTlv)},
        {TAM_RPD_GetAttrMsgParseEntry, g_astTAM_RPD_ATTR_MSG_PARSE_TBL, 1, 29, 0,
         Fn(TAM_RPD_ParseRtWideCommunityTlv)},
        {TAM_RPD_GetAttrMsgFormatEntry, g_astTAM_RPD_ATTR_MSG_FORMAT_TBL, 1, 29, 0,
         Fn(TAM_RPD_FormatWideCommunityTlv)},
        {TAM_RPD_GetCfgParseEntry, g_astTAM_RPD_CFG_PARSE_TBL, 1, 2, 0, Fn(TAM_RPD_ParseCfgPrefix)},
        {TAM_RPD_GetCfgFormatEntry, g_astTAM_RPD_CFG_FORMAT_TBL, 2, 2, 0, Fn(TAM_RPD_FormatCfgPrefix)},
        {TAM_RPD_GetCfgFormatEntry, g_astTAM_RPD_CFG_FORMAT_TBL, 2, 16, 1, Fn(TAM_RPD_FormatCfgWideCommunity)},
    };
    for (const Row &r : rows) {
        const TAM_RPD_TBL_ENTRY *e = r.lookup(r.type);
        ASSERT_EQ(e, r.table + r.index) << r.type;
        EXPECT_EQ(Fn(e->pfnHandler), r.handler) << r.type;
        EXPECT_EQ(r.lookup(0x7FFF), nullptr);
        EXPECT_EQ(r.lookup(r.table[r.count - 1].ulType), r.table + r.count - 1);
    }
    EXPECT_EQ(TAM_RPD_GetBgpiMsgParseEntry(59), nullptr);
    EXPECT_EQ(TAM_RPD_GetBgpiMsgFormatEntry(60), nullptr);
}

class Dispatchers : public PluginTest {};

TEST_F(Dispatchers, NoHandlerResults) {
    const uint8_t body[10] = {9, 1, 0, 0, 0, 7, 10, 0, 0, 1};
    TAM_RPD_ROUTE_KEY key = Key(7, 1);
    TAM_RPD_ROUTE_VIEW view = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    uint8_t buf[64];
    uint8_t *cur = buf;
    int ctx = 0;
    uint32_t o1 = 0, o2 = 0;
    OutBuf out;
    EXPECT_EQ(TAM_RPD_ParseMsg(body, 10, 59, out.slot(), inst_), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_FormatMsg(&view, 60, &cur, 64, &ctx), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_ParseHaMsg(body, 10, 2, out.slot(), inst_), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_FormatHaMsg(&view, 2, &cur, 64, &ctx), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_FormatAttrMsg(&view, 11, &cur, 64, &ctx), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_ParseCfg(body, 38, 16, out.slot(), inst_), TAM_RPD_ERR_PARA);
    EXPECT_EQ(TAM_RPD_FormatCfg(&view, 3, &cur, 64, &o1, &o2), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_SetAttr(&view, 14, 0, out.slot(), inst_), TAM_RPD_ERR_NO_HANDLER);
    EXPECT_EQ(TAM_RPD_CmpData(&key, 24, &key, 24, 4), -2);
    EXPECT_EQ(Asserts(), 0u);
    EXPECT_EQ(cur, buf);
    EXPECT_EQ(out.get(), nullptr);
}

TEST_F(Dispatchers, ArgumentTests) {
    const uint8_t body[10] = {};
    TAM_RPD_ROUTE_KEY key = Key(7, 1);
    TAM_RPD_ROUTE_VIEW view = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    uint8_t buf[64];
    uint8_t *cur = buf;
    int ctx = 0;
    uint32_t o1 = 0, o2 = 0;
    OutBuf out;
    const uint32_t para[] = {
        TAM_RPD_SetAttr(nullptr, 11, 0, out.slot(), inst_),
        TAM_RPD_SetAttr(&view, 11, 0, nullptr, inst_),
        TAM_RPD_SetAttr(&view, 11, 0, out.slot(), nullptr),
        TAM_RPD_ParseMsg(nullptr, 10, 53, out.slot(), inst_),
        TAM_RPD_ParseMsg(body, 10, 53, nullptr, inst_),
        TAM_RPD_ParseMsg(body, 10, 53, out.slot(), nullptr),
        TAM_RPD_ParseHaMsg(nullptr, 10, 1, out.slot(), inst_),
        TAM_RPD_ParseAttrMsg(body, 10, 29, nullptr, inst_),
        TAM_RPD_FormatMsg(nullptr, 59, &cur, 64, &ctx),
        TAM_RPD_FormatMsg(&view, 59, nullptr, 64, &ctx),
        TAM_RPD_FormatMsg(&view, 99, &cur, 64, nullptr),
        TAM_RPD_FormatHaMsg(nullptr, 1, &cur, 64, &ctx),
        TAM_RPD_FormatHaMsg(&view, 1, nullptr, 64, &ctx),
        TAM_RPD_FormatAttrMsg(&view, 99, &cur, 64, nullptr),
        TAM_RPD_ParseCfg(nullptr, 38, 2, out.slot(), inst_),
        TAM_RPD_ParseCfg(body, 38, 2, out.slot(), nullptr),
        TAM_RPD_FormatCfg(&view, 99, &cur, 0, &o1, &o2),  // room 0 before the lookup
        TAM_RPD_FormatCfg(&view, 2, nullptr, 64, &o1, &o2),
        TAM_RPD_FormatCfg(&view, 2, &cur, 64, nullptr, &o2),
        TAM_RPD_FormatCfg(&view, 2, &cur, 64, &o1, nullptr),
    };
    for (size_t i = 0; i < sizeof(para) / sizeof(para[0]); ++i) EXPECT_EQ(para[i], TAM_RPD_ERR_PARA) << i;
    EXPECT_EQ(Asserts(), sizeof(para) / sizeof(para[0]));
    EXPECT_EQ(TAM_RPD_CmpData(nullptr, 24, &key, 24, 2), -2);
    EXPECT_EQ(TAM_RPD_CmpData(&key, 24, nullptr, 24, 2), -2);
    EXPECT_EQ(Asserts(), sizeof(para) / sizeof(para[0]) + 2);
    EXPECT_EQ(out.get(), nullptr);
}

TEST_F(Dispatchers, OperationsRecordReachesEveryDispatcher) {
    struct Slot {
        size_t off;
        void *fn;
    };
    const Slot slots[] = {
        {448, Fn(TAM_RPD_SetAttr)},       {456, Fn(TAM_RPD_ParseMsg)},      {464, Fn(TAM_RPD_FormatMsg)},
        {472, Fn(TAM_RPD_ParseHaMsg)},    {480, Fn(TAM_RPD_FormatHaMsg)},   {488, Fn(TAM_RPD_ParseAttrMsg)},
        {496, Fn(TAM_RPD_FormatAttrMsg)}, {504, Fn(TAM_RPD_ParseCfg)},      {512, Fn(TAM_RPD_FormatCfg)},
        {584, Fn(TAM_RPD_CmpData)},       {592, Fn(TAM_RPD_Data2Str)},      {640, Fn(TAM_RPD_FormatDisp)},
    };
    for (const Slot &s : slots) {
        void *p;
        std::memcpy(&p, reinterpret_cast<const uint8_t *>(&ops_) + s.off, sizeof(p));
        EXPECT_EQ(p, s.fn) << s.off;
    }
}
