// Common test fixture: a constructed instance, allocation and assertion accounting.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tam_host.h"
#include "tam_rpd.h"

namespace tamtest {

constexpr uint64_t kModule = 0x7A11;

// Frees a route output buffer the way the host does.
struct OutBuf {
    TAM_RPD_OUTPUT_BUF *p = nullptr;
    OutBuf() = default;
    OutBuf(const OutBuf &) = delete;
    OutBuf &operator=(const OutBuf &) = delete;
    ~OutBuf() { reset(); }
    void reset() {
        if (p != nullptr) QOR_Free_F(p, "test", 0);
        p = nullptr;
    }
    TAM_RPD_OUTPUT_BUF **slot() {
        reset();
        return &p;
    }
    const uint8_t *bytes() const { return reinterpret_cast<const uint8_t *>(p); }
    const uint8_t *key() const { return bytes() + p->usKeyOffset; }
    const uint8_t *attr() const { return bytes() + p->usAttrOffset; }
};

// A route view over bytes the plug-in produced (or a test made up).
inline TAM_RPD_ROUTE_VIEW MakeView(const uint8_t *key, uint32_t keyLen, const uint8_t *attr, uint32_t attrLen) {
    TAM_RPD_ROUTE_VIEW v;
    std::memset(&v, 0xEE, sizeof(v));  // host-owned bytes hold junk the plug-in must not need
    v.ulKeyLen = keyLen;
    v.pucKey = const_cast<uint8_t *>(key);
    v.ulAttrLen = attrLen;
    v.pucAttr = const_cast<uint8_t *>(attr);
    return v;
}

inline TAM_RPD_ROUTE_VIEW ViewOf(const OutBuf &b) {
    const bool hasKey = (b.p->ulFlags & TAM_RPD_OUT_KEY) != 0;
    const bool hasAttr = (b.p->ulFlags & TAM_RPD_OUT_ATTR) != 0;
    return MakeView(hasKey ? b.key() : nullptr, hasKey ? b.p->usKeyLen : 0, hasAttr ? b.attr() : nullptr,
                    hasAttr ? b.p->usAttrLen : 0);
}

inline TAM_RPD_ROUTE_KEY Key(uint32_t distinguisher, uint32_t peer, uint8_t policy = 1, uint8_t addrLen = 4) {
    TAM_RPD_ROUTE_KEY k;
    std::memset(&k, 0, sizeof(k));
    k.ucPolicyType = policy;
    k.ucAddrLen = addrLen;
    k.ulDistinguisher = distinguisher;
    std::memcpy(k.aucPeerAddr, &peer, 4);
    return k;
}

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
