// MRT beyond BGP4MP messages: RIB dumps become UPDATEs that take the same
// walk as received ones (peer from the index, originated time, path
// identifiers), state changes become events, and _LOCAL messages name the
// local speaker as their sender.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "input.h"
#include "input_reader.h"
#include "mrt_builder.h"
#include "update.h"

namespace {

using tamtest::Cat;
using namespace mrttest;

using tamtest::Collected;

Collected ReadMrt(const Bytes &file) {
    tamtest::ReadResult r = tamtest::ReadBytes(file);
    EXPECT_TRUE(r.ok) << r.fatal;
    EXPECT_EQ(r.counts.format, "mrt");
    return r.got;
}

Bytes Slice(const Bytes &b, const rpdhost::Span &s) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(s.offset), b.begin() + static_cast<std::ptrdiff_t>(s.offset + s.length));
}

const Bytes kPolicy = rpdwire::Encode(rpdwire::MinimalPolicy());
const Bytes kWc = Attr(0xC0, 129, kPolicy);
const Bytes kOrigin = Attr(0x40, 1, {0});

Bytes PeerIndex() {
    Builder b;
    b.U32(0x0A000001).U16(4).Raw({'v', 'i', 'e', 'w'}).U16(2);
    b.U8(0).U32(1).Ip("192.0.2.1").U16(65001);          // IPv4, 2-octet AS
    b.U8(3).U32(2).Ip("2001:db8::1").U32(4200000000u);  // IPv6, 4-octet AS
    return Record(1700000000, 13, 1, b.b);
}

Bytes RibGeneric(uint16_t subtype, uint32_t seq, const Bytes &nlri, std::initializer_list<Bytes> entries) {
    Builder b;
    b.U32(seq).U16(1).U8(75).Raw(nlri).U16(static_cast<uint32_t>(entries.size()));
    for (const Bytes &e : entries) b.Raw(e);
    return Record(1700000000, 13, subtype, b.b);
}

TEST(MrtRib, EntriesBecomeUpdatesWithTheirPeerTimeAndPathId) {
    const Bytes nlriA = Nlri({7, 0x0A010101, 1}), nlriB = Nlri({8, 0x0A010102, 1});
    const Bytes abbreviated = Attr(0x80, 14, {4, 192, 0, 2, 1});  // next hop only (RFC 6396 4.3.4)
    Bytes whole = {0, 1, 75, 4, 192, 0, 2, 9, 0};
    whole.insert(whole.end(), nlriB.begin(), nlriB.end());
    const uint32_t pathId = 77;
    Builder v4;
    v4.U32(9).U8(8).U8(10).U16(1).Raw(RibEntry(0, 1700000300, Cat({kOrigin, kWc})));
    Builder td1;  // TABLE_DUMP: view, sequence, 10.1.0.0/16, status, originated, peer, AS, attributes
    td1.U16(0).U16(3).Ip("10.1.0.0").U8(16).U8(1).U32(1700000400).Ip("192.0.2.9").U16(65009).U16(
        static_cast<uint32_t>(kWc.size())).Raw(kWc);
    const Bytes file = Cat({PeerIndex(),
                            RibGeneric(6, 5, nlriA,
                                       {RibEntry(0, 1700000100, Cat({kOrigin, abbreviated, kWc})),
                                        RibEntry(1, 1700000200, kOrigin)}),
                            RibGeneric(12, 6, nlriB, {RibEntry(1, 1700000250, Attr(0x80, 14, whole), &pathId)}),
                            Record(1700000000, 13, 2, v4.b), Record(1700000000, 12, 1, td1.b)});
    const Collected got = ReadMrt(file);
    EXPECT_TRUE(got.problems.empty()) << got.problems[0].what;
    ASSERT_EQ(got.messages.size(), 5u);

    struct Want {
        const char *peer;
        uint32_t as;
        int64_t time;
        Bytes reach;  // the RPD NLRI field the walk must find
        bool policy;
        bool hasPathId;
    };
    const Want want[] = {
        {"192.0.2.1", 65001, 1700000100, nlriA, true, false},
        {"2001:db8::1", 4200000000u, 1700000200, nlriA, false, false},  // no MP_REACH_NLRI: one is added
        {"2001:db8::1", 4200000000u, 1700000250, nlriB, false, true},   // already whole: kept
        {"192.0.2.1", 65001, 1700000300, {}, true, false},
        {"192.0.2.9", 65009, 1700000400, {}, true, false},
    };
    for (size_t i = 0; i < 5; ++i) {
        const rpdhost::Message &m = got.messages[i];
        SCOPED_TRACE(i);
        EXPECT_TRUE(m.rebuilt);
        EXPECT_EQ(m.peer, want[i].peer);
        EXPECT_EQ(m.peerAs, want[i].as);
        EXPECT_EQ(m.sec, want[i].time);
        EXPECT_EQ(m.hasPathId, want[i].hasPathId);
        if (m.hasPathId) EXPECT_EQ(m.pathId, pathId);
        rpdhost::UpdateParts parts;
        rpdhost::WalkError err;
        ASSERT_TRUE(rpdhost::SplitMessage(m.bytes.data(), m.bytes.size(), 129, parts, err)) << err.what;
        EXPECT_EQ(parts.reach.present, !want[i].reach.empty());
        if (parts.reach.present) EXPECT_EQ(Slice(m.bytes, parts.reach), want[i].reach);
        ASSERT_EQ(parts.wideCommunity.present, want[i].policy);
        if (want[i].policy) EXPECT_EQ(Slice(m.bytes, parts.wideCommunity), kPolicy);
    }
    EXPECT_TRUE(got.messages[3].where.find("RIB_IPV4_UNICAST sequence 9") != std::string::npos);
}

TEST(MrtRib, BrokenEntriesAreReportedAndTheRestRead) {
    const Bytes nlri = Nlri({1, 2, 1});
    const Bytes file = Cat({PeerIndex(),
                            RibGeneric(6, 1, nlri, {RibEntry(9, 0, kWc)}),  // peer 9 is not in the index
                            RibGeneric(6, 2, nlri, {RibEntry(0, 0, {0x40, 1, 5, 0})}),  // attribute past its list
                            RibGeneric(6, 3, nlri, {RibEntry(0, 0, kWc)})});
    const Collected got = ReadMrt(file);
    ASSERT_EQ(got.messages.size(), 2u);
    EXPECT_EQ(got.messages[0].peer, "peer #9");
    ASSERT_EQ(got.problems.size(), 2u);
    EXPECT_NE(got.problems[0].what.find("peer index 9"), std::string::npos);
    EXPECT_NE(got.problems[1].what.find("runs past its attribute list"), std::string::npos);
}

TEST(MrtBgp4mp, StateChangesLocalAndAddPathMessages) {
    rpdwire::Update u;
    u.announce = {{1, 2, 1}};
    const Bytes msg = rpdwire::BuildUpdate(u);
    Builder state;
    state.U32(65001).U32(65000).U16(0).U16(1).Ip("192.0.2.1").Ip("192.0.2.2").U16(5).U16(6);
    const Bytes file = Cat({Record(1700000000, 16, 5, state.b),
                            Record(1700000001, 16, 7, Bgp4mpAs4(65001, 65000, "192.0.2.1", "192.0.2.2", msg)),
                            Record(1700000002, 16, 9, Bgp4mpAs4(65001, 65000, "192.0.2.1", "192.0.2.2", msg)),
                            Record(1700000003, 16, 4, Bgp4mpAs4(65001, 65000, "192.0.2.1", "192.0.2.2", msg))});
    const Collected got = ReadMrt(file);
    EXPECT_TRUE(got.problems.empty());
    ASSERT_EQ(got.events.size(), 1u);
    EXPECT_EQ(got.events[0].what, "state OpenConfirm -> Established");
    EXPECT_EQ(got.events[0].peer, "192.0.2.1");
    ASSERT_EQ(got.messages.size(), 3u);
    // A _LOCAL message was sent by the local speaker.
    EXPECT_EQ(got.messages[0].peer, "192.0.2.2");
    EXPECT_EQ(got.messages[0].peerAs, 65000u);
    EXPECT_FALSE(got.messages[0].addPath);
    EXPECT_TRUE(got.messages[1].addPath);
    EXPECT_EQ(got.messages[2].peer, "192.0.2.1");
    EXPECT_FALSE(got.messages[2].addPath);
}

// A file that opens with a record rpd-host does not read (an old or new
// type) is still told to be MRT by the records that follow it.
TEST(MrtBgp4mp, AFileOpeningWithARecordOfAnotherTypeIsStillMrt) {
    rpdwire::Update u;
    u.announce = {{1, 2, 1}};
    const Bytes file = Cat({Record(1700000000, 5, 1, Bytes(40, 0xAB)),
                            Record(1700000001, 16, 4, Bgp4mpAs4(65001, 65000, "192.0.2.1", "192.0.2.2",
                                                                rpdwire::BuildUpdate(u)))});
    EXPECT_EQ(ReadMrt(file).messages.size(), 1u);
}

}  // namespace
