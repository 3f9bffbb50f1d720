// The BMP reader over hand-built monitoring streams: each BGP message it
// carries reaches the sink attributed to its peer and table, the session
// messages become events, and what cannot be read is counted and reported
// without losing the messages around it.
#include <gtest/gtest.h>

#include "bmp_builder.h"
#include "bmp_stream.h"

namespace {

using rpdwire::BmpPeer;
using rpdwire::Bytes;
using tamtest::BmpPeerUp;
using tamtest::Cat;
using tamtest::Collected;
using tamtest::RpdUpdate;

struct Fed {
    Collected got;
    rpdhost::InputCounts counts;
    bool ok = true;
    bool terminated = false;
    bool Damaged(const std::string &reason) const {
        for (const auto &[what, tally] : counts.skipped)
            if (tally.damage && what.find(reason) != std::string::npos) return true;
        return false;
    }
};

// Feeds `stream` in pieces of `step` bytes (0: whole), then ends it.
Fed Feed(const Bytes &stream, size_t step = 0, const std::string &router = "",
         rpdhost::BmpStream::Mode mode = rpdhost::BmpStream::Mode::Strict) {
    Fed f;
    rpdhost::ReaderContext ctx(f.got, f.counts);
    rpdhost::BmpStream r(ctx, mode);
    r.origin().where = router;
    const size_t n = step == 0 ? stream.size() : step;
    for (size_t at = 0; at < stream.size() && f.ok; at += n) {
        r.Feed(stream.data() + at, std::min(n, stream.size() - at));
        f.ok = !r.Broken();
    }
    r.Finish();
    f.terminated = r.terminated();
    return f;
}

TEST(Bmp, MessagesAreAttributedToTheirPeerAndTable) {
    BmpPeer pre, post6, locRib;
    post6.flags = 0x40;
    post6.addr = "2001:db8::7";
    post6.as = 4200000000u;
    post6.usec = 250000;
    locRib.type = 3;
    const Bytes stream =
        Cat({rpdwire::BmpMessage(rpdwire::kBmpInitiation, Cat({rpdwire::BmpTlv(2, {'r', '1'}), rpdwire::BmpTlv(1, {'x', 0x07})})),
             BmpPeerUp(pre, true), rpdwire::BmpRouteMonitoring(pre, RpdUpdate(1)), rpdwire::BmpRouteMonitoring(post6, RpdUpdate(2)),
             rpdwire::BmpRouteMirroring(pre, RpdUpdate(3)), rpdwire::BmpRouteMonitoring(locRib, RpdUpdate(4)),
             tamtest::BmpStatistics(pre), rpdwire::BmpMessage(rpdwire::kBmpTermination, rpdwire::BmpTlv(1, {0, 0}))});
    for (size_t step : {size_t{0}, size_t{1}, size_t{7}}) {
        const Fed f = Feed(stream, step, "router 10.0.0.1");
        ASSERT_EQ(f.got.messages.size(), 4u) << step;
        const auto &m = f.got.messages;
        EXPECT_EQ(m[0].where, "router 10.0.0.1: route monitoring of 192.0.2.1, pre-policy Adj-RIB-In");
        EXPECT_EQ(m[0].bytes, RpdUpdate(1));
        EXPECT_EQ(m[0].peerAs, 65001u);
        EXPECT_EQ(m[0].sec, 1700000000);
        EXPECT_EQ(m[1].where, "router 10.0.0.1: route monitoring of 2001:db8::7, post-policy Adj-RIB-In");
        EXPECT_EQ(m[1].peerAs, 4200000000u);
        EXPECT_EQ(m[1].usec, 250000u);
        EXPECT_EQ(m[2].where, "router 10.0.0.1: route mirroring of 192.0.2.1, pre-policy Adj-RIB-In");
        EXPECT_EQ(m[3].where, "router 10.0.0.1: route monitoring of Loc-RIB, Loc-RIB");
        EXPECT_LT(m[0].offset, m[1].offset);
        ASSERT_EQ(f.got.events.size(), 4u);
        EXPECT_EQ(f.got.events[0].what, "router 10.0.0.1: BMP initiation, sysName \"r1\", sysDescr \"x?\"");
        EXPECT_NE(f.got.events[1].what.find("RPD family (AFI 1, SAFI 75) offered by both"), std::string::npos)
            << f.got.events[1].what;
        EXPECT_EQ(f.got.events[2].what,
                  "router 10.0.0.1: statistics: rejected by inbound policy 3, routes in Adj-RIBs-In 4294967297, "
                  "routes in Adj-RIB-In (AFI 1, SAFI 75) 2");
        EXPECT_EQ(f.got.events[2].peer, "192.0.2.1");
        EXPECT_EQ(f.got.events[3].what, "router 10.0.0.1: BMP termination, administratively closed");
        EXPECT_TRUE(f.terminated);
        EXPECT_FALSE(f.Damaged(""));
    }
}

TEST(Bmp, PeerUpAndDownSayWhatHappened) {
    BmpPeer p;
    Bytes down = rpdwire::BmpPeerHeader(p);
    down.push_back(3);  // the peer sent a NOTIFICATION
    const Bytes n = rpdhost::BuildNotification(6, 2, {3, 'b', 'y', 'e'});
    down.insert(down.end(), n.begin(), n.end());
    const Fed f = Feed(Cat({BmpPeerUp(p, false), rpdwire::BmpMessage(rpdwire::kBmpPeerDown, down)}));
    ASSERT_EQ(f.got.events.size(), 2u);
    EXPECT_NE(f.got.events[0].what.find("offered by the router only"), std::string::npos) << f.got.events[0].what;
    EXPECT_EQ(f.got.events[1].what,
              "peer down: the peer sent NOTIFICATION Cease / Administrative Shutdown (6/2): \"bye\"");
    EXPECT_EQ(f.got.events[1].peer, "192.0.2.1");
}

// Damage inside one message costs that message; the stream goes on. A
// stream that cannot be framed stops there, and says so.
TEST(Bmp, DamageIsReportedAndCounted) {
    BmpPeer p;
    const Bytes good = rpdwire::BmpRouteMonitoring(p, RpdUpdate(1));
    Bytes trailing = good;
    trailing.push_back(0);
    trailing[4] = static_cast<uint8_t>(trailing[4] + 1);
    Bytes lost = rpdwire::BmpPeerHeader(p);
    const Bytes info = rpdwire::BmpTlv(1, {0, 1});
    lost.insert(lost.end(), info.begin(), info.end());
    Bytes keepalive = rpdwire::BmpPeerHeader(p);  // route monitoring must carry an UPDATE
    const Bytes ka = rpdhost::BuildKeepalive();
    keepalive.insert(keepalive.end(), ka.begin(), ka.end());
    struct Case {
        const char *name;
        Bytes stream;
        size_t messages;
        const char *reason;
        bool followed;  // the stream could be read to its end
    };
    const Case cases[] = {
        {"a TLV after the UPDATE cut short", Cat({trailing, good}), 3, "malformed", true},
        {"messages lost", Cat({rpdwire::BmpMessage(rpdwire::kBmpRouteMirroring, lost), good}), 1, "lost", true},
        {"not an UPDATE", Cat({rpdwire::BmpMessage(rpdwire::kBmpRouteMonitoring, keepalive), good}), 1, "malformed", true},
        {"per-peer header cut", Cat({rpdwire::BmpMessage(rpdwire::kBmpRouteMonitoring, Bytes(41, 0)), good}), 1,
         "malformed", true},
        {"cut at the end", Cat({good, Bytes(good.begin(), good.end() - 1)}), 1, "malformed", true},
        {"version 2", Cat({good, Bytes{2, 0, 0, 0, 6, 4}, good}), 1, "could not be followed", false},
        {"length below the header", Cat({good, Bytes{3, 0, 0, 0, 5, 4}, good}), 1, "could not be followed", false},
        {"length beyond 1 MiB", Cat({good, Bytes{3, 0, 0x10, 0, 1, 0}, good}), 1, "could not be followed", false},
    };
    for (const Case &c : cases) {
        const Fed f = Feed(c.stream);
        // A TLV cut short after the UPDATE: the UPDATE is still read, then the TLV is reported.
        EXPECT_EQ(f.got.messages.size(), c.messages == 3 ? 2u : c.messages) << c.name;
        EXPECT_TRUE(f.Damaged(c.reason)) << c.name;
        EXPECT_FALSE(f.got.problems.empty()) << c.name;
        EXPECT_EQ(f.ok, c.followed) << c.name;
    }
}

// TLVs after a route monitoring's UPDATE, an enterprise's own among them (as
// real routers send on their Loc-RIB), are counted by type, not taken for
// damage; a stream of ever new types does not grow the counts without end.
TEST(Bmp, TlvsAfterTheUpdateAreCountedByType) {
    BmpPeer locRib;
    locRib.type = 3;
    auto monitoring = [&](const std::vector<Bytes> &tlvs) {
        Bytes body = Cat({rpdwire::BmpPeerHeader(locRib), RpdUpdate(1)});
        for (const Bytes &t : tlvs) body.insert(body.end(), t.begin(), t.end());
        return rpdwire::BmpMessage(rpdwire::kBmpRouteMonitoring, body);
    };
    const Bytes vendor = rpdwire::BmpTlv(0xEA62, {0, 0, 0x12, 0x34, 0, 1});
    std::vector<Bytes> many;
    for (uint16_t t = 100; t < 120; ++t) many.push_back(rpdwire::BmpTlv(t, {}));
    const Fed f = Feed(Cat({monitoring({vendor, rpdwire::BmpTlv(1, {0, 0, 0, 7})}), monitoring({vendor}), monitoring(many)}));
    EXPECT_EQ(f.got.messages.size(), 3u);
    EXPECT_TRUE(f.got.problems.empty());
    EXPECT_FALSE(f.Damaged(""));
    const std::string prefix = "BMP route monitoring TLVs after the UPDATE ";
    EXPECT_EQ(f.counts.skipped.at(prefix + "(type 0xEA62, enterprise-specific)").count, 2u);
    EXPECT_EQ(f.counts.skipped.at(prefix + "(type 0x0001)").count, 1u);
    EXPECT_EQ(f.counts.skipped.at(prefix + "(further types)").count, 14u);
    EXPECT_EQ(f.counts.skipped.size(), 9u);
}

TEST(Bmp, FilesAreToldAndRead) {
    BmpPeer p;
    const Bytes stream = Cat({rpdwire::BmpMessage(rpdwire::kBmpInitiation, {}), rpdwire::BmpRouteMonitoring(p, RpdUpdate(1))});
    const tamtest::ReadResult r = tamtest::ReadBytes(stream);
    ASSERT_TRUE(r.ok) << r.fatal;
    EXPECT_EQ(r.counts.format, "bmp");
    ASSERT_EQ(r.got.messages.size(), 1u);
    EXPECT_EQ(r.got.messages[0].where, "route monitoring of 192.0.2.1, pre-policy Adj-RIB-In");
}

}  // namespace
