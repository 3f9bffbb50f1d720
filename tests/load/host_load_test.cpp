// Loads the plug-in as a host would and drives it only through the
// operations record that TAM_RPD_Construct fills.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

#include "tam_host.h"
#include "route_buffers.h"
#include "tam_rpd.h"
#include "wc_writer.h"

namespace {

constexpr uint64_t kModule = 0x4242;

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(TAM_RPD_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        construct_ = reinterpret_cast<decltype(&TAM_RPD_Construct)>(dlsym(handle_, "TAM_RPD_Construct"));
        destruct_ = reinterpret_cast<decltype(&TAM_RPD_Destruct)>(dlsym(handle_, "TAM_RPD_Destruct"));
        ASSERT_NE(construct_, nullptr);
        ASSERT_NE(destruct_, nullptr);
        TAMHOST_Reset();
        std::memset(&ops_, 0, sizeof(ops_));
        inst_ = construct_(&ops_, kModule);
        ASSERT_NE(inst_, nullptr);
    }
    void TearDown() override {
        if (inst_ != nullptr) destruct_(inst_);
        EXPECT_EQ(TAMHOST_LiveBlocks(kModule), 0u);
        EXPECT_EQ(TAMHOST_AssertCount(), 0u);
        if (handle_ != nullptr) dlclose(handle_);
    }

    void *handle_ = nullptr;
    decltype(&TAM_RPD_Construct) construct_ = nullptr;
    decltype(&TAM_RPD_Destruct) destruct_ = nullptr;
    TAM_RPD_PLUGIN_OPS ops_;
    TAM_RPD_INSTANCE *inst_ = nullptr;
};

TEST_F(LoadedPlugin, DecodesAndReencodesAnNlriFieldThroughTheRecord) {
    ASSERT_EQ(ops_.ucPktTypeNum, 3);
    ASSERT_EQ(ops_.aulPktType[0], TAM_RPD_PKT_MP_REACH);
    ASSERT_NE(ops_.pfnParsePkt, nullptr);
    ASSERT_NE(ops_.pfnFormatPkt, nullptr);

    const uint8_t field[20] = {9, 1, 0, 0, 0, 7, 10, 0, 0, 1, 9, 1, 0, 0, 1, 0, 192, 0, 2, 1};
    const uint8_t *cur = field;
    uint32_t left = sizeof(field);
    uint8_t again[20] = {};
    uint8_t *wr = again;
    uint32_t more = 1;
    int routes = 0;
    int ctx = 0;
    while (more != 0) {
        const uint8_t *start = cur;
        rpdhost::OutBuf out;
        ASSERT_EQ(ops_.pfnParsePkt(&cur, left, ops_.aulPktType[0], out.slot(), &more, inst_), TAM_RPD_OK);
        left -= static_cast<uint32_t>(cur - start);
        ++routes;
        ASSERT_EQ(out->ulFlags, TAM_RPD_OUT_KEY);
        const TAM_RPD_ROUTE_VIEW view = rpdhost::ViewOf(out);
        ASSERT_EQ(ops_.pfnFormatPkt(&view, TAM_RPD_PKT_MP_REACH, &wr, static_cast<uint32_t>(again + 20 - wr), &ctx),
                  TAM_RPD_OK);
    }
    EXPECT_EQ(routes, 2);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(0, std::memcmp(field, again, sizeof(field)));
}

TEST_F(LoadedPlugin, DrivesAReceivedRouteThroughEveryCallback) {
    const TAM_RPD_PLUGIN_OPS &o = ops_;
    int ctx = 0;
    // Receive: one NLRI and its Wide Community attribute.
    const uint8_t nlri[10] = {9, 1, 0, 0, 0, 42, 192, 0, 2, 7};
    const rpdwire::Bytes attr = rpdwire::Encode(rpdwire::FullPolicy());
    rpdhost::OutBuf key, wc;
    const uint8_t *cur = nlri;
    uint32_t more = 1;
    ASSERT_EQ(o.pfnParsePkt(&cur, 10, o.aulPktType[0], key.slot(), &more, inst_), TAM_RPD_OK);
    EXPECT_EQ(more, 0u);
    cur = attr.data();
    ASSERT_EQ(o.pfnParsePkt(&cur, static_cast<uint32_t>(attr.size()), o.aulPktType[2], wc.slot(), &more, inst_),
              TAM_RPD_OK);

    const TAM_RPD_ROUTE_VIEW view = rpdhost::MakeView(&key, &wc);

    // Bookkeeping.
    uint32_t verdict = 0;
    ASSERT_EQ(o.pfnCheckRoute(&view, nullptr, &verdict), TAM_RPD_OK);
    EXPECT_EQ(verdict, 1u);
    uint32_t counters[2] = {0, 0};
    uint32_t count = 0;
    ASSERT_EQ(o.pfnSetRtCount(&view, counters, 2, 1, 1), TAM_RPD_OK);
    ASSERT_EQ(o.pfnGetRtCount(counters, 2, 1, &count), TAM_RPD_OK);
    EXPECT_EQ(count, 1u);

    // Compare and set-attribute.
    EXPECT_EQ(o.pfnCmpData(view.pucKey, 24, view.pucKey, 24, TAM_RPD_CMP_KEY), 0);
    const uint16_t attrLen = static_cast<uint16_t>(view.ulAttrLen);
    EXPECT_EQ(o.pfnCmpData(view.pucAttr, attrLen, view.pucAttr, attrLen, TAM_RPD_CMP_ATTR), 0);
    rpdhost::OutBuf again;
    ASSERT_EQ(o.pfnSetAttr(&view, TAM_RPD_ATTR_TYPE_WC, 0, again.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(o.pfnCmpData(again.attr(), again->usAttrLen, view.pucAttr, attrLen, 8), 0);

    // Back onto the wire.
    uint8_t wire[1024];
    uint8_t *wr = wire;
    ASSERT_EQ(o.pfnFormatPkt(&view, 14, &wr, sizeof(wire), &ctx), TAM_RPD_OK);
    ASSERT_EQ(o.pfnFormatPkt(&view, 11, &wr, static_cast<uint32_t>(wire + sizeof(wire) - wr), &ctx), TAM_RPD_OK);
    ASSERT_EQ(static_cast<size_t>(wr - wire), 10 + attr.size());
    EXPECT_EQ(0, std::memcmp(wire, nlri, 10));
    EXPECT_EQ(0, std::memcmp(wire + 10, attr.data(), attr.size()));

    // BGPI and HA route-prefix messages, both ways.
    auto keyRoundTrip = [&](auto format, uint16_t fmtType, auto parse, uint16_t parseType) {
        uint8_t body[24];
        uint8_t *w = body;
        ASSERT_EQ(format(&view, fmtType, &w, 24, &ctx), TAM_RPD_OK);
        rpdhost::OutBuf k;
        ASSERT_EQ(parse(body, static_cast<uint16_t>(w - body), parseType, k.slot(), inst_), TAM_RPD_OK);
        EXPECT_EQ(o.pfnCmpData(k.key(), 24, view.pucKey, 24, 2), 0) << parseType;
    };
    for (uint16_t t : {53, 79, 80}) keyRoundTrip(o.pfnFormatMsg, o.aulMsgType[1], o.pfnParseMsg, t);
    for (uint16_t t : {1, 3, 5}) keyRoundTrip(o.pfnFormatHaMsg, t, o.pfnParseHaMsg, t);
    EXPECT_EQ(o.pfnFormatMsg(&view, o.aulMsgType[2], &wr, 24, &ctx), TAM_RPD_ERR_NO_HANDLER);

    // Attribute messages.
    std::vector<uint8_t> body(attr.size());
    wr = body.data();
    ASSERT_EQ(o.pfnFormatAttrMsg(&view, o.aulAttrMsgType[0], &wr, static_cast<uint16_t>(body.size()), &ctx),
              TAM_RPD_OK);
    rpdhost::OutBuf fromMsg;
    ASSERT_EQ(o.pfnParseAttrMsg(body.data(), static_cast<uint16_t>(body.size()), 29, fromMsg.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(o.pfnCmpData(fromMsg.attr(), fromMsg->usAttrLen, view.pucAttr, attrLen, 8), 0);

    // Configuration record and policy text.
    uint8_t rec[38];
    uint8_t *rp = rec;
    uint32_t w1 = 1, w2 = 1;
    ASSERT_EQ(o.pfnFormatCfg(&view, 2, &rp, sizeof(rec), &w1, &w2), TAM_RPD_OK);
    rpdhost::OutBuf fromCfg;
    ASSERT_EQ(o.pfnParseCfg(rec, sizeof(rec), 2, fromCfg.slot(), inst_), TAM_RPD_OK);
    EXPECT_EQ(o.pfnCmpData(fromCfg.key(), 24, view.pucKey, 24, 2), 0);
    std::vector<char> cfgText(2048, 0), text(2048, 0);
    uint8_t *tp = reinterpret_cast<uint8_t *>(cfgText.data());
    ASSERT_EQ(o.pfnFormatCfg(&view, 16, &tp, 2048, &w1, &w2), TAM_RPD_OK);

    // Text and display.
    ASSERT_EQ(o.pfnData2Str(&view, 0x40, text.data(), 2048, &w1, &w2, inst_), TAM_RPD_OK);
    EXPECT_EQ(cfgText, text);
    EXPECT_NE(std::string(text.data()).find("(MATCH AND SET)"), std::string::npos);
    std::vector<char> line(256, 0);
    ASSERT_EQ(o.pfnData2Str(&view, 1, line.data(), 256, &w1, &w2, inst_), TAM_RPD_OK);
    EXPECT_NE(std::string(line.data()).find("Peer Address: 192.0.2.7,"), std::string::npos);
    for (uint32_t code = 1; code <= 0x40; code <<= 1) {
        std::vector<char> piece(1024, 0);
        char *pc = piece.data();
        ASSERT_EQ(o.pfnFormatDisp(&view, code, &pc, 1024, &w1, &w2, inst_), TAM_RPD_OK) << code;
        EXPECT_NE(piece[0], 0) << code;
    }
}

}  // namespace
