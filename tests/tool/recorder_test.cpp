// A live record rotated by size or by time: every file reads on its own with
// nothing damaged, and the files in order hold every message once, in the
// order it came, even though two connections stay open across the files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "input_reader.h"
#include "recorder.h"

namespace {

using rpdwire::Bytes;

Bytes Slurp(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Recorder, RotatedFilesEachReadOnTheirOwn) {
    std::vector<Bytes> msgs;
    for (uint32_t i = 0; i < 40; ++i) {
        rpdwire::Update u;
        u.announce = {{i + 1, 0x0A000001 + i, 1}};
        msgs.push_back(rpdwire::BuildUpdate(u));
    }
    struct Case {
        const char *name;
        const char *file;
        rpdhost::RecordRotation rotate;
        double step;  // seconds between messages
    };
    const Case cases[] = {
        {"pcap by size", "rec.pcap", {1024, 0}, 0.01},
        {"pcapng by size", "rec.pcapng", {1024, 0}, 0.01},
        {"MRT by time", "rec.mrt", {0, 1}, 0.3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("rpd-rotate-" + std::to_string(getpid()) + "-" + std::string(c.file));
        std::filesystem::create_directories(dir);
        rpdhost::Recorder rec;
        std::string why;
        ASSERT_TRUE(rec.Open((dir / c.file).string(), std::nullopt, why, c.rotate)) << why;
        rpdhost::RecordLink a, b;
        b.ep.peerAddr = "192.0.2.3";
        double now = 1700000000;
        rec.Connected(a, now);
        rec.Connected(b, now);
        for (size_t i = 0; i < msgs.size(); ++i) rec.Received(i % 2 ? b : a, msgs[i], now += c.step);
        rec.Closed(a, now);
        rec.Closed(b, now);
        ASSERT_TRUE(rec.Close(why)) << why;

        std::vector<std::filesystem::path> files;
        for (const auto &e : std::filesystem::directory_iterator(dir)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        EXPECT_GE(files.size(), 4u);
        EXPECT_EQ(files.front().filename().string().substr(0, 11), "rec.000001.");
        std::vector<Bytes> read;
        for (const auto &f : files) {
            SCOPED_TRACE(f.string());
            const tamtest::ReadResult r = tamtest::ReadBytes(Slurp(f));
            EXPECT_TRUE(r.ok) << r.fatal;
            EXPECT_FALSE(r.AnyDamage());
            EXPECT_FALSE(r.got.messages.empty());
            for (const Bytes &m : tamtest::BytesOf(r.got)) read.push_back(m);
        }
        EXPECT_EQ(read, msgs);
        std::filesystem::remove_all(dir);
    }
}

}  // namespace
