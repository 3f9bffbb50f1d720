// BMP read from captures: a router's stream to its station comes out as the
// same messages and events as the stream read from a file, attributed to
// the router and the monitored peer; a capture that starts inside a message
// or loses a segment resumes at the next plausible BMP header and says what
// it passed over; routers are kept apart; a station on another port gets a
// hint.
#include <gtest/gtest.h>

#include "bmp_builder.h"
#include "file_writer.h"

namespace {

using rpdwire::Bytes;
using tamtest::Pcap;
using tamtest::ReadResult;

constexpr uint32_t kRoutes = 6;

rpdwire::Endpoints Router(const char *addr, uint16_t stationPort = 1790) {
    rpdwire::Endpoints ep;
    ep.peerAddr = addr;
    ep.localAddr = std::string(addr).find(':') == std::string::npos ? "10.0.0.9" : "2001:db8::9";  // the station
    ep.localPort = stationPort;
    return ep;
}

std::vector<Bytes> FramesOfStream(const Bytes &stream, const rpdwire::Endpoints &ep, uint32_t mss = 60) {
    return tamtest::FramesOf(rpdwire::SegmentStream({stream}, mss), ep);
}

ReadResult Read(const Bytes &file, std::vector<uint16_t> bmpPorts = {1790}) {
    rpdhost::InputOptions opt;
    opt.capture.bmpPorts = std::move(bmpPorts);
    ReadResult r = tamtest::ReadBytes(file, opt);
    EXPECT_TRUE(r.ok) << r.fatal;
    return r;
}

// The UPDATE of each route monitoring, in stream order.
std::vector<Bytes> Updates(uint32_t from, uint32_t to) {
    std::vector<Bytes> out;
    for (uint32_t i = from; i <= to; ++i) out.push_back(tamtest::RpdUpdate(i));
    return out;
}

TEST(BmpCapture, ReadsLikeTheStreamItCarries) {
    const Bytes stream = tamtest::BmpSession(kRoutes);
    const std::vector<Bytes> frames = FramesOfStream(stream, Router("10.0.0.1"));
    auto without = [&](size_t first, size_t count) {
        std::vector<Bytes> f = frames;
        f.erase(f.begin() + static_cast<std::ptrdiff_t>(first), f.begin() + static_cast<std::ptrdiff_t>(first + count));
        return Pcap(f);
    };
    struct Case {
        const char *name;
        Bytes file;
        std::vector<uint16_t> bmpPorts;
        uint32_t firstRoute;  // the route monitorings from this one on come out whole (0: none)
        size_t events;
        const char *damage;  // a reason counted as damage ("" for none)
        const char *router = "router 10.0.0.1:40000";
    };
    // 60-byte segments: the handshake, then initiation and the start of the peer up in the first data segment.
    const Case cases[] = {
        {"whole", Pcap(frames), {1790}, 1, 4, ""},
        {"starts inside the peer up", without(0, 4), {1790}, 1, 2, "start no BMP message"},
        {"a segment of the routes lost", without(8, 1), {1790}, 3, 4, "missing from the capture"},
        {"the station on another port", Pcap(FramesOfStream(stream, Router("10.0.0.1", 11019))), {1790}, 0, 0, ""},
        {"the station on another port, asked for", Pcap(FramesOfStream(stream, Router("10.0.0.1", 11019))), {11019},
         1, 4, ""},
        {"over IPv6", Pcap(FramesOfStream(stream, Router("2001:db8::1"))), {1790}, 1, 4, "", "router [2001:db8::1]:40000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = Read(c.file, c.bmpPorts);
        const std::vector<Bytes> want = c.firstRoute == 0 ? std::vector<Bytes>{} : Updates(c.firstRoute, kRoutes);
        EXPECT_TRUE(tamtest::BytesOf(r.got) == want) << r.got.messages.size() << " messages";
        EXPECT_EQ(r.got.events.size(), c.events);
        if (*c.damage == '\0') EXPECT_FALSE(r.AnyDamage());
        else EXPECT_TRUE(r.Damaged(c.damage));
        for (const auto &m : r.got.messages) {
            EXPECT_EQ(m.where.rfind(std::string(c.router) + ": route monitoring of 192.0.2.1", 0), 0u) << m.where;
            EXPECT_EQ(m.peer, "192.0.2.1");  // the monitored peer, not the router
            EXPECT_EQ(m.peerAs, 65001u);
            EXPECT_NE(m.frame, 0u);
        }
    }
    const ReadResult hint = Read(cases[3].file);
    EXPECT_EQ(hint.counts.skipped.count("TCP segments on port 11019 that start a BMP message (try --bmp-port 11019)"), 1u);
}

// Two routers' streams interleaved segment by segment, and the stations'
// acknowledgements with a byte of their own: each router's messages come out
// whole and named for it; what a station sends is counted, not read.
TEST(BmpCapture, RoutersAreKeptApart) {
    const Bytes stream = tamtest::BmpSession(kRoutes);
    const std::vector<Bytes> a = FramesOfStream(stream, Router("10.0.0.1")), b = FramesOfStream(stream, Router("10.0.0.2"));
    std::vector<Bytes> mixed;
    for (size_t i = 0; i < a.size(); ++i) mixed.insert(mixed.end(), {a[i], b[i]});
    mixed.push_back(tamtest::FramesOf({{5001, 1001, rpdwire::kTcpPsh | rpdwire::kTcpAck, {0}, false}}, Router("10.0.0.1"))[0]);
    const ReadResult r = Read(Pcap(mixed));
    EXPECT_FALSE(r.AnyDamage());
    ASSERT_EQ(r.got.messages.size(), 2 * kRoutes);
    size_t first = 0, second = 0;
    for (const auto &m : r.got.messages) {
        if (m.where.rfind("router 10.0.0.1:", 0) == 0) EXPECT_EQ(m.bytes, tamtest::RpdUpdate(uint32_t(++first)));
        else if (m.where.rfind("router 10.0.0.2:", 0) == 0) EXPECT_EQ(m.bytes, tamtest::RpdUpdate(uint32_t(++second)));
        else ADD_FAILURE() << m.where;
    }
    EXPECT_EQ(r.got.events.size(), 8u);
    EXPECT_EQ(r.counts.skipped.count("TCP segments a BMP station sent (not read)"), 1u);
}

// A port named by --port is BGP's even when it is the default BMP port; named for both, it is refused by the
// command line (see cli_test.sh).
TEST(BmpCapture, BgpOnTheBmpPortWhenToldSo) {
    const std::vector<Bytes> msgs = Updates(1, 3);
    rpdhost::InputOptions opt;
    opt.capture.bgpPorts = {1790};
    opt.capture.bmpPorts = {};
    const ReadResult r = tamtest::ReadBytes(Pcap(tamtest::FramesOf(rpdwire::SegmentStream(msgs, 1400), Router("10.0.0.1"))), opt);
    EXPECT_TRUE(tamtest::BytesOf(r.got) == msgs);
}

}  // namespace
