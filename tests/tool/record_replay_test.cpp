// consume's way back into the plug-in: records regrouped into their messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "record_replay.h"
#include "update.h"

namespace rpdhost {
namespace {

struct Seen : MessageSink {
    std::vector<std::string> what;  // in the order handed on
    std::vector<Message> messages;
    void OnInput(const std::string &name) override { what.push_back("input " + name); }
    void OnMessage(const Message &m) override {
        messages.push_back(m);
        what.push_back("message " + std::to_string(m.number));
    }
    void OnProblem(const InputProblem &p) override { what.push_back("problem " + p.kind); }
    void OnEvent(const InputEvent &e) override { what.push_back("event " + e.what); }
};

std::string Withdraw(uint64_t message, uint32_t distinguisher, const char *file = "f", const char *more = "") {
    return std::string(R"({"type":"route","station":"s","file":")") + file + R"(","message":)" +
           std::to_string(message) +
           R"(,"offset":10,"peer":"192.0.2.1","router":"127.0.0.1","time":"2023-11-14T22:13:20.500000Z",)" + more +
           R"("action":"withdraw","key":{"policy_type":1,"distinguisher":)" +
           std::to_string(distinguisher) + R"(,"peer":"10.0.0.1"},"text":"t"})";
}

TEST(RecordReplay, TheRecordsOfAMessageBecomeItsUpdateInStreamOrder) {
    Seen seen;
    RecordReplay r(seen);
    for (const std::string &line :
         {Withdraw(3, 1), Withdraw(3, 2), std::string(R"({"type":"event","station":"s","file":"f","offset":0,"peer":"","event":"e"})"),
          Withdraw(4, 1), Withdraw(5, 1, "g"), std::string("not json"), std::string(R"({"type":"summary","messages":3})")})
        r.Put(line);
    r.Finish();
    const std::vector<std::string> want = {"input s: f", "message 3", "event e", "message 4", "input s: g",
                                           "message 5", "problem stream"};
    EXPECT_EQ(seen.what, want);
    EXPECT_EQ(r.unreadable(), 1u);
    ASSERT_EQ(seen.messages.size(), 3u);
    const Message &m = seen.messages.front();
    EXPECT_EQ(m.offset, 10u);
    EXPECT_EQ(m.router, "127.0.0.1");
    EXPECT_TRUE(m.hasTime);
    EXPECT_EQ(m.sec, 1700000000);
    EXPECT_EQ(m.usec, 500000u);
    // Both withdrawals of message 3 in its one UPDATE: two NLRIs of 10 bytes in MP_UNREACH_NLRI.
    UpdateParts parts;
    WalkError err;
    ASSERT_TRUE(SplitMessage(m.bytes.data(), m.bytes.size(), rpdwire::kAttrWideCommunity, parts, err)) << err.what;
    EXPECT_EQ(parts.unreach.length, 20u);
}

// The IPv4 prefixes beside the RPD routes come back when the record lists
// them all; a list cut short cannot be rebuilt, and is left out.
TEST(RecordReplay, TheMessagesIpv4PrefixesComeBackWhenListedWhole) {
    Seen seen;
    RecordReplay r(seen);
    r.Put(Withdraw(1, 1, "f", R"("prefixes":["10.0.2.0/24","192.0.2.128/25"],"prefix_count":2,)"));
    r.Put(Withdraw(2, 1, "f", R"("prefixes":["10.0.2.0/24"],"prefix_count":20,)"));
    r.Finish();
    ASSERT_EQ(seen.messages.size(), 2u);
    size_t lengths[2] = {};
    for (size_t i = 0; i < 2; ++i) {
        UpdateParts parts;
        WalkError err;
        const Message &m = seen.messages[i];
        ASSERT_TRUE(SplitMessage(m.bytes.data(), m.bytes.size(), rpdwire::kAttrWideCommunity, parts, err)) << err.what;
        lengths[i] = parts.ipv4Nlri.length;
        if (i == 0) {
            ASSERT_EQ(parts.ipv4Nlri.length, 9u);  // /24 in 1 + 3 bytes, /25 in 1 + 4
            const uint8_t want[] = {24, 10, 0, 2, 25, 192, 0, 2, 128};
            EXPECT_EQ(0, std::memcmp(m.bytes.data() + parts.ipv4Nlri.offset, want, sizeof(want)));
        }
    }
    EXPECT_EQ(lengths[1], 0u);
}

}  // namespace
}  // namespace rpdhost
