// Input readers and the UPDATE walk: every format gives back the same BGP
// messages, TCP reassembly copes with split, reordered and repeated segments,
// and broken inputs are reported, never trusted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "hex.h"
#include "file_writer.h"
#include "input.h"
#include "input_reader.h"
#include "file_read.h"
#include "update.h"

namespace {

using rpdhost::InputFormat;
using rpdwire::Bytes;

using tamtest::BytesOf;
using tamtest::Collected;

// What the readers hand over from `file` read as `fmt`; a fatal error counts as a problem.
Collected ReadAs(const Bytes &file, InputFormat fmt = InputFormat::Auto) {
    rpdhost::InputOptions opt;
    opt.format = fmt;
    tamtest::ReadResult r = tamtest::ReadBytes(file, opt);
    if (!r.fatal.empty()) r.got.problems.push_back({0, 0, 0, "", r.fatal});
    return r.got;
}

Bytes Written(rpdwire::FileFormat fmt, const std::vector<Bytes> &msgs, const rpdwire::Endpoints &ep = {},
              uint32_t mss = 1400) {
    return tamtest::InMemory([&](FILE *f) { return rpdwire::WriteMessages(f, fmt, msgs, ep, mss); });
}

Bytes PcapOf(const std::vector<rpdwire::TcpSegment> &segs, const rpdwire::Endpoints &ep = {}) {
    return tamtest::InMemory([&](FILE *f) { return rpdwire::WritePcap(f, segs, ep, nullptr); });
}

std::vector<Bytes> SampleMessages() {
    rpdwire::Update a;
    a.announce = {{7, 0x0A010101, 1}, {8, 0x0A010102, 1}};
    a.hasPolicy = true;
    a.wideCommunity = rpdwire::Encode(rpdwire::FullPolicy());
    a.originAs = 65001;
    rpdwire::Update w;
    w.withdraw = {{7, 0x0A010101, 1}};
    // A policy long enough to need the extended-length flag, and a KEEPALIVE.
    rpdwire::Update big = a;
    rpdwire::Policy p = rpdwire::FullPolicy();
    std::vector<rpdwire::PrefixEntry> many(100, rpdwire::PrefixEntry{0x0A000000, 8, 0, 0, 0, 0});
    p.atoms.push_back(rpdwire::PrefixAtom(many));
    big.wideCommunity = rpdwire::Encode(p);
    Bytes keepalive(16, 0xFF);
    keepalive.insert(keepalive.end(), {0, 19, 4});
    return {rpdwire::BuildUpdate(a), rpdwire::BuildUpdate(w), keepalive, rpdwire::BuildUpdate(big)};
}

TEST(Input, EveryFormatGivesBackTheSameMessages) {
    const std::vector<Bytes> msgs = SampleMessages();
    struct Case {
        rpdwire::FileFormat fmt;
        InputFormat expect;
        const char *peer;
    };
    rpdwire::Endpoints v4;
    rpdwire::Endpoints v6;
    v6.peerAddr = "2001:db8::1";
    v6.localAddr = "2001:db8::2";
    for (const rpdwire::Endpoints &ep : {v4, v6}) {
        for (const Case &c : {Case{rpdwire::FileFormat::Hex, InputFormat::Hex, ""},
                              Case{rpdwire::FileFormat::Raw, InputFormat::Raw, ""},
                              Case{rpdwire::FileFormat::Mrt, InputFormat::Mrt, ep.peerAddr.c_str()},
                              Case{rpdwire::FileFormat::Pcap, InputFormat::Pcap, ep.peerAddr.c_str()}}) {
            const Bytes file = Written(c.fmt, msgs, ep, 100);
            EXPECT_EQ(rpdhost::DetectFormat(file.data(), file.size(), true), c.expect);
            const Collected got = ReadAs(file);
            EXPECT_TRUE(got.problems.empty()) << rpdhost::FormatName(c.expect) << ": " << got.problems[0].what;
            EXPECT_EQ(BytesOf(got), msgs) << rpdhost::FormatName(c.expect);
            ASSERT_FALSE(got.messages.empty());
            EXPECT_EQ(got.messages.back().number, msgs.size());
            EXPECT_EQ(got.messages[0].peer, c.peer);
            if (c.expect == InputFormat::Mrt) {
                EXPECT_TRUE(got.messages[0].hasTime);
                EXPECT_EQ(got.messages[0].sec, ep.time);
                EXPECT_EQ(got.messages[0].peerAs, ep.peerAs);
                EXPECT_EQ(got.messages[1].offset, 12 + 12 + 2 * (ep.peerAddr.find(':') == std::string::npos ? 4 : 16) +
                                                      msgs[0].size());
            }
        }
    }
}

TEST(Input, HexTextTakesCommentsAndMessagesWithoutMarker) {
    const std::vector<Bytes> msgs = SampleMessages();
    std::string text = "# two messages\n";
    text += rpdwire::ToHex(msgs[0]) + "  # with its marker\n";
    text += rpdwire::ToHex(Bytes(msgs[1].begin() + 16, msgs[1].end())) + "\n# the second without\n";
    const Collected got = ReadAs(Bytes(text.begin(), text.end()), InputFormat::Hex);
    ASSERT_TRUE(got.problems.empty());
    EXPECT_EQ(BytesOf(got), (std::vector<Bytes>{msgs[0], msgs[1]}));
    EXPECT_EQ(got.messages[1].offset, msgs[0].size());
}

// Hex as people paste it gives the same bytes whatever its form, and is told
// from binary formats by its content, not fooled by a comment's UTF-8 or a NUL.
TEST(Input, HexTextInTheFormsPeoplePaste) {
    const Bytes msg = SampleMessages()[1];
    auto join = [&](auto byteText, const char *sep) {
        std::string out;
        for (size_t i = 0; i < msg.size(); ++i) out += byteText(msg[i]) + (i + 1 < msg.size() ? sep : "");
        return out + "\n";
    };
    auto hex2 = [](uint8_t b) {
        char t[3];
        std::snprintf(t, sizeof(t), "%02x", b);
        return std::string(t);
    };
    // Offset, bytes and an ASCII column, as tshark, xxd and hexdump -C lay them out.
    auto dump = [&](const char *offsetFmt, int group, bool midGap, const char *bar) {
        std::string out;
        for (size_t at = 0; at < msg.size(); at += 16) {
            char off[16];
            std::snprintf(off, sizeof(off), offsetFmt, static_cast<unsigned>(at));
            std::string line = off, ascii;
            for (size_t i = at; i < std::min(at + 16, msg.size()); ++i) {
                if ((i - at) % group == 0) line += ' ';
                if (midGap && i - at == 8) line += ' ';
                line += hex2(msg[i]);
                ascii += (msg[i] >= 0x20 && msg[i] < 0x7F) ? char(msg[i]) : '.';
            }
            line.resize(std::max(line.size(), std::string(off).size() + 16 * 3 + 1), ' ');
            out += line + "  " + bar + ascii + bar + "\n";
        }
        return out;
    };
    const std::string forms[] = {
        join(hex2, " "),
        join([&](uint8_t b) { return "0x" + hex2(b); }, ", "),
        join(hex2, ":"),
        "# r\xc3\xa9sum\xc3\xa9 \xe2\x80\x94 a comment in UTF-8\n" + std::string(1, '\0') + join(hex2, ""),
        dump("%04x ", 1, false, ""),         // tshark -x
        dump("%08x:", 2, false, ""),         // xxd
        dump("%08x ", 1, true, "|").append("00000027\n"),  // hexdump -C, closed by the end offset
    };
    for (const std::string &text : forms) {
        SCOPED_TRACE(text);
        const Bytes file(text.begin(), text.end());
        EXPECT_EQ(rpdhost::DetectFormat(file.data(), file.size(), true), InputFormat::Hex);
        const Collected got = ReadAs(file);
        EXPECT_TRUE(got.problems.empty()) << got.problems[0].what;
        EXPECT_EQ(BytesOf(got), std::vector<Bytes>{msg});
    }
}

// A line that is not hex (a stray word, a pasted prompt) is passed over and
// reported by its line number; the messages either side of it read on,
// whether the format was found or given.
TEST(Input, HexTextPassesOverALineThatIsNotHex) {
    const std::vector<Bytes> msgs = SampleMessages();
    const std::string before = "\xEF\xBB\xBF" + rpdwire::ToHex(msgs[0]) + "\n";
    const std::string text = before + "router# show bgp\n" + rpdwire::ToHex(msgs[1]) + "\n";
    const std::string stray = "line " + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) + ":";
    const Bytes file(text.begin(), text.end());
    EXPECT_EQ(rpdhost::DetectFormat(file.data(), file.size(), true), InputFormat::Hex);
    for (InputFormat fmt : {InputFormat::Auto, InputFormat::Hex}) {
        const Collected got = ReadAs(file, fmt);
        EXPECT_EQ(BytesOf(got), (std::vector<Bytes>{msgs[0], msgs[1]}));
        ASSERT_EQ(got.problems.size(), 1u);
        EXPECT_EQ(got.problems[0].what.rfind(stray, 0), 0u) << got.problems[0].what;
    }
}

// MRT records written by hand: the 2-byte-AS subtype, the extended-time
// type, a record type that is skipped, and a record that does not hold one message.
TEST(Input, MrtSubtypesAndBrokenRecords) {
    const Bytes msg = SampleMessages()[1];
    auto record = [&](uint16_t type, uint16_t subtype, const Bytes &body) {
        Bytes r = {0x65, 0x53, 0xF1, 0x00, uint8_t(type >> 8), uint8_t(type), uint8_t(subtype >> 8), uint8_t(subtype)};
        const uint32_t n = static_cast<uint32_t>(body.size());
        r.insert(r.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
        r.insert(r.end(), body.begin(), body.end());
        return r;
    };
    Bytes as2 = {0xFD, 0xE9, 0xFD, 0xE8, 0, 0, 0, 1, 192, 0, 2, 1, 192, 0, 2, 2};
    as2.insert(as2.end(), msg.begin(), msg.end());
    Bytes et = {0, 0x07, 0xA1, 0x20};  // 500000 microseconds
    et.insert(et.end(), as2.begin(), as2.end());
    Bytes shortMsg(as2.begin(), as2.end() - 1);
    Bytes file;
    for (const Bytes &r : {record(16, 1, as2), record(11, 1, {1, 2, 3}), record(17, 1, et), record(16, 1, shortMsg),
                           record(16, 3, {0, 0}), record(16, 1, as2)})
        file.insert(file.end(), r.begin(), r.end());
    const Collected got = ReadAs(file, InputFormat::Mrt);
    ASSERT_EQ(got.messages.size(), 3u);
    EXPECT_EQ(got.messages[0].peerAs, 65001u);
    EXPECT_EQ(got.messages[1].usec, 500000u);
    EXPECT_EQ(got.messages[0].bytes, msg);
    ASSERT_EQ(got.problems.size(), 1u);  // the record whose message is one byte short
    EXPECT_NE(got.problems[0].what.find("exactly one BGP message"), std::string::npos);
}

TEST(Input, PcapReassemblesSplitReorderedAndRepeatedSegments) {
    const std::vector<Bytes> msgs = SampleMessages();
    for (const char *peer : {"192.0.2.1", "2001:db8::1"}) {
        rpdwire::Endpoints ep;
        ep.peerAddr = peer;
        ep.localAddr = std::string(peer).find(':') != std::string::npos ? "2001:db8::2" : "192.0.2.2";
        const std::vector<rpdwire::TcpSegment> inOrder = rpdwire::SegmentStream(msgs, 7);
        std::vector<rpdwire::TcpSegment> data(inOrder.begin() + 3, inOrder.end());
        // Reverse each run of five data segments; add a retransmission that
        // spans two segments and a plain duplicate.
        for (size_t i = 0; i + 5 <= data.size(); i += 5) std::reverse(data.begin() + i, data.begin() + i + 5);
        rpdwire::TcpSegment span = inOrder[6];
        span.payload.insert(span.payload.end(), inOrder[7].payload.begin(), inOrder[7].payload.end());
        data.insert(data.begin() + 2, span);
        data.insert(data.begin() + 9, data[4]);
        std::vector<rpdwire::TcpSegment> segs(inOrder.begin(), inOrder.begin() + 3);  // handshake
        segs.push_back(rpdwire::TcpSegment{5001, 1001, 0x10, {}, false});           // the other direction
        segs.insert(segs.end(), data.begin(), data.end());
        const Collected got = ReadAs(PcapOf(segs, ep));
        EXPECT_TRUE(got.problems.empty()) << got.problems[0].what;
        EXPECT_EQ(BytesOf(got), msgs) << peer;
        EXPECT_NE(got.messages[0].where.find(":179"), std::string::npos);
    }
}

TEST(Input, PcapGapIsPassedOverAndTheStreamResumes) {
    const std::vector<Bytes> msgs = SampleMessages();
    std::vector<rpdwire::TcpSegment> segs = rpdwire::SegmentStream(msgs, 50);
    segs.erase(segs.begin() + 4);  // the second data segment never arrives: the first message is lost
    const Collected got = ReadAs(PcapOf(segs));
    EXPECT_EQ(BytesOf(got), std::vector<Bytes>(msgs.begin() + 1, msgs.end()));
    ASSERT_FALSE(got.problems.empty());
    EXPECT_NE(got.problems[0].what.find("50 bytes missing from the capture"), std::string::npos) << got.problems[0].what;
}

// Every prefix of every format: the readers report what they could not
// read and never hand over a message that was not whole.
TEST(Input, TruncatedInputsAreReportedNeverTrusted) {
    const std::vector<Bytes> msgs = SampleMessages();
    for (rpdwire::FileFormat fmt :
         {rpdwire::FileFormat::Hex, rpdwire::FileFormat::Raw, rpdwire::FileFormat::Mrt, rpdwire::FileFormat::Pcap}) {
        const Bytes file = Written(fmt, msgs, {}, 64);
        // Where a cut leaves a shorter but whole stream (raw and MRT).
        std::vector<size_t> ends;
        size_t at = 0;
        for (const Bytes &m : msgs) ends.push_back(at += m.size() + (fmt == rpdwire::FileFormat::Mrt ? 12 + 20 : 0));
        for (size_t n = 1; n < file.size(); n += (fmt == rpdwire::FileFormat::Hex ? 7 : 1)) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            const Collected got = ReadAs(cut, fmt == rpdwire::FileFormat::Pcap ? InputFormat::Pcap : InputFormat::Auto);
            ASSERT_LE(got.messages.size(), msgs.size());
            for (size_t i = 0; i < got.messages.size(); ++i) ASSERT_EQ(got.messages[i].bytes, msgs[i]) << n;
            const bool whole = std::find(ends.begin(), ends.end(), n) != ends.end();
            if (fmt == rpdwire::FileFormat::Raw || fmt == rpdwire::FileFormat::Mrt)
                EXPECT_EQ(got.problems.empty(), whole) << "format " << int(fmt) << " cut at " << n;
        }
    }
}

TEST(Input, GarbageIsRefused) {
    struct Case {
        const char *name;
        Bytes file;
        InputFormat fmt;
    };
    Bytes noMarker(40, 0xFF);
    noMarker[3] = 0;
    Bytes shortLen(16, 0xFF);
    shortLen.insert(shortLen.end(), {0, 18, 4});
    const std::string hexJunk = "ff ff zz";
    const Case cases[] = {
        {"raw without marker", noMarker, InputFormat::Raw},
        {"length below the header", shortLen, InputFormat::Raw},
        {"hex with a stray character", Bytes(hexJunk.begin(), hexJunk.end()), InputFormat::Hex},
        {"odd hex digits", Bytes{'f', 'f', 'f'}, InputFormat::Hex},
        {"pcap header only", Bytes{0xD4, 0xC3, 0xB2, 0xA1, 2, 0}, InputFormat::Pcap},
        {"MRT header cut", Bytes{0, 0, 0, 0, 0, 16}, InputFormat::Mrt},
        {"MRT length implausible", Bytes{0, 0, 0, 0, 0, 16, 0, 4, 0x7F, 0, 0, 0}, InputFormat::Mrt},
    };
    for (const Case &c : cases) {
        const Collected got = ReadAs(c.file, c.fmt);
        EXPECT_TRUE(got.messages.empty()) << c.name;
        EXPECT_FALSE(got.problems.empty()) << c.name;
    }
}

// A length field is a claim: what it costs to read is what the input holds.
TEST(Input, ClaimedLengthsCostOnlyWhatTheInputHolds) {
    Bytes ten(10, 0x42);
    FILE *f = fmemopen(ten.data(), ten.size(), "rb");
    std::vector<uint8_t> buf;
    EXPECT_FALSE(rpdwire::ReadExactly(f, buf, 16u << 20));
    std::fclose(f);
    EXPECT_EQ(buf, ten);
    EXPECT_LT(buf.capacity(), 1u << 20);
    // And a whole one comes in whole.
    Bytes big(300000, 0x17);
    f = fmemopen(big.data(), big.size(), "rb");
    EXPECT_TRUE(rpdwire::ReadExactly(f, buf, big.size()));
    std::fclose(f);
    EXPECT_EQ(buf, big);
}

// ---------------------------------------------------------------- walk

TEST(UpdateWalk, FindsTheRpdPartsAndSkipsTheRest) {
    rpdwire::Update u;
    u.announce = {{1, 2, 1}};
    u.withdraw = {{3, 4, 1}};
    u.hasPolicy = true;
    u.wideCommunity = Bytes(300, 0x5A);  // needs the extended length
    Bytes msg = rpdwire::BuildUpdate(u);
    rpdhost::UpdateParts parts;
    rpdhost::WalkError err;
    ASSERT_TRUE(rpdhost::SplitMessage(msg.data(), msg.size(), 129, parts, err)) << err.what;
    EXPECT_EQ(parts.type, 2);
    ASSERT_TRUE(parts.reach.present && parts.unreach.present && parts.wideCommunity.present);
    EXPECT_EQ(parts.reach.length, 10u);
    EXPECT_EQ(parts.unreach.length, 10u);
    EXPECT_EQ(parts.wideCommunity.length, 300u);
    EXPECT_EQ(msg[parts.reach.offset], 9);
    EXPECT_EQ(parts.otherAttributes, 2u);  // ORIGIN, AS_PATH
    // Another attribute code for the Wide Community: the 300 bytes become an other attribute.
    ASSERT_TRUE(rpdhost::SplitMessage(msg.data(), msg.size(), 130, parts, err));
    EXPECT_FALSE(parts.wideCommunity.present);
    EXPECT_EQ(parts.otherAttributes, 3u);
}

TEST(UpdateWalk, RefusesBrokenAttributeLists) {
    rpdwire::Update u;
    u.announce = {{1, 2, 1}};
    const Bytes good = rpdwire::BuildUpdate(u);
    struct Case {
        const char *name;
        Bytes msg;
    };
    auto with = [&](auto edit) {
        Bytes m = good;
        edit(m);
        return m;
    };
    auto setLen = [](Bytes &m) { m[16] = uint8_t(m.size() >> 8), m[17] = uint8_t(m.size()); };
    const Case cases[] = {
        {"attribute list longer than the message", with([](Bytes &m) { m[22] = 0xFF; })},
        {"attribute longer than the list", with([](Bytes &m) { m[25] = 200; })},
        {"header cut", with([&](Bytes &m) { m.resize(25), m[21] = 0, m[22] = 2, setLen(m); })},
        {"UPDATE of the bare header", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0, 19, 2}},
        {"MP_REACH repeated", with([&](Bytes &m) {
             const Bytes mp(m.begin() + 30, m.end());  // ORIGIN at 23, empty AS_PATH at 27, MP_REACH at 30
             m.insert(m.end(), mp.begin(), mp.end());
             const size_t attrs = m.size() - 23;
             m[21] = uint8_t(attrs >> 8), m[22] = uint8_t(attrs);
             setLen(m);
         })},
        {"next hop past the attribute", with([](Bytes &m) { m[m.size() - 16] = 40; })},
    };
    for (const Case &c : cases) {
        rpdhost::UpdateParts parts;
        rpdhost::WalkError err;
        EXPECT_FALSE(rpdhost::SplitMessage(c.msg.data(), c.msg.size(), 129, parts, err)) << c.name;
        EXPECT_LT(err.offset, c.msg.size()) << c.name;
    }
    // Another family is counted, not handed over.
    Bytes other = good;
    other[good.size() - 19 + 2] = 1;  // SAFI 1
    rpdhost::UpdateParts parts;
    rpdhost::WalkError err;
    ASSERT_TRUE(rpdhost::SplitMessage(other.data(), other.size(), 129, parts, err)) << err.what;
    EXPECT_FALSE(parts.reach.present);
    EXPECT_EQ(parts.otherFamilies, 1u);
}

}  // namespace
