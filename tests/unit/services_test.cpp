// The service and message dispatchers: unknown types and argument tests.
#include "plugin_fixture.h"

using namespace tamtest;

class Dispatchers : public PluginTest {};

TEST_F(Dispatchers, NoHandlerResults) {
    const uint8_t body[10] = {9, 1, 0, 0, 0, 7, 10, 0, 0, 1};
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 1);
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
    TAM_RPD_ROUTE_KEY key = MakeKey(7, 1);
    TAM_RPD_ROUTE_VIEW view = JunkView(reinterpret_cast<uint8_t *>(&key), 24, nullptr, 0);
    uint8_t buf[64];
    uint8_t *cur = buf;
    int ctx = 0;
    uint32_t o1 = 0, o2 = 0;
    OutBuf out;
    const uint8_t *nullBody = nullptr;
    const uint8_t asPath[5] = {0, 0, 0, 1, 1};
    TAM_RPD_ASPATH_APPLY *apa = nullptr;
    char *text = reinterpret_cast<char *>(buf);
    const uint8_t *nlri = body;
    uint32_t more = 3;
    const uint32_t para[] = {
        // The callbacks of the operations record.
        TAM_RPD_Data2Str(nullptr, 1, text, 64, &o1, &o2, inst_),
        TAM_RPD_Data2Str(&view, 1, nullptr, 64, &o1, &o2, inst_),
        TAM_RPD_Data2Str(&view, 1, text, 64, nullptr, &o2, inst_),
        TAM_RPD_Data2Str(&view, 1, text, 64, &o1, nullptr, inst_),
        TAM_RPD_Data2Str(&view, 1, text, 64, &o1, &o2, nullptr),
        TAM_RPD_FormatDisp(&view, 1, &text, 0, &o1, &o2, inst_),
        TAM_RPD_FormatDisp(&view, 99, nullptr, 64, &o1, &o2, inst_),
        TAM_RPD_FormatDisp(nullptr, 99, &text, 64, &o1, &o2, inst_),
        TAM_RPD_FormatDisp(&view, 1, &text, 64, nullptr, &o2, inst_),
        TAM_RPD_FormatDisp(&view, 2, &text, 64, &o1, nullptr, inst_),
        // Handlers reached directly, not through their dispatcher.
        TAM_RPD_ParseMpNlri(nullptr, 10, out.slot(), &more, inst_),
        TAM_RPD_ParseMpNlri(&nullBody, 10, out.slot(), &more, inst_),
        TAM_RPD_ParseMpNlri(&nlri, 10, nullptr, &more, inst_),
        TAM_RPD_ParseMpNlri(&nlri, 10, out.slot(), nullptr, inst_),
        TAM_RPD_ParseMpNlri(&nlri, 10, out.slot(), &more, nullptr),
        TAM_RPD_ParseBgpNlri(&nlri, 8, out.slot(), inst_),
        TAM_RPD_ParseRtPrefixTlv(nullptr, 10, out.slot(), inst_),
        TAM_RPD_ParseRtPrefixTlv(body, 10, nullptr, inst_),
        TAM_RPD_FormatMpNlri(nullptr, &cur, 64, &ctx),
        TAM_RPD_ParseBgpNlri(nullptr, 9, out.slot(), inst_),
        TAM_RPD_ParseBgpNlri(&nullBody, 9, out.slot(), inst_),
        TAM_RPD_MpNlriData2Str(&view, reinterpret_cast<char *>(buf), 64, &o1, nullptr, inst_),
        TAM_RPD_WideCommunity2Str(&view, reinterpret_cast<char *>(buf), 64, &o1, nullptr, inst_),
        TAM_RPD_ParseWideCmtyApplyAspath(&apa, asPath, 5, nullptr),
        // The dispatchers.
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
    EXPECT_EQ(more, 3u);
    EXPECT_EQ(nlri, body);
}
