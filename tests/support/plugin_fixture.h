// Common test fixture: a constructed instance, allocation and assertion accounting.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "route_buffers.h"
#include "tam_host.h"
#include "tam_rpd.h"

namespace tamtest {

constexpr uint64_t kModule = 0x7A11;

using rpdhost::OutBuf;

// Route views whose host-owned bytes hold junk the plug-in must not need.
constexpr int kViewJunk = 0xEE;
inline TAM_RPD_ROUTE_VIEW JunkView(const uint8_t *key, uint32_t keyLen, const uint8_t *attr, uint32_t attrLen) {
    return rpdhost::MakeView(key, keyLen, attr, attrLen, kViewJunk);
}
inline TAM_RPD_ROUTE_VIEW JunkViewOf(const OutBuf &b) { return rpdhost::ViewOf(b, kViewJunk); }

using rpdhost::MakeKey;

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        TAMHOST_Reset();
        std::memset(&ops_, 0, sizeof(ops_));
        inst_ = TAM_RPD_Construct(&ops_, kModule);
        ASSERT_NE(inst_, nullptr);
        baseBlocks_ = TAMHOST_LiveBlocks(kModule);
        TAMHOST_Reset();
    }
    void TearDown() override {
        TAMHOST_FailNthAlloc(0);
        EXPECT_EQ(TAMHOST_LiveBlocks(kModule), baseBlocks_) << "host memory leaked";
        TAM_RPD_Destruct(inst_);
        EXPECT_EQ(TAMHOST_LiveBlocks(kModule), 0u);
    }
    uint64_t Live() const { return TAMHOST_LiveBlocks(kModule) - baseBlocks_; }
    uint64_t Asserts() const { return TAMHOST_AssertCount(); }

    TAM_RPD_PLUGIN_OPS ops_;
    TAM_RPD_INSTANCE *inst_ = nullptr;
    uint64_t baseBlocks_ = 0;
};

}  // namespace tamtest
