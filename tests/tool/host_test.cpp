// The host side of rpd-host against the real plug-in, loaded with dlopen:
// routes and policies come out as the plug-in renders them, --verify finds
// no difference on good input, failures are counted by status, and the
// encode descriptions build what they say.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "hex.h"
#include "file_writer.h"
#include "input_reader.h"
#include "encode.h"
#include "run.h"
#include "mrt_builder.h"
#include <nlohmann/json.hpp>

#include "textual.h"
#include "tam_host.h"

namespace {

using namespace rpdhost;
using rpdwire::Bytes;
using Json = nlohmann::json;

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        TAMHOST_Reset();
        std::string err;
        ASSERT_TRUE(plugin_.Load(TAM_RPD_PLUGIN_PATH, err)) << err;
        baseline_ = TAMHOST_LiveBlocks(kModule);
    }
    void TearDown() override { EXPECT_EQ(TAMHOST_AssertCount(), 0u); }

    // Runs the host over `file`; returns what it printed.
    // With `merged`, problems go to the same stream, as with 2>&1.
    std::string Run(const Bytes &file, RunOptions opt, Summary *sum = nullptr, uint32_t *counted = nullptr,
                    bool merged = false) {
        char *buf = nullptr;
        size_t len = 0;
        FILE *out = open_memstream(&buf, &len);
        {
            rpdhost::Run run(plugin_, opt, out, merged ? out : stderr);
            FILE *in = fmemopen(const_cast<uint8_t *>(file.data()), file.size(), "rb");
            run.File("test", in, InputOptions{});
            std::fclose(in);
            run.Finish();
            if (sum != nullptr) *sum = run.summary();
            if (counted != nullptr) *counted = run.CountedRoutes();
        }
        std::fclose(out);
        std::string text(buf, len);
        std::free(buf);
        EXPECT_EQ(TAMHOST_LiveBlocks(kModule), baseline_) << "route buffers outlived the run";
        return text;
    }

    static constexpr uint64_t kModule = 0x52504448;  // the module id rpd-host registers with
    Plugin plugin_;
    uint64_t baseline_ = 0;
};

Bytes File(const std::vector<Bytes> &msgs, rpdwire::FileFormat fmt = rpdwire::FileFormat::Raw) {
    return tamtest::InMemory([&](FILE *f) { return rpdwire::WriteMessages(f, fmt, msgs, {}); });
}

Bytes Announce(std::vector<rpdwire::RpdNlri> nlris, const Bytes &policy) {
    rpdwire::Update u;
    u.announce = std::move(nlris);
    u.hasPolicy = true;
    u.wideCommunity = policy;
    return rpdwire::BuildUpdate(u);
}

Bytes Withdraw(std::vector<rpdwire::RpdNlri> nlris) {
    rpdwire::Update u;
    u.withdraw = std::move(nlris);
    return rpdwire::BuildUpdate(u);
}

TEST_F(HostTest, TextShowsEveryRouteAndEachPolicyItemOnItsOwnLine) {
    const Bytes policy = rpdwire::Encode(rpdwire::FullPolicy());
    const Bytes file = File({Announce({{7, 0x0A010101, 1}, {8, 0x0A010102, 1}}, policy), Withdraw({{7, 0x0A010101, 1}})});
    RunOptions opt;
    opt.verify = true;
    Summary sum;
    uint32_t counted = 0;
    const std::string out = Run(file, opt, &sum, &counted);
    EXPECT_NE(out.find("test: message 1 (offset 0) UPDATE\n"
                       "  announce  Route Type: Export Policy, Peer Address: 10.1.1.1, Distinguisher: 7\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  withdraw  Route Type: Export Policy, Peer Address: 10.1.1.1, Distinguisher: 7\n"),
              std::string::npos);
    // One item a line; the community filters stay apart as on the wire, the leading octet shown.
    for (const char *line : {"    match AS path     ^100$\n", "    match AS path     _200_\n",
                             "    match community   1:2 65535:65535\n",
                             "    match community   100:1 (leading octet 0x01)\n",
                             "    match prefix      10.0.0.0 8\n", "    match prefix      192.168.0.0 16 greater-equal 24\n",
                             "    MED               + 50\n", "    AS path add       100 100 200 additive\n",
                             "    community add     100 200 additive\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    EXPECT_NE(out.find("  policy    Type 1, Flag 80"), std::string::npos) << out;
    EXPECT_EQ(sum.announced, 2u);
    EXPECT_EQ(sum.withdrawn, 1u);
    EXPECT_EQ(sum.policies, 1u);
    EXPECT_EQ(sum.verified, 3u);
    EXPECT_EQ(sum.Failures(), 0u);
    EXPECT_EQ(sum.warnings, 0u);
    EXPECT_EQ(counted, 1u);  // the plug-in's counter: two announced, one withdrawn
}

// The plug-in's texts share one buffer, cleared only as far as the last text
// went: a policy shown after a longer one reads as it does alone.
TEST_F(HostTest, APolicyAfterALongerOneReadsAsItDoesAlone) {
    rpdwire::Policy longer = rpdwire::FullPolicy();
    std::vector<rpdwire::PrefixEntry> many;
    for (uint32_t i = 0; i < 300; ++i) many.push_back({0x0A000000 + (i << 8), 24, 0, 0, 0});
    longer.atoms[0] = rpdwire::PrefixAtom(many);
    const Bytes shorter = Announce({{7, 0x0A010101, 1}}, rpdwire::Encode(rpdwire::FullPolicy()));
    // From the route line of the shorter policy's message to the end.
    auto fromRoute = [](const std::string &out) { return out.substr(std::min(out.find("Distinguisher: 7"), out.size())); };
    for (const OutputMode mode : {OutputMode::Text, OutputMode::PluginText, OutputMode::Display}) {
        RunOptions opt;
        opt.output = mode;
        const std::string alone = Run(File({shorter}), opt);
        const std::string after = Run(File({Announce({{8, 0x0A010102, 1}}, rpdwire::Encode(longer)), shorter}), opt);
        ASSERT_NE(alone.find("Distinguisher: 7"), std::string::npos) << alone;
        EXPECT_EQ(fromRoute(after), fromRoute(alone)) << static_cast<int>(mode);
    }
}

TEST_F(HostTest, DisplayPrintsEachPresentPiece) {
    const Bytes file = File({Announce({{1, 1, 1}}, rpdwire::Encode(rpdwire::MinimalPolicy()))});
    RunOptions opt;
    opt.output = OutputMode::Display;
    const std::string out = Run(file, opt);
    EXPECT_NE(out.find("  [container]\n"), std::string::npos);
    EXPECT_NE(out.find("  [as_path_filters]\n"), std::string::npos);
    EXPECT_EQ(out.find("[prefix_list]"), std::string::npos);  // absent: nothing printed
    EXPECT_EQ(out.find("[med_action]"), std::string::npos);
}

TEST_F(HostTest, JsonRecordsCarryKeyAndTheWholePolicy) {
    const Bytes file = File({Announce({{42, 0xC0000207, 1}}, rpdwire::Encode(rpdwire::FullPolicy()))},
                            rpdwire::FileFormat::Mrt);
    RunOptions opt;
    opt.output = OutputMode::Json;
    const std::string out = Run(file, opt);
    const Json j = Json::parse(out.substr(0, out.find('\n')));
    EXPECT_EQ(j["type"], "route");
    EXPECT_EQ(j["file"], "test");
    EXPECT_EQ(j["action"], "announce");
    EXPECT_EQ(j["peer"], "192.0.2.1");
    EXPECT_EQ(j["time"], "2023-11-14T22:13:20.000000Z");
    EXPECT_EQ(j["key"], Json::parse(R"({"policy_type":1,"distinguisher":42,"peer":"192.0.2.7"})"));
    const Json &p = j["policy"];
    EXPECT_EQ(p["community"], "MATCH AND SET");
    EXPECT_EQ(p["match"]["communities"], Json::parse(R"([["1:2","65535:65535"],{"lead":1,"values":["100:1"]}])"));
    EXPECT_EQ(p["match"]["prefixes"][1], Json::parse(R"({"prefix":"192.168.0.0/16","greater_equal":24})"));
    EXPECT_EQ(p["actions"]["as_path_add"], Json::parse(R"([{"as":100,"repeat":2},{"as":200,"repeat":1}])"));
    const Bytes raw = rpdwire::Encode(rpdwire::FullPolicy());
    EXPECT_EQ(p["raw"], rpdwire::HexText(raw.data(), raw.size()));
    EXPECT_EQ(p["container_length"], raw.size() - 6);
    EXPECT_FALSE(p.contains("wire_order"));
    // The summary closes the output as a record of its own.
    const Json last = Json::parse(out.substr(out.rfind('\n', out.size() - 2) + 1));
    EXPECT_EQ(last["type"], "summary");
    EXPECT_EQ(last["routes_announced"], 1);
}

TEST_F(HostTest, FailuresAreCountedByStatusAndTheWalkGoesOn) {
    Bytes badPolicy = rpdwire::Encode(rpdwire::MinimalPolicy());
    badPolicy[20] = 9;  // Target TLV claims more than there is
    Bytes badNlri = Announce({{1, 1, 1}}, rpdwire::Encode(rpdwire::MinimalPolicy()));
    badNlri[badNlri.size() - 34 - 3 - 10] = 21;  // NLRI length byte beyond the 9-byte form
    const Bytes file = File({Announce({{1, 1, 1}}, badPolicy), badNlri, Withdraw({{2, 2, 1}})});
    RunOptions opt;
    opt.output = OutputMode::None;
    Summary sum;
    testing::internal::CaptureStderr();
    Run(file, opt, &sum);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(sum.failures["TAM_RPD_ERR_PKT_MALFORMED"], 2u) << err;
    EXPECT_EQ(sum.withdrawn, 1u);  // the third message was still walked
    // Each refusal names its rule and its byte, relative to the attribute and to the message.
    EXPECT_NE(err.find("test: message 1 (offset 0): Wide Community attribute refused: the route-attribute sub-TLV "
                       "(length 4) must fill the Target TLV (length 9) at attribute byte 22 (message byte 77)"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("    attribute bytes: ... 09 30 [00] 04 02 ..."), std::string::npos) << err;
    EXPECT_NE(err.find("test: message 2 (offset "), std::string::npos) << err;
    EXPECT_NE(err.find("MP_REACH_NLRI NLRI refused: NLRI length 21 runs past the field (9 bytes follow) at message byte 42"),
              std::string::npos)
        << err;
}

// A message's lines are held until its end: a problem found between two
// routes must still be reported after the lines written before it.
TEST_F(HostTest, AProblemStandsAfterTheLinesBeforeIt) {
    Bytes msg = Announce({{1, 1, 1}, {1, 2, 1}}, rpdwire::Encode(rpdwire::MinimalPolicy()));
    msg[msg.size() - 34 - 3 - 10] = 21;  // the second NLRI's length byte beyond the 9-byte form
    RunOptions opt;
    opt.output = OutputMode::Text;
    const std::string text = Run(File({msg}), opt, nullptr, nullptr, true);
    const size_t heading = text.find("test: message 1 (offset 0) UPDATE"), route = text.find("  announce  ");
    const size_t problem = text.find("NLRI refused"), policy = text.find("  policy    ");
    ASSERT_NE(problem, std::string::npos) << text;
    EXPECT_LT(heading, route) << text;
    EXPECT_LT(route, problem) << text;
    EXPECT_LT(problem, policy) << text;
    EXPECT_NE(policy, std::string::npos) << text;
}

// --verify writes each accepted policy again from its fields: the freedoms a
// sender took are warnings, not failures.
TEST_F(HostTest, VerifyWarnsOfFreedomsTakenInAcceptedPolicies) {
    struct Case {
        const char *name;
        std::function<void(rpdwire::Policy &)> edit;
        const char *warning;  // "" for none
    };
    const Case cases[] = {
        {"as written", [](rpdwire::Policy &) {}, ""},
        {"container length", [](rpdwire::Policy &p) { p.containerLen = 12; }, "container Length field is 12"},
        {"stray community bytes",
         [](rpdwire::Policy &p) {
             p.actions = {rpdwire::CmtyAction({1}, 0)};
             p.actions[0].value.push_back(0xEE);
         },
         "1 stray bytes after the last community value"},
        {"trailing action header",
         [](rpdwire::Policy &p) { p.actions.push_back(rpdwire::Tlv{3, {}, 9}); },
         "the last action header has no value"},
    };
    for (const Case &c : cases) {
        rpdwire::Policy p = rpdwire::FullPolicy();
        c.edit(p);
        RunOptions opt;
        opt.output = OutputMode::None;
        opt.verify = true;
        Summary sum;
        testing::internal::CaptureStderr();
        Run(File({Announce({{1, 1, 1}}, rpdwire::Encode(p))}), opt, &sum);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(sum.policies, 1u) << c.name;
        EXPECT_EQ(sum.Failures(), 0u) << c.name << err;
        EXPECT_EQ(sum.warnings, *c.warning ? 1u : 0u) << c.name << err;
        EXPECT_NE(err.find(c.warning), std::string::npos) << c.name << err;
    }
}

// ADD-PATH: each NLRI follows its path identifier, in BGP4MP messages and in RIB dumps.
TEST_F(HostTest, AddPathRoutesShowTheirPathIdentifiers) {
    using namespace mrttest;
    const Bytes policy = rpdwire::Encode(rpdwire::MinimalPolicy());
    Builder reach;
    reach.U16(1).U8(75).U8(4).U32(0xC0000201).U8(0);
    reach.U32(1).Raw(Nlri({7, 0x0A010101, 1})).U32(2).Raw(Nlri({7, 0x0A010101, 1}));
    const Bytes attrs = [&] {
        Bytes a = Attr(0x40, 1, {0});
        for (const Bytes &x : {Attr(0x80, 14, reach.b), Attr(0xC0, 129, policy)}) a.insert(a.end(), x.begin(), x.end());
        return a;
    }();
    Builder msg;
    msg.Raw(Bytes(16, 0xFF)).U16(static_cast<uint32_t>(23 + attrs.size())).U8(2).U16(0).U16(
        static_cast<uint32_t>(attrs.size())).Raw(attrs);
    Builder index;
    index.U32(1).U16(0).U16(1).U8(0).U32(1).Ip("192.0.2.1").U16(65001);
    Builder rib;
    const uint32_t pathId = 9;
    rib.U32(1).U16(1).U8(75).Raw(Nlri({8, 0x0A010102, 1})).U16(1).Raw(RibEntry(0, 1700000100, Attr(0xC0, 129, policy), &pathId));
    Bytes file = Record(1700000000, 16, 9, Bgp4mpAs4(65001, 65000, "192.0.2.1", "192.0.2.2", msg.b));
    for (const Bytes &r : {Record(1700000000, 13, 1, index.b), Record(1700000000, 13, 12, rib.b)})
        file.insert(file.end(), r.begin(), r.end());
    RunOptions opt;
    opt.verify = true;
    Summary sum;
    const std::string out = Run(file, opt, &sum);
    EXPECT_NE(out.find("Distinguisher: 7 (path 1)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(path 2)\n"), std::string::npos);
    EXPECT_NE(out.find("RIB_GENERIC_ADDPATH sequence 1) RIB entry from 192.0.2.1 AS65001 path 9 originated "
                       "2023-11-14T22:15:00.000000Z"),
              std::string::npos)
        << out;
    EXPECT_EQ(sum.announced, 3u);
    EXPECT_EQ(sum.policies, 2u);
    EXPECT_FALSE(sum.Failed());
}

TEST(EncodeJson, BuildsWhatTheDescriptionSays) {
    EncodeJob job;
    std::string err;
    ASSERT_TRUE(BuildFromJson(R"({"session":{"peer_address":"2001:db8::1","local_address":"2001:db8::2","time":5},
        "updates":[{"announce":[{"distinguisher":7,"peer":"10.1.1.1"}],"next_hop":"192.0.2.1",
                    "policy":{"community":"MATCH AND NOADV","match":{"as_path":["^"]}}},
                   {"withdraw":[{"distinguisher":7,"peer":"10.1.1.1"}]}]})",
                              job, err))
        << err;
    ASSERT_EQ(job.messages.size(), 2u);
    EXPECT_EQ(job.endpoints.peerAddr, "2001:db8::1");
    EXPECT_EQ(job.endpoints.time, 5u);
    rpdwire::Update u;
    u.announce = {{7, 0x0A010101, 1}};
    u.nextHop = 0xC0000201;
    u.originAs = 65001;
    u.hasPolicy = true;
    u.wideCommunity = rpdwire::Encode(rpdwire::MinimalPolicy());
    EXPECT_EQ(rpdwire::ToHex(job.messages[0]), rpdwire::ToHex(rpdwire::BuildUpdate(u)));
}

// What speak withdraws: the routes still standing at the end of the
// description, in UPDATEs a peer takes whole, however many there are.
// An UPDATE that withdraws and announces shows its withdrawals first and the
// policy right under the announcements it comes with; the IPv4 prefixes the
// policy rides on are named, in text and in JSON.
TEST_F(HostTest, PolicyStandsWithItsAnnouncementsAndPrefixes) {
    rpdwire::Update u;
    u.announce = {{1, 0x0A000001, 1}};
    u.withdraw = {{2, 0x0A000002, 1}};
    u.hasPolicy = true;
    u.wideCommunity = rpdwire::Encode(rpdwire::MinimalPolicy());
    Bytes m = rpdwire::BuildUpdate(u);
    for (uint8_t b : {24, 10, 0, 1, 16, 192, 168, 8, 203}) m.push_back(b);  // 10.0.1.0/24, 192.168.0.0/16, 203.0.0.0/8
    m[16] = uint8_t(m.size() >> 8), m[17] = uint8_t(m.size());
    const std::string text = Run(File({m}), RunOptions{});
    const size_t withdraw = text.find("  withdraw"), announce = text.find("  announce"),
                 prefixes = text.find("  prefixes  10.0.1.0/24, 192.168.0.0/16, 203.0.0.0/8\n"), policy = text.find("  policy");
    ASSERT_NE(prefixes, std::string::npos) << text;
    EXPECT_TRUE(withdraw < announce && announce < prefixes && prefixes < policy) << text;
    RunOptions json;
    json.output = OutputMode::Json;
    EXPECT_NE(Run(File({m}), json).find(R"("prefixes":["10.0.1.0/24","192.168.0.0/16","203.0.0.0/8"],"prefix_count":3)"),
              std::string::npos);
}

TEST_F(HostTest, SpeakWithdrawsWhatStillStands) {
    EncodeJob job;
    job.senderAs = 65100;
    std::string err;
    ASSERT_TRUE(BuildFromJson(R"({"updates":[{"announce":[{"distinguisher":1,"peer":"10.0.0.1"},
                                                         {"distinguisher":2,"peer":"10.0.0.1"}]},
                                            {"withdraw":[{"distinguisher":1,"peer":"10.0.0.1"}]},
                                            {"announce":[{"distinguisher":2,"peer":"10.0.0.1"}]}]})",
                              job, err))
        << err;
    ASSERT_EQ(job.standing.size(), 1u);
    EXPECT_EQ(job.standing[0].distinguisher, 2u);
    EXPECT_EQ(job.endpoints.peerAs, 65100u);  // the sender's AS, and so the AS_PATH's

    std::vector<rpdwire::RpdNlri> many(1000);
    for (uint32_t i = 0; i < many.size(); ++i) many[i].distinguisher = i;
    const std::vector<rpdwire::Bytes> w = Withdrawals(many);
    for (const rpdwire::Bytes &m : w) EXPECT_LE(m.size(), 4096u);
    Summary sum;
    RunOptions opt;
    opt.output = OutputMode::None;
    Run(File(w), opt, &sum);
    EXPECT_EQ(sum.withdrawn, many.size());
    EXPECT_FALSE(sum.Failed());
    EXPECT_TRUE(Withdrawals({}).empty());
}

TEST(EncodeJson, ErrorsNameTheField) {
    struct Case {
        const char *json;
        const char *field;
    };
    const Case cases[] = {
        {R"({"updates":[{"announce":[{"peer":"10.1.1"}]}]})", "$.updates[0].announce[0].peer"},
        {R"({"updates":[{"policy":{"match":{"prefixes":[{"prefix":"10.0.0.0/33"}]}}}]})",
         "$.updates[0].policy.match.prefixes[0].prefix"},
        {R"({"updates":[{"policy":{"actions":{"med":{"operation":"times"}}}}]})",
         "$.updates[0].policy.actions.med.operation"},
        {R"({"updates":[{"policy":{"match":{"communities":[["1:70000"]]}}}]})",
         "$.updates[0].policy.match.communities[0][0]"},
        {R"({"updates":[{"anounce":[]}]})", "$.updates[0].anounce"},
        {R"({"updates":[{"policy":{"flags":256}}]})", "$.updates[0].policy.flags"},
        {R"({"session":{}})", "$.updates"},
        {R"({"updates":[)", "not valid JSON"},
    };
    for (const Case &c : cases) {
        EncodeJob job;
        std::string err;
        EXPECT_FALSE(BuildFromJson(c.json, job, err)) << c.json;
        EXPECT_EQ(err.rfind(c.field, 0), 0u) << err;
    }
}

}  // namespace

// The text reporter groups prefix words at addresses: its word-at-a-time
// test must say what a reading character by character says, for every
// length and at the boundary between its two words.
TEST(Textual, DottedQuadAgreesWithAReadingByCharacter) {
    auto reference = [](std::string_view w) {
        if (w.size() < 7 || w.size() > 15) return false;
        int dots = 0;
        bool digit = false;
        for (const char c : w) {
            if (c >= '0' && c <= '9') {
                digit = true;
            } else if (c == '.' && digit) {
                ++dots;
                digit = false;
            } else {
                return false;
            }
        }
        return dots == 3 && digit;
    };
    for (const char *w : {"10.0.0.0", "0.0.0.0", "255.255.255.255", "1234567.1.1.1"})
        EXPECT_TRUE(rpdhost::IsDottedQuad(w)) << w;
    for (const char *w : {"10.0.0.", ".10.0.0.0", "10..0.0.0", "1.2.3.4.5", "1.2.3", "10.0.0.0/8", "greater-equal",
                          "1234567..1.1", "10.0.0.0\x80", "10.0.0.\xb0", "10.0.0.0.", "255.255.255.2550"})
        EXPECT_FALSE(rpdhost::IsDottedQuad(w)) << w;
    // Random words over digits, dots and a few bytes that differ from them by one bit or by the carry.
    const char alphabet[] = {'0', '1', '9', '.', '.', '/', ':', '\xae', '\xb0', '\xba', 'a', '\0'};
    uint64_t seed = 0x9e3779b97f4a7c15u;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const size_t n = 6 + (seed >> 60) % 11;
        std::string w;
        for (size_t k = 0; k < n; ++k) w += alphabet[(seed >> (k * 4 % 56)) % sizeof(alphabet)];
        if (seed & 1) w[0] = '1';  // past the quick test on the first byte
        ASSERT_EQ(rpdhost::IsDottedQuad(w), reference(w)) << w;
    }
}
