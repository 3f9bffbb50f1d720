// rpd-host end to end: the input readers (hex, raw, MRT, pcap, BMP, told or
// detected), the UPDATE walk through the plug-in, the verifier and a
// reporter writing every output format. The first byte picks the format, the
// output and --verify. Every message handed over must be a whole BGP message,
// and the walk must stay inside it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "input.h"
#include "run.h"
#include "update.h"

namespace {

// Checks what the readers hand over, then passes it on to the run.
struct Checked : rpdhost::MessageSink {
    explicit Checked(rpdhost::Run &h) : host(h) {}
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
        host.OnMessage(m);
    }
    void OnProblem(const rpdhost::InputProblem &p) override { host.OnProblem(p); }
    void OnEvent(const rpdhost::InputEvent &e) override { host.OnEvent(e); }
    void OnCounts(const rpdhost::InputCounts &c) override { host.OnCounts(c); }
    rpdhost::Run &host;
};

const rpdhost::Plugin &ThePlugin() {
    static rpdhost::Plugin plugin;
    static const bool loaded = [] {
        std::string err;
        if (!plugin.Load(TAM_RPD_PLUGIN_PATH, err)) {
            std::fprintf(stderr, "input fuzz: %s\n", err.c_str());
            std::abort();
        }
        return true;
    }();
    (void)loaded;
    return plugin;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    // Auto last, so that the seeds' first bytes keep naming the format they were made in.
    static const rpdhost::InputFormat kFormats[] = {rpdhost::InputFormat::Hex, rpdhost::InputFormat::Raw,
                                                    rpdhost::InputFormat::Mrt, rpdhost::InputFormat::Pcap,
                                                    rpdhost::InputFormat::Bmp, rpdhost::InputFormat::Auto};
    static const rpdhost::OutputMode kOutputs[] = {rpdhost::OutputMode::Text, rpdhost::OutputMode::Json,
                                                   rpdhost::OutputMode::PluginText, rpdhost::OutputMode::Display};
    static FILE *sinkFile = std::fopen("/dev/null", "w");
    const rpdhost::Plugin &plugin = ThePlugin();
    rpdhost::InputOptions inOpt;
    inOpt.format = kFormats[data[0] % 6];
    // A capture budget small enough that inputs of a few kilobytes reach it and evict.
    if (data[0] & 0x40) inOpt.capture.memory = 8192;
    rpdhost::RunOptions opt;
    opt.output = kOutputs[(data[0] >> 3) % 4];
    opt.verify = (data[0] & 0x80) != 0;
    FILE *f = size > 1 ? fmemopen(const_cast<uint8_t *>(data + 1), size - 1, "rb") : std::tmpfile();
    if (f == nullptr) return 0;
    rpdhost::Run run(plugin, opt, sinkFile, sinkFile);
    Checked sink(run);
    rpdhost::InputCounts counts;
    rpdhost::ReaderContext ctx(sink, counts);
    std::string fatal;
    rpdhost::ReadInput(f, inOpt, ctx, fatal);
    std::fclose(f);
    sink.OnCounts(counts);
    run.Finish();
    return 0;
}
