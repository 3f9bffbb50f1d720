// Loads the plug-in as a host would and drives it only through the
// operations record that TAM_RPD_Construct fills.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tam_host.h"
#include "tam_rpd.h"

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
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        ASSERT_EQ(ops_.pfnParsePkt(&cur, left, ops_.aulPktType[0], &out, &more, inst_), TAM_RPD_OK);
        left -= static_cast<uint32_t>(cur - start);
        ++routes;
        ASSERT_EQ(out->ulFlags, TAM_RPD_OUT_KEY);
        TAM_RPD_ROUTE_VIEW view;
        std::memset(&view, 0, sizeof(view));
        view.ulKeyLen = out->usKeyLen;
        view.pucKey = reinterpret_cast<uint8_t *>(out) + out->usKeyOffset;
        ASSERT_EQ(ops_.pfnFormatPkt(&view, TAM_RPD_PKT_MP_REACH, &wr, static_cast<uint32_t>(again + 20 - wr), &ctx),
                  TAM_RPD_OK);
        QOR_Free_F(out, "host", 0);
    }
    EXPECT_EQ(routes, 2);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(0, std::memcmp(field, again, sizeof(field)));
}

}  // namespace
