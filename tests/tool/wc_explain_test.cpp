// The diagnostic reading of Wide Community values against the plug-in: the
// same verdict on every truncation, every single-byte change and random
// policies, so an explanation never contradicts the plug-in; and the
// explanations name the rule and the byte.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "plugin.h"
#include "tam_host.h"
#include "wc_explain.h"
#include "bgp_writer.h"
#include "hex.h"

namespace {

using namespace rpdhost;
using rpdwire::Bytes;

class WcExplain : public ::testing::Test {
protected:
    void SetUp() override {
        TAMHOST_Reset();
        std::string err;
        ASSERT_TRUE(plugin_.Load(TAM_RPD_PLUGIN_PATH, err)) << err;
    }
    void TearDown() override { EXPECT_EQ(TAMHOST_AssertCount(), 0u); }

    bool PluginAccepts(const Bytes &v) {
        if (v.empty()) return false;  // the dispatcher refuses length 0 before any decoder
        const uint8_t *cur = v.data();
        uint32_t more = 0;
        OutBuf out;
        const uint32_t st = plugin_.ops().pfnParsePkt(&cur, static_cast<uint32_t>(v.size()), plugin_.attrType(),
                                                      out.slot(), &more, plugin_.inst());
        EXPECT_TRUE(st == TAM_RPD_OK || st == TAM_RPD_ERR_PKT_MALFORMED) << st;
        return st == TAM_RPD_OK;
    }

    // Counts disagreements (and shows the first few).
    size_t Disagreements(const Bytes &v) {
        WcPolicy p;
        const WcVerdict w = ExplainWideCommunity(v.data(), v.size(), p);
        const bool plugin = PluginAccepts(v);
        if (w.accepted == plugin) return 0;
        if (++shown_ <= 5)
            ADD_FAILURE() << "plug-in " << (plugin ? "accepts" : "refuses") << " " << rpdwire::ToHex(v)
                          << "; the walker says: " << (w.accepted ? "accepted" : w.rule);
        return 1;
    }

    Plugin plugin_;
    size_t shown_ = 0;
};

std::vector<rpdwire::Policy> Policies() {
    rpdwire::Policy trailing = rpdwire::MinimalPolicy();
    trailing.community = rpdwire::kMatchAndSet;
    trailing.actions = {rpdwire::MedAction(2, 100)};
    trailing.actions.push_back(rpdwire::Tlv{3, {}, 5});  // a header whose value is absent
    rpdwire::Policy tail = rpdwire::FullPolicy();
    tail.actions = {rpdwire::CmtyAction({1, 2}, 7)};
    tail.actions[0].value.insert(tail.actions[0].value.end(), {0xAA, 0xBB});  // ignored after the last value
    return {rpdwire::MinimalPolicy(), rpdwire::FullPolicy(), trailing, tail};
}

TEST_F(WcExplain, SameVerdictOnEveryTruncationAndSingleByteChange) {
    size_t cases = 0, differ = 0;
    for (const rpdwire::Policy &policy : Policies()) {
        const Bytes v = rpdwire::Encode(policy);
        ASSERT_TRUE(PluginAccepts(v));
        for (size_t n = 0; n <= v.size(); ++n, ++cases) differ += Disagreements(Bytes(v.begin(), v.begin() + n));
        for (size_t i = 0; i < v.size(); ++i)
            for (int b = 0; b < 256; ++b, ++cases) {
                Bytes m = v;
                m[i] = static_cast<uint8_t>(b);
                differ += Disagreements(m);
            }
    }
    EXPECT_EQ(differ, 0u) << "of " << cases;
}

// Random policies from the writer's pieces (valid and invalid field values
// alike), some with a byte inserted or removed.
TEST_F(WcExplain, SameVerdictOnRandomPolicies) {
    std::mt19937 gen(20261206);
    auto rng = [&] { return static_cast<uint32_t>(gen()); };
    auto pick = [&](uint32_t n) { return rng() % n; };
    auto bad = [&] { return pick(12) == 0; };  // one field in twelve breaks a rule
    size_t differ = 0, accepted = 0;
    constexpr int kCases = 20000;
    for (int c = 0; c < kCases; ++c) {
        rpdwire::Policy p;
        p.community = pick(3) != 0 ? rpdwire::kMatchAndSet : rpdwire::kMatchAndNoAdv;
        p.flags = static_cast<uint8_t>(bad() ? pick(256) : pick(2) * 0x80);
        for (uint32_t a = 0, n = 1 + pick(4) - (bad() ? 1 : 0); a < n; ++a) {
            switch (bad() ? 3 : pick(3)) {
                case 0: {
                    std::vector<rpdwire::PrefixEntry> e;
                    for (uint32_t k = 0, m = 1 + pick(3); k < m; ++k) {
                        const uint8_t type = uint8_t(bad() ? pick(16) : pick(4)), mask = uint8_t(bad() ? 33 : pick(25));
                        const uint8_t ge = uint8_t(type & 1 ? mask + pick(4) : 0), le = uint8_t(type & 2 ? 28 + pick(5) : 0);
                        e.push_back({rng(), mask, uint8_t(bad() ? pick(40) : ge), le, type, uint8_t(pick(16))});
                    }
                    p.atoms.push_back(rpdwire::PrefixAtom(e));
                    break;
                }
                case 1: p.atoms.push_back(rpdwire::AsPathAtom(std::string(1 + pick(5), char(bad() ? 0x7F : 0x20 + pick(95))))); break;
                case 2:
                    p.atoms.push_back(rpdwire::CmtyAtom(std::vector<uint32_t>(bad() ? pick(23) : 1 + pick(20), rng()), uint8_t(rng())));
                    break;
                default: p.atoms.push_back(rpdwire::Tlv{uint8_t(pick(6)), Bytes(pick(10), 0x41), pick(3) == 0 ? int32_t(pick(10)) : -1});
            }
        }
        for (uint32_t a = 0, n = p.community == rpdwire::kMatchAndSet ? 1 + pick(3) : (bad() ? 1 : 0); a < n; ++a) {
            switch (bad() ? 3 : pick(3)) {
                case 0: p.actions.push_back(rpdwire::MedAction(uint8_t(pick(4)), rng())); break;
                case 1: {
                    std::vector<rpdwire::AsPathRepeat> e;
                    for (uint32_t k = 0, m = 1 + pick(3); k < m; ++k) e.push_back({bad() ? 0u : rng(), uint8_t(bad() ? 40 : pick(20))});
                    p.actions.push_back(rpdwire::AsPathAction(e));
                    break;
                }
                case 2: p.actions.push_back(rpdwire::CmtyAction(std::vector<uint32_t>(bad() ? pick(7) : 1 + pick(5), rng()), uint8_t(rng()))); break;
                default: p.actions.push_back(rpdwire::Tlv{uint8_t(pick(5)), Bytes(pick(8), 0), pick(3) == 0 ? int32_t(pick(9)) : -1});
            }
        }
        Bytes v = rpdwire::Encode(p);
        if (pick(4) == 0 && !v.empty()) {
            const size_t at = pick(static_cast<uint32_t>(v.size()));
            if (pick(2) == 0) v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), uint8_t(rng()));
            else v.erase(v.begin() + static_cast<std::ptrdiff_t>(at));
        }
        accepted += PluginAccepts(v);
        differ += Disagreements(v);
    }
    EXPECT_EQ(differ, 0u);
    // Both verdicts must be common, or the comparison says little.
    EXPECT_GT(accepted, kCases / 10);
    EXPECT_LT(accepted, kCases * 9 / 10);
}

TEST_F(WcExplain, RefusalsNameTheRuleAndTheByte) {
    struct Case {
        const char *name;
        std::function<void(rpdwire::Policy &)> edit;
        const char *rule;
        size_t at;  // -1: the end of the value
    };
    // Minimal policy: header 0..17, Target TLV at 18 (value 21..27: sub-TLV 21, AS-path atom 24),
    // Exclude Target TLV at 28, Parameter TLV at 31.
    const Case cases[] = {
        {"exclude not empty", [](rpdwire::Policy &p) { p.excludeValue = {1, 2, 3, 4}; },
         "the Exclude Target TLV must be empty: length 4", 29},
        {"container type", [](rpdwire::Policy &p) { p.containerType = 2; }, "container type must be 1: 2", 0},
        {"flags", [](rpdwire::Policy &p) { p.flags = 0x02; }, "container flags bits 0 and 1 must be clear: 0x02", 2},
        {"community", [](rpdwire::Policy &p) { p.community = 0x90000005; }, "community must be MATCH AND SET", 6},
        {"sub-TLV type", [](rpdwire::Policy &p) { p.subTlvType = 0x31; }, "route-attribute sub-TLV (type 0x30): type 0x31", 21},
        {"unknown atom", [](rpdwire::Policy &p) { p.atoms = {rpdwire::Tlv{4, {'x'}}}; }, "unknown match atom type 4", 24},
        {"mask rule",
         [](rpdwire::Policy &p) { p.atoms = {rpdwire::PrefixAtom({{0x0A000000, 24, 1, 0, 0}})}; },
         "prefix entry 10.0.0.0/24 ge 1 le 0: exact match takes no greater-equal", 24 + 3 + 6},
        {"AS-path character", [](rpdwire::Policy &p) { p.atoms = {rpdwire::AsPathAtom("ab\tc")}; },
         "AS-path text character 0x09 is not printable", 24 + 3 + 2},
        {"NOADV with actions", [](rpdwire::Policy &p) { p.actions = {rpdwire::MedAction(1, 1)}; },
         "MATCH AND NOADV takes no actions: Parameter TLV length 8", 32},
        {"stray bytes", [](rpdwire::Policy &p) { p.trailing = {0, 0}; }, "2 bytes after the Parameter TLV", 34},
    };
    for (const Case &c : cases) {
        rpdwire::Policy p = rpdwire::MinimalPolicy();
        c.edit(p);
        const Bytes v = rpdwire::Encode(p);
        WcPolicy out;
        const WcVerdict w = ExplainWideCommunity(v.data(), v.size(), out);
        EXPECT_FALSE(PluginAccepts(v)) << c.name;
        EXPECT_FALSE(w.accepted) << c.name;
        EXPECT_NE(w.rule.find(c.rule), std::string::npos) << c.name << ": " << w.rule;
        EXPECT_EQ(w.at, c.at) << c.name << ": " << w.rule;
    }
}

TEST_F(WcExplain, AcceptedValuesKeepTheirWireStructure) {
    const std::vector<rpdwire::Policy> policies = Policies();
    WcPolicy out;
    const Bytes full = rpdwire::Encode(policies[1]);
    ASSERT_TRUE(ExplainWideCommunity(full.data(), full.size(), out).accepted);
    ASSERT_EQ(out.atoms.size(), 5u);
    EXPECT_EQ(out.atoms[0].prefixes.size(), 4u);
    EXPECT_EQ(out.atoms[0].prefixes[3].MatchType(), 3);
    EXPECT_EQ(out.atoms[2].asPath, "_200_");
    // Community filters stay groups, each with its leading octet.
    EXPECT_EQ(out.atoms[3].communities.values, (std::vector<uint32_t>{0x00010002, 0xFFFFFFFF}));
    EXPECT_EQ(out.atoms[4].communities.lead, 0x01);
    ASSERT_EQ(out.actions.size(), 3u);
    EXPECT_EQ(out.actions[1].asPath[0].repeat, 2);
    EXPECT_FALSE(out.trailingActionHeader);

    const Bytes trailing = rpdwire::Encode(policies[2]);
    ASSERT_TRUE(ExplainWideCommunity(trailing.data(), trailing.size(), out).accepted);
    EXPECT_TRUE(out.trailingActionHeader);
    EXPECT_EQ(out.actions.size(), 1u);
    const Bytes tail = rpdwire::Encode(policies[3]);
    ASSERT_TRUE(ExplainWideCommunity(tail.data(), tail.size(), out).accepted);
    EXPECT_EQ(out.actions[0].ignoredBytes, 2u);
    EXPECT_EQ(out.actions[0].communities.lead, 7);
}

TEST(HexExcerpt, MarksTheByte) {
    const Bytes v = {0x90, 0x00, 0x00, 0x05, 0x01, 0x02, 0x03};
    EXPECT_EQ(rpdwire::HexExcerpt(v.data(), v.size(), 3), "... 00 00 [05] 01 02 ...");
    EXPECT_EQ(rpdwire::HexExcerpt(v.data(), v.size(), 0), "[90] 00 00 ...");
    EXPECT_EQ(rpdwire::HexExcerpt(v.data(), 3, 3), "... 00 00 []");
}

}  // namespace
