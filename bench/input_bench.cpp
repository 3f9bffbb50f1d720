// TCP reassembly cost: one-byte segments, the later half sent first (held
// behind the gap), then the earlier half in order, each delivery releasing
// the held ones. Measured beside the same segments all in order (the floor)
// at 10k to 80k segments, with and without a sequence-number wrap: the
// cost per segment must not grow with the count.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "bgp_writer.h"
#include "file_writer.h"
#include "input.h"
#include "reader_context.h"

namespace {

using rpdwire::Bytes;

struct Count : rpdhost::MessageSink {
    size_t messages = 0;
    void OnMessage(const rpdhost::Message &) override { ++messages; }
    void OnProblem(const rpdhost::InputProblem &) override {}
};

// A pcap of `n` one-byte segments of a BGP stream (KEEPALIVEs), held-first or in order.
const Bytes &Capture(size_t n, bool held, bool wrap) {
    static std::map<std::tuple<size_t, bool, bool>, Bytes> cache;
    Bytes &out = cache[{n, held, wrap}];
    if (!out.empty()) return out;
    Bytes keepalive(16, 0xFF);
    keepalive.insert(keepalive.end(), {0, 19, 4});
    std::vector<Bytes> msgs(n / keepalive.size() + 1, keepalive);
    std::vector<rpdwire::TcpSegment> segs = rpdwire::SegmentStream(msgs, 1);
    segs.resize(3 + n);
    if (wrap)  // the stream crosses 2^32 half way
        for (auto &s : segs) s.seq += static_cast<uint32_t>(0x100000000ull - n / 2 - 1001);
    if (held) {
        std::vector<rpdwire::TcpSegment> order(segs.begin(), segs.begin() + 3);
        order.insert(order.end(), segs.begin() + 3 + static_cast<std::ptrdiff_t>(n / 2), segs.end());
        order.insert(order.end(), segs.begin() + 3, segs.begin() + 3 + static_cast<std::ptrdiff_t>(n / 2));
        segs.swap(order);
    }
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    rpdwire::WritePcap(f, segs, {}, nullptr);
    std::fclose(f);
    out.assign(buf, buf + len);
    std::free(buf);
    return out;
}

void Reassemble(benchmark::State &state, bool held, bool wrap) {
    const size_t n = static_cast<size_t>(state.range(0));
    const Bytes &file = Capture(n, held, wrap);
    for (auto _ : state) {
        FILE *f = fmemopen(const_cast<uint8_t *>(file.data()), file.size(), "rb");
        Count sink;
        rpdhost::InputCounts counts;
        std::string fatal;
        rpdhost::ReaderContext ctx(sink, counts);
        rpdhost::ReadInput(f, rpdhost::InputOptions{}, ctx, fatal);
        std::fclose(f);
        benchmark::DoNotOptimize(sink.messages);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

}  // namespace

#define SEGMENT_COUNTS ->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(Reassemble, held, true, false)->Name("tcp_held_first") SEGMENT_COUNTS;
BENCHMARK_CAPTURE(Reassemble, held_wrap, true, true)->Name("tcp_held_first_wrap") SEGMENT_COUNTS;
BENCHMARK_CAPTURE(Reassemble, in_order, false, false)->Name("tcp_in_order") SEGMENT_COUNTS;

BENCHMARK_MAIN();
