// The passive speaker's session logic, driven without sockets: byte-by-byte
// delivery, the timers at their exact deadlines, the negotiated hold time and
// the peer's 4-octet AS, and the errors only a running session can meet.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bgp_message.h"
#include "bgp_session.h"

namespace {

using rpdhost::BgpSession;
using rpdhost::SessionEvent;
using rpdhost::SessionOutput;
using rpdhost::SessionState;
using Bytes = std::vector<uint8_t>;

Bytes Open(uint16_t hold, uint32_t as4) {
    Bytes caps = {1, 4, 0, 1, 0, 75, 65, 4, uint8_t(as4 >> 24), uint8_t(as4 >> 16), uint8_t(as4 >> 8), uint8_t(as4)};
    Bytes body = {4, 0x5B, 0xA0, uint8_t(hold >> 8), uint8_t(hold), 10, 0, 0, 2, uint8_t(caps.size() + 2), 2,
                  uint8_t(caps.size())};
    body.insert(body.end(), caps.begin(), caps.end());
    Bytes m(16, 0xFF);
    m.insert(m.end(), {0, uint8_t(19 + body.size()), 1});
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

// The code and subcode of the NOTIFICATION in `out`, or {0, 0}.
std::pair<int, int> Notified(const SessionOutput &out) {
    for (size_t at = 0; at + 19 <= out.send.size(); at += out.send[at + 16] << 8 | out.send[at + 17])
        if (out.send[at + 18] == 3) return {out.send[at + 19], out.send[at + 20]};
    return {0, 0};
}

TEST(BgpSession, EstablishesFromBytesArrivingOneByOne) {
    BgpSession s({65000, 0x7F000001, 9}, 0);
    EXPECT_EQ(s.Start().send, rpdhost::BuildOpen({65000, 0x7F000001, 9}));
    Bytes in = Open(30, 4200000000u);
    const Bytes ka = rpdhost::BuildKeepalive();
    in.insert(in.end(), ka.begin(), ka.end());
    std::vector<SessionEvent::Kind> events;
    for (uint8_t b : in)
        for (const SessionEvent &e : s.Receive(&b, 1, 1).events) events.push_back(e.kind);
    EXPECT_EQ(s.state(), SessionState::Established);
    // Each message as it is read, and the session established after the KEEPALIVE that did it.
    using K = SessionEvent::Kind;
    EXPECT_EQ(events, (std::vector<K>{K::Message, K::Message, K::Established}));
    EXPECT_EQ(s.peerAs(), 4200000000u);  // from the capability, not the 2-octet field
    EXPECT_EQ(s.holdTime(), 9);          // the smaller of the two
    EXPECT_TRUE(s.peerHasRpd());
}

TEST(BgpSession, TimersAtTheirDeadlines) {
    BgpSession s({65000, 1, 9}, 0);
    const Bytes open = Open(9, 65001), ka = rpdhost::BuildKeepalive();
    (void)s.Receive(open.data(), open.size(), 10);
    (void)s.Receive(ka.data(), ka.size(), 10);
    EXPECT_TRUE(s.Tick(12.9).send.empty());
    EXPECT_EQ(s.Tick(13).send, ka);  // a third of the hold time after the OPEN
    EXPECT_EQ(s.NextDeadline(), 16);
    (void)s.Receive(ka.data(), ka.size(), 15);  // the peer's KEEPALIVE restarts the hold timer
    EXPECT_EQ(Notified(s.Tick(23.9)), std::make_pair(0, 0));
    EXPECT_EQ(Notified(s.Tick(24)), std::make_pair(4, 0));
    EXPECT_EQ(s.state(), SessionState::Closed);

    BgpSession silent({65000, 1, 9}, 0);  // before any OPEN the hold timer runs at 240 s
    EXPECT_EQ(Notified(silent.Tick(239)), std::make_pair(0, 0));
    EXPECT_EQ(Notified(silent.Tick(240)), std::make_pair(4, 0));
}

TEST(BgpSession, ErrorsOfARunningSession) {
    const Bytes open = Open(9, 65001), ka = rpdhost::BuildKeepalive();
    Bytes update(16, 0xFF);
    update.insert(update.end(), {0, 23, 2, 0, 0, 0, 9});  // 9 bytes of attributes in a message without them
    struct Case {
        const char *name;
        std::vector<Bytes> inputs;
        std::pair<int, int> notification;
    };
    const Case cases[] = {
        {"UPDATE whose attributes exceed it", {open, ka, update}, {3, 1}},
        {"UPDATE instead of KEEPALIVE", {open, update}, {5, 2}},
        {"OPEN when established", {open, ka, open}, {5, 3}},
        {"OPEN twice", {open, open}, {5, 2}},
    };
    for (const Case &c : cases) {
        BgpSession s({65000, 1, 9}, 0);
        SessionOutput last;
        for (const Bytes &b : c.inputs) last = s.Receive(b.data(), b.size(), 1);
        EXPECT_EQ(Notified(last), c.notification) << c.name;
        EXPECT_TRUE(last.close) << c.name;
        // The message the session refused was read whole: it is handed over, like the ones before it.
        ASSERT_FALSE(last.events.empty()) << c.name;
        EXPECT_EQ(last.events.back().message, c.inputs.back()) << c.name;
    }
}

// What one read brings is told in the order it came: the last UPDATE, then the peer's Cease.
TEST(BgpSession, AReadIsToldInOrder) {
    BgpSession s({65000, 1, 9}, 0);
    const Bytes open = Open(9, 65001), ka = rpdhost::BuildKeepalive();
    (void)s.Receive(open.data(), open.size(), 1);
    (void)s.Receive(ka.data(), ka.size(), 1);
    Bytes update(16, 0xFF);
    update.insert(update.end(), {0, 23, 2, 0, 0, 0, 0});
    Bytes in = update;
    const Bytes cease = rpdhost::BuildNotification(6, 2);
    in.insert(in.end(), cease.begin(), cease.end());
    const SessionOutput out = s.Receive(in.data(), in.size(), 2);
    ASSERT_EQ(out.events.size(), 3u);
    EXPECT_EQ(out.events[0].message, update);
    EXPECT_EQ(out.events[1].message, cease);
    EXPECT_EQ(out.events[2].kind, SessionEvent::Kind::Closed);
    EXPECT_TRUE(out.close);
}

// A peer's NOTIFICATION is reported with what its data says.
TEST(BgpSession, NotificationDataAsText) {
    struct Case {
        uint8_t code, subcode;
        Bytes data;
        const char *text;
    };
    const Case cases[] = {
        {3, 0, Bytes{'b', 'a', 'd'}, ": \"bad\""},
        {6, 2, Bytes{3, 'b', 'y', 'e'}, ": \"bye\""},  // shutdown communication: its length first
        {6, 2, Bytes{9, 'b', 'y', 'e'}, ", data 09 62 79 65"},  // a length that does not fit is just bytes
        {2, 1, Bytes{0, 4}, ", data 00 04"},
        {1, 1, Bytes{}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rpdhost::NotificationData(c.code, c.subcode, c.data.data(), c.data.size()), c.text)
            << int(c.code) << "/" << int(c.subcode);
    const Bytes longText(300, 'x');
    EXPECT_EQ(rpdhost::NotificationData(3, 0, longText.data(), longText.size()),
              ": \"" + std::string(128, 'x') + "\" (300 bytes)");
}

}  // namespace
