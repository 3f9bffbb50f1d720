// Captures as they come: starting inside a connection, with lost segments,
// fragments, other ports, broken headers, unusual link types, more streams
// than the table holds, and wrapping sequence numbers. Whatever can be read
// is read; whatever cannot is counted under its reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "file_writer.h"
#include "input.h"
#include "input_reader.h"

namespace {

using rpdwire::Bytes;
using Frames = std::vector<Bytes>;

using tamtest::BytesOf;
using tamtest::FramesOf;
using tamtest::Pcap;
using tamtest::ReadResult;

ReadResult ReadCapture(const Bytes &file, const std::vector<uint16_t> &ports = {179}) {
    rpdhost::InputOptions opt;
    opt.capture.bgpPorts = ports;
    ReadResult r = tamtest::ReadBytes(file, opt);
    EXPECT_TRUE(r.ok) << r.fatal;
    return r;
}

std::vector<Bytes> Messages(size_t n) {
    std::vector<Bytes> out;
    for (uint32_t i = 0; i < n; ++i) {
        rpdwire::Update u;
        u.announce = {{i + 1, 0x0A000001 + i, 1}};
        u.hasPolicy = true;
        u.wideCommunity = rpdwire::Encode(rpdwire::MinimalPolicy());
        out.push_back(rpdwire::BuildUpdate(u));
    }
    return out;
}

constexpr size_t kEth = 14;

// Splits the IPv4 packet of an Ethernet frame into fragments of `chunk` payload bytes (a multiple of 8).
Frames Fragment4(const Bytes &frame, size_t chunk) {
    const size_t ihl = (frame[kEth] & 15u) * 4u;
    const Bytes payload(frame.begin() + kEth + ihl, frame.end());
    Frames out;
    for (size_t off = 0; off < payload.size(); off += chunk) {
        const size_t n = std::min(chunk, payload.size() - off);
        Bytes f(frame.begin(), frame.begin() + kEth + ihl);
        const size_t total = ihl + n;
        f[kEth + 2] = uint8_t(total >> 8), f[kEth + 3] = uint8_t(total);
        const uint16_t flags = uint16_t((off + n < payload.size() ? 0x2000 : 0) | (off / 8));
        f[kEth + 6] = uint8_t(flags >> 8), f[kEth + 7] = uint8_t(flags);
        f.insert(f.end(), payload.begin() + off, payload.begin() + off + n);
        out.push_back(f);
    }
    return out;
}

// The same for IPv6, with a fragment header after the fixed one.
Frames Fragment6(const Bytes &frame, size_t chunk) {
    const Bytes payload(frame.begin() + kEth + 40, frame.end());
    Frames out;
    for (size_t off = 0; off < payload.size(); off += chunk) {
        const size_t n = std::min(chunk, payload.size() - off);
        Bytes f(frame.begin(), frame.begin() + kEth + 40);
        const size_t plen = 8 + n;
        f[kEth + 4] = uint8_t(plen >> 8), f[kEth + 5] = uint8_t(plen);
        f[kEth + 6] = 44;
        const uint16_t fo = uint16_t(off | (off + n < payload.size() ? 1 : 0));
        f.insert(f.end(), {6, 0, uint8_t(fo >> 8), uint8_t(fo), 0, 0, 0x12, 0x34});
        f.insert(f.end(), payload.begin() + off, payload.begin() + off + n);
        out.push_back(f);
    }
    return out;
}

TEST(Capture, RecoversWhatCanBeReadAndCountsTheRest) {
    const std::vector<Bytes> msgs = Messages(4);
    // 3 handshake segments, then data: messages of 89 bytes in segments of 60, so
    // segment 4 ends the first message and starts the second.
    const auto segs = rpdwire::SegmentStream(msgs, 60);
    const Frames plain = FramesOf(segs);
    rpdwire::Endpoints v6;
    v6.peerAddr = "2001:db8::1";
    v6.localAddr = "2001:db8::2";
    rpdwire::Endpoints otherPort;
    otherPort.localPort = 1179;
    auto edited = [&](size_t frame, const std::function<void(Bytes &)> &edit) {
        Frames f = plain;
        edit(f[frame]);
        return Pcap(f);
    };
    auto without = [&](size_t first, size_t count) {
        Frames f = plain;
        f.erase(f.begin() + static_cast<std::ptrdiff_t>(first), f.begin() + static_cast<std::ptrdiff_t>(first + count));
        return Pcap(f);
    };
    auto fragmented = [&](const Frames &frames, bool v6f) {
        Frames out;
        for (size_t i = 0; i < frames.size(); ++i) {
            Frames parts = i < 3 ? Frames{frames[i]} : (v6f ? Fragment6(frames[i], 24) : Fragment4(frames[i], 24));
            if (parts.size() > 1) std::swap(parts.front(), parts.back());  // the last fragment first
            out.insert(out.end(), parts.begin(), parts.end());
        }
        return Pcap(out);
    };
    // With sequence numbers that wrap inside the stream, segments reversed in pairs.
    std::vector<rpdwire::TcpSegment> wrapped = segs;
    for (auto &s : wrapped) s.seq += 0xFFFFFF00u - 1000u;
    for (size_t i = 3; i + 1 < wrapped.size(); i += 2) std::swap(wrapped[i], wrapped[i + 1]);

    struct Case {
        const char *name;
        Bytes file;
        std::vector<uint16_t> ports;
        size_t firstMessage;  // the messages from this one on come out whole
        const char *damage;   // a reason counted as damage ("" for none)
    };
    const Case cases[] = {
        {"clean", Pcap(plain), {179}, 0, ""},
        {"starts inside the first message", without(0, 4), {179}, 1, "start no BGP message"},
        {"a segment lost", without(4, 1), {179}, 2, "missing from the capture"},
        {"IPv4 fragments, out of order", fragmented(plain, false), {179}, 0, ""},
        {"IPv6 fragments, out of order", fragmented(FramesOf(segs, v6), true), {179}, 0, ""},
        {"BGP on port 1179, asked for", Pcap(FramesOf(segs, otherPort)), {1179}, 0, ""},
        {"sequence numbers wrap", Pcap(FramesOf(wrapped)), {179}, 0, ""},
        {"IPv4 header length below 20", edited(4, [](Bytes &f) { f[kEth] = 0x44; }), {179}, 2, "bad header length"},
        {"IPv4 total length past the frame", edited(4, [](Bytes &f) { f[kEth + 2] = 0x7F; }), {179}, 2,
         "bad total length"},
        {"TCP data offset 4", edited(4, [](Bytes &f) { f[kEth + 20 + 12] = 0x40; }), {179}, 2, "data offset below 5"},
        {"unknown link type", Pcap(plain, 147), {179}, 4, "unsupported link type (147)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = ReadCapture(c.file, c.ports);
        const std::vector<Bytes> want(msgs.begin() + static_cast<std::ptrdiff_t>(c.firstMessage), msgs.end());
        EXPECT_EQ(r.got.messages.size(), want.size());
        EXPECT_TRUE(BytesOf(r.got) == want);
        if (*c.damage == '\0') {
            EXPECT_FALSE(r.AnyDamage());
            EXPECT_TRUE(r.got.problems.empty()) << r.got.problems[0].what;
        } else {
            EXPECT_TRUE(r.Damaged(c.damage));
        }
    }
}

// A SYN that carries the first message, its data numbered after the SYN (as
// TCP has it) or from the SYN's own number (as replayed captures have it):
// every message is read either way, tshark's count for both (3).
TEST(Capture, DataOnTheSyn) {
    const std::vector<Bytes> msgs = Messages(3);
    Bytes rest = msgs[1];
    rest.insert(rest.end(), msgs[2].begin(), msgs[2].end());
    for (const uint32_t gap : {1u, 0u}) {
        SCOPED_TRACE(gap);
        const std::vector<rpdwire::TcpSegment> segs = {
            {1000, 0, rpdwire::kTcpSyn, msgs[0], true},
            {5000, 1001, rpdwire::kTcpSyn | rpdwire::kTcpAck, {}, false},
            {1000 + gap + uint32_t(msgs[0].size()), 5001, rpdwire::kTcpPsh | rpdwire::kTcpAck, rest, true},
        };
        const ReadResult r = ReadCapture(Pcap(FramesOf(segs)));
        EXPECT_EQ(BytesOf(r.got), msgs);
        EXPECT_FALSE(r.AnyDamage());
    }
}

TEST(Capture, BgpOnAnotherPortGetsAHint) {
    rpdwire::Endpoints ep;
    ep.localPort = 1179;
    const ReadResult r = ReadCapture(Pcap(FramesOf(rpdwire::SegmentStream(Messages(2), 1400), ep)));
    EXPECT_TRUE(r.got.messages.empty());
    EXPECT_EQ(r.counts.skipped.count("TCP segments on port 1179 that start a BGP message (try --port 1179)"), 1u);
}

// One budget for everything held, bookkeeping included, oldest first: idle
// connections are closed and a gap that waits too long is passed over, each
// counted, and the connections that carry data still come out whole.
TEST(Capture, TheMemoryBudgetGivesWayOldestFirst) {
    rpdhost::InputOptions opt;
    opt.capture.memory = 1u << 20;
    Frames frames;
    for (uint32_t i = 0; i < 2000; ++i) {  // ~2 MiB of bookkeeping
        rpdwire::Endpoints ep;
        ep.peerAddr = "10." + std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255) + ".1";
        frames.push_back(FramesOf({{1000, 0, 0x02, {}, true}}, ep)[0]);
    }
    // A stream whose second segment never comes, with 20,000 one-byte segments behind the gap.
    rpdwire::Endpoints gappy;
    gappy.peerAddr = "10.200.0.1";
    std::vector<rpdwire::TcpSegment> held = {{1000, 0, 0x02, {}, true}, {1001, 0, 0x18, {0xFF}, true}};
    for (uint32_t i = 0; i < 20000; ++i) held.push_back({1003 + i, 0, 0x18, {0xFF}, true});
    for (const Bytes &f : FramesOf(held, gappy)) frames.push_back(f);
    const std::vector<Bytes> msgs = Messages(3);
    for (const Bytes &f : FramesOf(rpdwire::SegmentStream(msgs, 40))) frames.push_back(f);

    const ReadResult r = tamtest::ReadBytes(Pcap(frames), opt);
    EXPECT_EQ(BytesOf(r.got), msgs);
    ASSERT_FALSE(r.got.problems.empty());
    EXPECT_NE(r.got.problems[0].what.find("memory budget (1 MiB"), std::string::npos) << r.got.problems[0].what;
    EXPECT_GT(r.counts.skipped.at("TCP streams closed to stay within the capture memory budget").count, 1000u);
    EXPECT_TRUE(r.Damaged("passed over to stay within the capture memory budget"));
}

// A copy of bytes already received, the same or different, before or after
// the gap it stood behind filled: the stream keeps the first copy, and a
// different one is counted and reported once.
TEST(Capture, CopiesThatDifferAreReportedAndTheFirstKept) {
    const std::vector<Bytes> msgs = Messages(2);
    const auto segs = rpdwire::SegmentStream(msgs, 60);  // 3 handshake segments, then 3 of data
    auto altered = [](rpdwire::TcpSegment s) {
        s.payload[30] ^= 1;
        return s;
    };
    using Segs = std::vector<rpdwire::TcpSegment>;
    struct Case {
        const char *name;
        Segs segs;
        bool differs;
    };
    const Case cases[] = {
        {"the same copy again", {segs[0], segs[1], segs[2], segs[3], segs[3], segs[4], segs[5]}, false},
        {"a different copy after it was read", {segs[0], segs[1], segs[2], segs[3], altered(segs[3]), segs[4], segs[5]},
         true},
        {"a different copy while it is held", {segs[0], segs[1], segs[2], segs[4], altered(segs[4]), segs[3], segs[5]},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = ReadCapture(Pcap(FramesOf(c.segs)));
        if (c.differs) {
            EXPECT_EQ(BytesOf(r.got), msgs);
            EXPECT_TRUE(r.Damaged("bytes differ from those already received"));
            ASSERT_EQ(r.got.problems.size(), 1u);
            EXPECT_NE(r.got.problems[0].what.find("the first copy is kept"), std::string::npos);
        } else {
            EXPECT_FALSE(r.Damaged("bytes differ"));
        }
    }
}

// An OPEN from `as`, with the extended message capability when `extended`.
Bytes Open(uint16_t as, bool extended) {
    Bytes caps = {1, 4, 0, 1, 0, 75};  // multiprotocol AFI 1 / SAFI 75
    if (extended) caps.insert(caps.end(), {6, 0});
    Bytes m(16, 0xFF);
    const size_t len = 19 + 10 + 2 + caps.size();
    m.insert(m.end(), {uint8_t(len >> 8), uint8_t(len), 1, 4, uint8_t(as >> 8), uint8_t(as), 0, 90, 10, 0, 0, 1,
                       uint8_t(2 + caps.size()), 2, uint8_t(caps.size())});
    m.insert(m.end(), caps.begin(), caps.end());
    return m;
}

// A message longer than 4096 bytes is read either way, and reported unless
// both OPENs in the capture offered extended messages (RFC 8654).
TEST(Capture, LongMessagesNeedBothOpensToOfferExtendedMessages) {
    rpdwire::Update u;
    for (uint32_t i = 0; i < 600; ++i) u.announce.push_back({i, 0x0A000001, 1});
    const Bytes big = rpdwire::BuildUpdate(u);
    ASSERT_GT(big.size(), 4096u);
    struct Case {
        const char *name;
        int peerOpen, localOpen;  // -1: not in the capture; 0: without the capability; 1: with it
        const char *counted;      // "" for nothing
    };
    const Case cases[] = {
        {"both offer", 1, 1, ""},
        {"the receiver does not", 1, 0, "did not allow"},
        {"the sender does not", 0, 1, "did not allow"},
        {"no OPEN in the capture", -1, -1, "whose OPENs the capture lacks"},
        {"only the sender's OPEN, offering", 1, -1, "whose OPENs the capture lacks"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<rpdwire::TcpSegment> segs = rpdwire::SegmentStream({}, 1400);
        uint32_t peerSeq = 1001, localSeq = 5001;
        auto send = [&](bool fromPeer, const Bytes &m) {
            uint32_t &seq = fromPeer ? peerSeq : localSeq;
            for (size_t off = 0; off < m.size(); off += 1400) {
                const Bytes part(m.begin() + static_cast<std::ptrdiff_t>(off),
                                 m.begin() + static_cast<std::ptrdiff_t>(std::min(m.size(), off + 1400)));
                segs.push_back({seq, 0, 0x18, part, fromPeer});
                seq += uint32_t(part.size());
            }
        };
        if (c.peerOpen >= 0) send(true, Open(65001, c.peerOpen == 1));
        if (c.localOpen >= 0) send(false, Open(65000, c.localOpen == 1));
        send(true, big);
        send(true, big);
        const ReadResult r = ReadCapture(Pcap(FramesOf(segs)));
        EXPECT_EQ(r.got.messages.back().bytes, big);
        size_t counted = 0;
        for (const auto &[what, tally] : r.counts.skipped)
            if (what.find("longer than 4096") != std::string::npos) counted += tally.count;
        if (*c.counted == '\0') {
            EXPECT_EQ(counted, 0u);
            continue;
        }
        EXPECT_EQ(counted, 2u);
        bool named = false;
        for (const auto &[what, tally] : r.counts.skipped) named = named || what.find(c.counted) != std::string::npos;
        EXPECT_TRUE(named);
        // A refusal the OPENs show is a problem of the input, said once per stream.
        EXPECT_EQ(r.got.problems.size(), std::string(c.counted) == "did not allow" ? 1u : 0u);
    }
}

// pcapng whose interfaces differ (Ethernet and raw IP), one of them with nanosecond times.
TEST(Capture, PcapngInterfacesKeepTheirOwnLinkTypes) {
    const std::vector<Bytes> msgs = Messages(3);
    const Frames eth = FramesOf(rpdwire::SegmentStream(msgs, 50));
    Bytes file;
    // Out of line: g++ 12 at -O3 sees a push_back after a reallocation as an overflow (a false positive).
    auto put32 = [&](Bytes &b, uint32_t v) __attribute__((noinline)) {
        for (int s = 0; s <= 24; s += 8) b.push_back(uint8_t(v >> s));
    };
    auto block = [&](uint32_t type, const Bytes &body) {
        const uint32_t total = uint32_t(12 + body.size() + (4 - body.size() % 4) % 4);
        put32(file, type);
        put32(file, total);
        for (uint8_t b : body) file.push_back(b);
        for (size_t pad = (4 - body.size() % 4) % 4; pad > 0; --pad) file.push_back(0);
        put32(file, total);
    };
    Bytes shb;
    put32(shb, 0x1A2B3C4D);
    shb.insert(shb.end(), {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    block(0x0A0D0D0A, shb);
    block(1, {1, 0, 0, 0, 0, 0, 1, 0});                                // Ethernet
    block(1, {101, 0, 0, 0, 0, 0, 1, 0, 9, 0, 1, 0, 9, 0, 0, 0, 0, 0, 0, 0});  // raw IP, if_tsresol 10^-9
    for (size_t i = 0; i < eth.size(); ++i) {
        const bool raw = i % 2 == 1;
        const Bytes data = raw ? Bytes(eth[i].begin() + kEth, eth[i].end()) : eth[i];
        const uint64_t ts = raw ? 1700000000ull * 1000000000ull + 5000 : 1700000000ull * 1000000ull + 5;
        Bytes epb;
        put32(epb, raw ? 1 : 0);
        put32(epb, uint32_t(ts >> 32));
        put32(epb, uint32_t(ts));
        put32(epb, uint32_t(data.size()));
        put32(epb, uint32_t(data.size()));
        epb.insert(epb.end(), data.begin(), data.end());
        block(6, epb);
    }
    const ReadResult r = ReadCapture(file);
    EXPECT_EQ(BytesOf(r.got), msgs);
    EXPECT_FALSE(r.AnyDamage());
    for (const auto &m : r.got.messages) {
        EXPECT_EQ(m.sec, 1700000000);
        EXPECT_EQ(m.usec, 5u);
    }
}

}  // namespace
