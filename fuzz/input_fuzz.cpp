// rpd-host's input readers (hex, raw, MRT, pcap) and its UPDATE walk: the
// first byte picks the format. Every message handed over must be a whole BGP
// message, and the walk must stay inside it.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "input.h"
#include "update.h"

namespace {

struct Sink : rpdhost::InputSink {
    void OnMessage(const rpdhost::Message &m) override {
        const std::vector<uint8_t> &b = m.bytes;
        if (b.size() < 19 || (static_cast<size_t>(b[16]) << 8 | b[17]) != b.size()) std::abort();
        rpdhost::UpdateParts parts;
        rpdhost::WalkError err;
        if (rpdhost::SplitMessage(b.data(), b.size(), 129, parts, err)) {
            for (const rpdhost::Span *s : {&parts.reach, &parts.unreach, &parts.wideCommunity})
                if (s->present && s->offset + s->length > b.size()) std::abort();
        } else if (err.offset >= b.size()) {
            std::abort();
        }
    }
    void OnProblem(const rpdhost::InputProblem &) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    // Auto last, so that the seeds' first bytes keep naming the format they were made in.
    static const rpdhost::InputFormat kFormats[] = {rpdhost::InputFormat::Hex, rpdhost::InputFormat::Raw,
                                                    rpdhost::InputFormat::Mrt, rpdhost::InputFormat::Pcap,
                                                    rpdhost::InputFormat::Auto};
    rpdhost::InputOptions opt;
    opt.format = kFormats[data[0] % 5];
    FILE *f = size > 1 ? fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb") : std::tmpfile();
    if (f == nullptr) return 0;
    Sink sink;
    rpdhost::InputCounts counts;
    std::string fatal;
    rpdhost::ReadInput(f, opt, sink, counts, fatal);
    std::fclose(f);
    return 0;
}
