// Every allocating entry point, reached through the operations record with
// a rich input, has each of its allocations fail in turn: the call fails
// with a status it documents, hands nothing over, and leaks nothing.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "wc_writer.h"

using namespace tamtest;

namespace {

struct Case {
    std::string name;
    std::set<uint32_t> failures;  // statuses allowed when an allocation fails
    uint64_t minAllocs;           // the input must exercise at least this many
    std::function<uint32_t(TAM_RPD_OUTPUT_BUF **out)> call;
};

}  // namespace

class FaultInjection : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        policy_ = rpdwire::Encode(rpdwire::FullPolicy());
        const uint8_t *cur = policy_.data();
        uint32_t more = 0;
        ASSERT_EQ(TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(policy_.size()), 11, stored_.slot(), &more, inst_),
                  TAM_RPD_OK);
        const uint8_t nlri[10] = {9, 1, 0, 0, 0, 7, 10, 1, 1, 1};
        cur = nlri;
        ASSERT_EQ(TAM_RPD_ParsePkt(&cur, 10, 14, key_.slot(), &more, inst_), TAM_RPD_OK);
        view_ = JunkView(key_.key(), 24, stored_.attr(), stored_->usAttrLen);
        baseBlocks_ = TAMHOST_LiveBlocks(kModule);
    }
    void TearDown() override {
        stored_.reset();
        key_.reset();
        baseBlocks_ -= 2;
        PluginTest::TearDown();
    }

    std::vector<Case> Cases() {
        const TAM_RPD_PLUGIN_OPS &o = ops_;
        auto pkt = [this, &o](uint32_t type, std::vector<uint8_t> bytes) {
            return [this, &o, type, bytes](TAM_RPD_OUTPUT_BUF **out) {
                const uint8_t *cur = bytes.data();
                uint32_t more = 0;
                return o.pfnParsePkt(&cur, static_cast<uint32_t>(bytes.size()), type, out, &more, inst_);
            };
        };
        auto msg = [this](TAM_RPD_PFN_PARSE_MSG fn, uint16_t type, std::vector<uint8_t> body) {
            return [this, fn, type, body](TAM_RPD_OUTPUT_BUF **out) {
                return fn(body.data(), static_cast<uint16_t>(body.size()), type, out, inst_);
            };
        };
        const std::vector<uint8_t> nlri = {9, 1, 0, 0, 0, 7, 10, 1, 1, 1};
        std::vector<uint8_t> cfg(38, 0);
        cfg[0] = 8, cfg[4] = 1, cfg[5] = 4;
        std::vector<Case> cases = {
            {"packet NLRI", {TAM_RPD_ERR_NOMEM}, 1, pkt(14, nlri)},
            {"packet withdrawn NLRI", {TAM_RPD_ERR_NOMEM}, 1, pkt(15, nlri)},
            {"packet Wide Community", {TAM_RPD_ERR_NOMEM, TAM_RPD_ERR_PKT_MALFORMED}, 8, pkt(11, policy_)},
            {"BGPI 53", {TAM_RPD_ERR_NOMEM}, 1, msg(o.pfnParseMsg, 53, nlri)},
            {"BGPI 79", {TAM_RPD_ERR_NOMEM}, 1, msg(o.pfnParseMsg, 79, nlri)},
            {"HA 3", {TAM_RPD_ERR_NOMEM}, 1, msg(o.pfnParseHaMsg, 3, nlri)},
            {"attribute message", {TAM_RPD_ERR_NOMEM, TAM_RPD_ERR_PKT_MALFORMED}, 8,
             msg(o.pfnParseAttrMsg, 29, policy_)},
            {"configuration record", {TAM_RPD_ERR_NOMEM}, 1,
             [this, &o, cfg](TAM_RPD_OUTPUT_BUF **out) { return o.pfnParseCfg(cfg.data(), 38, 2, out, inst_); }},
            {"set attribute", {TAM_RPD_ERR_NOMEM}, 1,
             [this, &o](TAM_RPD_OUTPUT_BUF **out) { return o.pfnSetAttr(&view_, 11, 0, out, inst_); }},
            {"policy text", {TAM_RPD_ERR}, 7,
             [this, &o](TAM_RPD_OUTPUT_BUF **) {
                 uint32_t c1 = 0, c2 = 0;
                 return o.pfnData2Str(&view_, 0x40, text_.data(), static_cast<uint32_t>(text_.size()), &c1, &c2,
                                      inst_);
             }},
            {"configuration text", {TAM_RPD_ERR}, 7,
             [this, &o](TAM_RPD_OUTPUT_BUF **) {
                 uint8_t *cur = reinterpret_cast<uint8_t *>(text_.data());
                 uint32_t w1 = 0, w2 = 0;
                 return o.pfnFormatCfg(&view_, 16, &cur, static_cast<uint32_t>(text_.size()), &w1, &w2);
             }},
        };
        for (uint32_t code = 2; code <= 0x40; code <<= 1) {
            cases.push_back({"display piece " + std::to_string(code), {TAM_RPD_ERR}, 7, [this, &o, code](TAM_RPD_OUTPUT_BUF **) {
                                 uint32_t c1 = 0, c2 = 0;
                                 char *cur = text_.data();
                                 return o.pfnFormatDisp(&view_, code, &cur, static_cast<uint32_t>(text_.size()), &c1,
                                                        &c2, inst_);
                             }});
        }
        return cases;
    }

    rpdwire::Bytes policy_;
    OutBuf stored_, key_;
    TAM_RPD_ROUTE_VIEW view_{};
    std::vector<char> text_ = std::vector<char>(4096);
};

TEST_F(FaultInjection, EveryAllocationFailingInTurn) {
    for (const Case &c : Cases()) {
        SCOPED_TRACE(c.name);
        TAMHOST_Reset();
        OutBuf out;
        ASSERT_EQ(c.call(out.slot()), TAM_RPD_OK);
        const uint64_t allocs = TAMHOST_AllocCount();
        out.reset();
        EXPECT_GE(allocs, c.minAllocs);
        for (uint64_t n = 1; n <= allocs; ++n) {
            TAMHOST_Reset();
            TAMHOST_FailNthAlloc(n);
            TAM_RPD_OUTPUT_BUF *slot = nullptr;
            const uint32_t st = c.call(&slot);
            TAMHOST_FailNthAlloc(0);
            EXPECT_TRUE(c.failures.count(st)) << "allocation " << n << " of " << allocs << ": status 0x" << std::hex
                                              << st;
            EXPECT_EQ(slot, nullptr) << "allocation " << n;
            EXPECT_EQ(Live(), 0u) << "allocation " << n;
            if (slot != nullptr) QOR_Free_F(slot, "test", 0);
        }
    }
}
