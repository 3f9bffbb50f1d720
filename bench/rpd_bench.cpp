// Costs of the plug-in's entry points, each beside a floor measured in the
// same run: the work its contract forces (the same allocations with the same
// sizes, their zeroing, the copies into the output buffer, the frees) and
// nothing else. scripts/bench turns the pairs into ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "tam_host.h"
#include "tam_rpd.h"
#include "route_buffers.h"
#include "wc_writer.h"

namespace {

using rpdwire::Bytes;

constexpr uint64_t kModule = 0xBE4C;

struct Plugin {
    TAM_RPD_PLUGIN_OPS ops;
    TAM_RPD_INSTANCE *inst;
    Plugin() {
        std::memset(&ops, 0, sizeof(ops));
        inst = TAM_RPD_Construct(&ops, kModule);
    }
};
Plugin &P() {
    static Plugin p;
    return p;
}

// ------------------------------------------------------------ inputs

rpdwire::Policy Typical() {
    rpdwire::Policy p;
    p.community = rpdwire::kMatchAndSet;
    p.srcAs = 65001;
    p.contextAs = 65000;
    std::vector<rpdwire::PrefixEntry> prefixes;
    for (uint32_t i = 0; i < 10; ++i)
        prefixes.push_back({0x0A000000u + (i << 16), 16, static_cast<uint8_t>(i % 2 ? 20 : 0), 0,
                            static_cast<uint8_t>(i % 2), 0});
    p.atoms = {rpdwire::PrefixAtom(prefixes), rpdwire::AsPathAtom("^65001_"), rpdwire::AsPathAtom("_65010$"),
               rpdwire::CmtyAtom({0xFDE90064, 0xFDE900C8}), rpdwire::CmtyAtom({0xFDEA0001})};
    p.actions = {rpdwire::MedAction(1, 50), rpdwire::AsPathAction({{65001, 2}, {65002, 1}}),
                 rpdwire::CmtyAction({100, 200})};
    return p;
}

rpdwire::Policy Large() {
    rpdwire::Policy p = Typical();
    std::vector<rpdwire::PrefixEntry> prefixes;
    for (uint32_t i = 0; i < 8000; ++i) prefixes.push_back({0x0A000000u + (i << 8), 24, 0, 0, 0, 0});
    p.atoms[0] = rpdwire::PrefixAtom(prefixes);
    return p;
}

struct Sized {
    const char *name;
    Bytes value;
};
const std::vector<Sized> &Policies() {
    static const std::vector<Sized> v = {{"minimal", rpdwire::Encode(rpdwire::MinimalPolicy())},
                                         {"typical", rpdwire::Encode(Typical())},
                                         {"large", rpdwire::Encode(Large())}};
    return v;
}

const uint8_t kNlri[10] = {9, 1, 0, 0, 0, 7, 10, 1, 1, 1};

// A route the host stores: key and attribute output buffers, kept for the run.
struct Stored {
    rpdhost::OutBuf key, attr;
    TAM_RPD_ROUTE_VIEW view;
    explicit Stored(const Bytes &value) {
        const uint8_t *cur = kNlri;
        uint32_t more = 0;
        TAM_RPD_ParsePkt(&cur, 10, 14, key.slot(), &more, P().inst);
        cur = value.data();
        TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(value.size()), 11, attr.slot(), &more, P().inst);
        view = rpdhost::MakeView(&key, &attr);
    }
};

// Reports host allocations per iteration next to the time.
class AllocMeter {
public:
    explicit AllocMeter(benchmark::State &s) : state_(s) { TAMHOST_Reset(); }
    ~AllocMeter() {
        state_.counters["allocs"] =
            benchmark::Counter(static_cast<double>(TAMHOST_AllocCount()), benchmark::Counter::kAvgIterations);
    }

private:
    benchmark::State &state_;
};

// ------------------------------------------------------------ floors

// The allocation sizes one call makes, in order.
template <typename Fn>
std::vector<uint32_t> TraceAllocs(Fn call) {
    std::vector<uint32_t> sizes(1 << 16);
    TAMHOST_TraceAllocs(sizes.data(), sizes.size());
    call();
    sizes.resize(TAMHOST_TracedAllocs());
    TAMHOST_TraceAllocs(nullptr, 0);
    return sizes;
}

// Zeroing and copies go through the host's memset_s / memcpy_s, as the
// plug-in's contract requires of it.
//
// The decoder floor: every allocation the decoder makes, zeroed; the input
// copied into the first block (the working record) and the working record
// into the last (the output buffer, after its 32-byte header); every block
// but the output buffer freed, then the output buffer freed as the host does.
void DecoderFloor(benchmark::State &state, const std::vector<uint32_t> &sizes, const uint8_t *in, size_t n,
                  size_t recordHead) {
    std::vector<void *> blocks(sizes.size());
    AllocMeter meter(state);
    for (auto _ : state) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            blocks[i] = QOR_SimpleAlloc_F(kModule, sizes[i], "floor", 0);
            (void)memset_s(blocks[i], sizes[i], 0, sizes[i]);
        }
        uint8_t *record = static_cast<uint8_t *>(blocks[0]);
        uint8_t *out = static_cast<uint8_t *>(blocks.back());
        if (sizes.size() > 1) {
            (void)memcpy_s(record + recordHead, sizes[0] - recordHead, in, n);
            (void)memcpy_s(out + TAM_RPD_OUT_HDR_LEN, sizes.back() - TAM_RPD_OUT_HDR_LEN, record, recordHead + n);
        } else {
            (void)memcpy_s(out + TAM_RPD_OUT_HDR_LEN, sizes.back() - TAM_RPD_OUT_HDR_LEN, in, n);
        }
        benchmark::DoNotOptimize(out);
        for (void *b : blocks) QOR_Free_F(b, "floor", 0);
    }
}

// ------------------------------------------------------------ NLRI and key

void NlriDecode(benchmark::State &state) {
    AllocMeter meter(state);
    for (auto _ : state) {
        const uint8_t *cur = kNlri;
        uint32_t more = 0;
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        benchmark::DoNotOptimize(P().ops.pfnParsePkt(&cur, 10, 14, &out, &more, P().inst));
        QOR_Free_F(out, "bench", 0);
    }
}

// One output buffer (header + 24-byte key), zeroed, the key assembled from
// the wire fields and copied in, freed by the host.
void NlriFloorOnce(const uint8_t *n) {
    auto *out = static_cast<uint8_t *>(QOR_SimpleAlloc_F(kModule, TAM_RPD_OUT_HDR_LEN + 24, "floor", 0));
    (void)memset_s(out, TAM_RPD_OUT_HDR_LEN + 24, 0, TAM_RPD_OUT_HDR_LEN + 24);
    TAM_RPD_ROUTE_KEY key{};
    key.ucPolicyType = n[1];
    key.ucAddrLen = 4;
    key.ulDistinguisher = uint32_t{n[2]} << 24 | uint32_t{n[3]} << 16 | uint32_t{n[4]} << 8 | n[5];
    const uint32_t peer = uint32_t{n[6]} << 24 | uint32_t{n[7]} << 16 | uint32_t{n[8]} << 8 | n[9];
    std::memcpy(key.aucPeerAddr, &peer, 4);
    (void)memcpy_s(out + TAM_RPD_OUT_HDR_LEN, 24, &key, sizeof(key));
    benchmark::DoNotOptimize(out);
    QOR_Free_F(out, "floor", 0);
}

void NlriDecodeFloor(benchmark::State &state) {
    AllocMeter meter(state);
    for (auto _ : state) NlriFloorOnce(kNlri);
}

Bytes Field100() {
    Bytes f;
    for (uint32_t i = 0; i < 100; ++i) {
        f.insert(f.end(), kNlri, kNlri + 10);
        f[f.size() - 1] = static_cast<uint8_t>(i);
    }
    return f;
}

void NlriDecodeField100(benchmark::State &state) {
    const Bytes field = Field100();
    AllocMeter meter(state);
    for (auto _ : state) {
        const uint8_t *cur = field.data();
        uint32_t left = static_cast<uint32_t>(field.size());
        uint32_t more = 1;
        while (more != 0) {
            const uint8_t *start = cur;
            TAM_RPD_OUTPUT_BUF *out = nullptr;
            P().ops.pfnParsePkt(&cur, left, 14, &out, &more, P().inst);
            left -= static_cast<uint32_t>(cur - start);
            QOR_Free_F(out, "bench", 0);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100);
}

void NlriDecodeField100Floor(benchmark::State &state) {
    const Bytes field = Field100();
    AllocMeter meter(state);
    for (auto _ : state) {
        for (size_t i = 0; i < 100; ++i) NlriFloorOnce(field.data() + i * 10);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100);
}

void NlriEncode(benchmark::State &state) {
    Stored r(Policies()[0].value);
    uint8_t wire[16];
    int ctx = 0;
    for (auto _ : state) {
        uint8_t *w = wire;
        benchmark::DoNotOptimize(P().ops.pfnFormatPkt(&r.view, 14, &w, sizeof(wire), &ctx));
        benchmark::ClobberMemory();
    }
}

// The ten wire bytes written from the key.
void NlriEncodeFloor(benchmark::State &state) {
    Stored r(Policies()[0].value);
    uint8_t wire[16];
    for (auto _ : state) {
        TAM_RPD_ROUTE_KEY k;
        std::memcpy(&k, r.view.pucKey, sizeof(k));
        uint32_t peer;
        std::memcpy(&peer, k.aucPeerAddr, 4);
        wire[0] = 9;
        wire[1] = k.ucPolicyType;
        const uint32_t d = __builtin_bswap32(k.ulDistinguisher), a = __builtin_bswap32(peer);
        std::memcpy(wire + 2, &d, 4);
        std::memcpy(wire + 6, &a, 4);
        benchmark::DoNotOptimize(wire);
        benchmark::ClobberMemory();
    }
}

void KeyCompare(benchmark::State &state) {
    Stored a(Policies()[0].value), b(Policies()[0].value);
    for (auto _ : state)
        benchmark::DoNotOptimize(P().ops.pfnCmpData(a.view.pucKey, 24, b.view.pucKey, 24, TAM_RPD_CMP_KEY));
}

void KeyCompareFloor(benchmark::State &state) {
    Stored a(Policies()[0].value), b(Policies()[0].value);
    for (auto _ : state) benchmark::DoNotOptimize(std::memcmp(a.view.pucKey, b.view.pucKey, 24));
}

// ------------------------------------------------------------ Wide Community

void WcDecode(benchmark::State &state, const Bytes &v) {
    AllocMeter meter(state);
    for (auto _ : state) {
        const uint8_t *cur = v.data();
        uint32_t more = 0;
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        benchmark::DoNotOptimize(
            P().ops.pfnParsePkt(&cur, static_cast<uint32_t>(v.size()), 11, &out, &more, P().inst));
        QOR_Free_F(out, "bench", 0);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * v.size()));
}

void WcDecodeFloor(benchmark::State &state, const Bytes &v) {
    const std::vector<uint32_t> sizes = TraceAllocs([&] {
        const uint8_t *cur = v.data();
        uint32_t more = 0;
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        P().ops.pfnParsePkt(&cur, static_cast<uint32_t>(v.size()), 11, &out, &more, P().inst);
        QOR_Free_F(out, "bench", 0);
    });
    DecoderFloor(state, sizes, v.data(), v.size(), TAM_RPD_WC_RAW_OFFSET);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * v.size()));
}

void WcFormat(benchmark::State &state, const Bytes &v) {
    Stored r(v);
    std::vector<uint8_t> wire(v.size() + 16);
    int ctx = 0;
    for (auto _ : state) {
        uint8_t *w = wire.data();
        benchmark::DoNotOptimize(P().ops.pfnFormatPkt(&r.view, 11, &w, static_cast<uint32_t>(wire.size()), &ctx));
        benchmark::ClobberMemory();
    }
}

// The raw bytes copied out of the stored record.
void WcFormatFloor(benchmark::State &state, const Bytes &v) {
    Stored r(v);
    std::vector<uint8_t> wire(v.size() + 16);
    for (auto _ : state) {
        std::memcpy(wire.data(), r.view.pucAttr + TAM_RPD_WC_RAW_OFFSET, v.size());
        benchmark::ClobberMemory();
    }
}

void WcCompare(benchmark::State &state, const Bytes &v) {
    Stored a(v), b(v);
    const uint16_t n = static_cast<uint16_t>(a.view.ulAttrLen);
    AllocMeter meter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(P().ops.pfnCmpData(a.view.pucAttr, n, b.view.pucAttr, n, TAM_RPD_CMP_ATTR));
}

void WcCompareFloor(benchmark::State &state, const Bytes &v) {
    Stored a(v), b(v);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memcmp(a.view.pucAttr + TAM_RPD_WC_RAW_OFFSET,
                                             b.view.pucAttr + TAM_RPD_WC_RAW_OFFSET, v.size()));
}

void WcSetAttr(benchmark::State &state, const Bytes &v) {
    Stored r(v);
    AllocMeter meter(state);
    for (auto _ : state) {
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        benchmark::DoNotOptimize(P().ops.pfnSetAttr(&r.view, 11, 0, &out, P().inst));
        QOR_Free_F(out, "bench", 0);
    }
}

void WcSetAttrFloor(benchmark::State &state, const Bytes &v) {
    Stored r(v);
    const std::vector<uint32_t> sizes = TraceAllocs([&] {
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        P().ops.pfnSetAttr(&r.view, 11, 0, &out, P().inst);
        QOR_Free_F(out, "bench", 0);
    });
    DecoderFloor(state, sizes, r.view.pucAttr, r.view.ulAttrLen, 0);
}

// ------------------------------------------------------------ text

void TextKey(benchmark::State &state) {
    Stored r(Policies()[1].value);
    char buf[256];
    uint32_t c1, c2;
    for (auto _ : state) benchmark::DoNotOptimize(P().ops.pfnData2Str(&r.view, 1, buf, 256, &c1, &c2, P().inst));
}

void TextPolicy(benchmark::State &state, const Bytes &v) {
    Stored r(v);
    std::vector<char> buf(1 << 20);
    uint32_t c1, c2;
    AllocMeter meter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(P().ops.pfnData2Str(&r.view, 0x40, buf.data(), static_cast<uint32_t>(buf.size()),
                                                     &c1, &c2, P().inst));
}

void DisplayPiece(benchmark::State &state, uint32_t code) {
    Stored r(Policies()[1].value);
    std::vector<char> buf(8192);
    uint32_t c1, c2;
    AllocMeter meter(state);
    for (auto _ : state) {
        char *cur = buf.data();
        benchmark::DoNotOptimize(
            P().ops.pfnFormatDisp(&r.view, code, &cur, static_cast<uint32_t>(buf.size()), &c1, &c2, P().inst));
    }
}

// ------------------------------------------------------------ messages

void MsgEncode(benchmark::State &state, int family) {
    Stored r(Policies()[1].value);
    std::vector<uint8_t> body(1024);
    int ctx = 0;
    uint32_t w1, w2;
    for (auto _ : state) {
        uint8_t *w = body.data();
        uint32_t st = 0;
        switch (family) {
            case 0: st = P().ops.pfnFormatMsg(&r.view, 59, &w, 1024, &ctx); break;
            case 1: st = P().ops.pfnFormatHaMsg(&r.view, 3, &w, 1024, &ctx); break;
            case 2: st = P().ops.pfnFormatAttrMsg(&r.view, 29, &w, 1024, &ctx); break;
            default: st = P().ops.pfnFormatCfg(&r.view, 2, &w, 1024, &w1, &w2); break;
        }
        benchmark::DoNotOptimize(st);
        benchmark::ClobberMemory();
    }
}

void MsgDecode(benchmark::State &state, int family) {
    const Bytes attr = Policies()[1].value;
    std::vector<uint8_t> cfg(38, 0);
    cfg[0] = 8, cfg[4] = 1, cfg[5] = 4, cfg[6] = 7;
    AllocMeter meter(state);
    for (auto _ : state) {
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        uint32_t st = 0;
        switch (family) {
            case 0: st = P().ops.pfnParseMsg(kNlri, 10, 53, &out, P().inst); break;
            case 1: st = P().ops.pfnParseHaMsg(kNlri, 10, 3, &out, P().inst); break;
            case 2:
                st = P().ops.pfnParseAttrMsg(attr.data(), static_cast<uint16_t>(attr.size()), 29, &out, P().inst);
                break;
            default: st = P().ops.pfnParseCfg(cfg.data(), 38, 2, &out, P().inst); break;
        }
        benchmark::DoNotOptimize(st);
        QOR_Free_F(out, "bench", 0);
    }
}

// Route-prefix and configuration decoders hand over one key buffer, like an
// NLRI; the attribute message decoder does the Wide Community decoder's work.
void MsgDecodeFloor(benchmark::State &state, int family) {
    if (family != 2) {
        AllocMeter meter(state);
        for (auto _ : state) NlriFloorOnce(kNlri);
        return;
    }
    const Bytes attr = Policies()[1].value;
    const std::vector<uint32_t> sizes = TraceAllocs([&] {
        TAM_RPD_OUTPUT_BUF *out = nullptr;
        P().ops.pfnParseAttrMsg(attr.data(), static_cast<uint16_t>(attr.size()), 29, &out, P().inst);
        QOR_Free_F(out, "bench", 0);
    });
    DecoderFloor(state, sizes, attr.data(), attr.size(), TAM_RPD_WC_RAW_OFFSET);
}

const char *const kFamilies[] = {"bgpi", "ha", "attr", "cfg"};

void Register() {
    benchmark::RegisterBenchmark("nlri_decode", NlriDecode);
    benchmark::RegisterBenchmark("nlri_decode/floor", NlriDecodeFloor);
    benchmark::RegisterBenchmark("nlri_decode_field100", NlriDecodeField100);
    benchmark::RegisterBenchmark("nlri_decode_field100/floor", NlriDecodeField100Floor);
    benchmark::RegisterBenchmark("nlri_encode", NlriEncode);
    benchmark::RegisterBenchmark("nlri_encode/floor", NlriEncodeFloor);
    benchmark::RegisterBenchmark("key_compare", KeyCompare);
    benchmark::RegisterBenchmark("key_compare/floor", KeyCompareFloor);
    for (const Sized &s : Policies()) {
        const std::string n = s.name;
        const Bytes *v = &s.value;
        benchmark::RegisterBenchmark(("wc_decode_" + n).c_str(), [v](benchmark::State &st) { WcDecode(st, *v); });
        benchmark::RegisterBenchmark(("wc_decode_" + n + "/floor").c_str(),
                                     [v](benchmark::State &st) { WcDecodeFloor(st, *v); });
        benchmark::RegisterBenchmark(("wc_format_" + n).c_str(), [v](benchmark::State &st) { WcFormat(st, *v); });
        benchmark::RegisterBenchmark(("wc_format_" + n + "/floor").c_str(),
                                     [v](benchmark::State &st) { WcFormatFloor(st, *v); });
        benchmark::RegisterBenchmark(("wc_compare_" + n).c_str(), [v](benchmark::State &st) { WcCompare(st, *v); });
        benchmark::RegisterBenchmark(("wc_compare_" + n + "/floor").c_str(),
                                     [v](benchmark::State &st) { WcCompareFloor(st, *v); });
        benchmark::RegisterBenchmark(("wc_set_attr_" + n).c_str(), [v](benchmark::State &st) { WcSetAttr(st, *v); });
        benchmark::RegisterBenchmark(("wc_set_attr_" + n + "/floor").c_str(),
                                     [v](benchmark::State &st) { WcSetAttrFloor(st, *v); });
        benchmark::RegisterBenchmark(("text_policy_" + n).c_str(), [v](benchmark::State &st) { TextPolicy(st, *v); });
    }
    benchmark::RegisterBenchmark("text_key", TextKey);
    for (uint32_t code = 1; code <= 0x40; code <<= 1)
        benchmark::RegisterBenchmark(("display_typical/" + std::to_string(code)).c_str(),
                                     [code](benchmark::State &st) { DisplayPiece(st, code); });
    for (int f = 0; f < 4; ++f) {
        benchmark::RegisterBenchmark((std::string("msg_encode_") + kFamilies[f]).c_str(),
                                     [f](benchmark::State &st) { MsgEncode(st, f); });
        benchmark::RegisterBenchmark((std::string("msg_decode_") + kFamilies[f]).c_str(),
                                     [f](benchmark::State &st) { MsgDecode(st, f); });
        benchmark::RegisterBenchmark((std::string("msg_decode_") + kFamilies[f] + "/floor").c_str(),
                                     [f](benchmark::State &st) { MsgDecodeFloor(st, f); });
    }
}

}  // namespace

int main(int argc, char **argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TAM_RPD_Destruct(P().inst);
    return 0;
}
