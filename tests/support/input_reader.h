// rpd-host's input readers run over bytes in memory, and files the wire
// writers make in memory: shared by the tool tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "file_writer.h"
#include "input.h"
#include "reader_context.h"

namespace tamtest {

// Everything a reader hands over.
struct Collected : rpdhost::MessageSink {
    std::vector<rpdhost::Message> messages;
    std::vector<rpdhost::InputEvent> events;
    std::vector<rpdhost::InputProblem> problems;
    void OnMessage(const rpdhost::Message &m) override { messages.push_back(m); }
    void OnProblem(const rpdhost::InputProblem &p) override { problems.push_back(p); }
    void OnEvent(const rpdhost::InputEvent &e) override { events.push_back(e); }
};

struct ReadResult {
    Collected got;
    rpdhost::InputCounts counts;
    bool ok = false;
    std::string fatal;
    // Whether something was counted as damage under a reason containing `reason`.
    bool Damaged(const std::string &reason) const {
        for (const auto &[what, tally] : counts.skipped)
            if (tally.damage && what.find(reason) != std::string::npos) return true;
        return false;
    }
    bool AnyDamage() const { return Damaged(""); }
};

inline ReadResult ReadBytes(const rpdwire::Bytes &file, const rpdhost::InputOptions &opt = {}) {
    ReadResult r;
    FILE *f = file.empty() ? std::tmpfile() : fmemopen(const_cast<uint8_t *>(file.data()), file.size(), "rb");
    rpdhost::ReaderContext ctx(r.got, r.counts);
    r.ok = rpdhost::ReadInput(f, opt, ctx, r.fatal);
    std::fclose(f);
    return r;
}

inline rpdwire::Bytes Cat(std::initializer_list<rpdwire::Bytes> parts) {
    rpdwire::Bytes out;
    for (const rpdwire::Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<rpdwire::Bytes> BytesOf(const Collected &c) {
    std::vector<rpdwire::Bytes> out;
    for (const auto &m : c.messages) out.push_back(m.bytes);
    return out;
}

// The bytes `write(FILE *)` writes, which must succeed.
template <typename Write> rpdwire::Bytes InMemory(Write write) {
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    EXPECT_TRUE(write(f));
    std::fclose(f);
    rpdwire::Bytes out(buf, buf + len);
    std::free(buf);
    return out;
}

// A classic pcap of `frames`, and the Ethernet frames of TCP segments between `ep`'s ends.
inline rpdwire::Bytes Pcap(const std::vector<rpdwire::Bytes> &frames, uint32_t linkType = rpdwire::kLinkEthernet) {
    return InMemory([&](FILE *f) { return rpdwire::WritePcapFrames(f, linkType, frames, 1700000000, nullptr); });
}
inline std::vector<rpdwire::Bytes> FramesOf(const std::vector<rpdwire::TcpSegment> &segs,
                                            const rpdwire::Endpoints &ep = {}) {
    std::vector<rpdwire::Bytes> frames;
    EXPECT_TRUE(rpdwire::PcapFrames(segs, ep, frames, nullptr));
    return frames;
}

}  // namespace tamtest
