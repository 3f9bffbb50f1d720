#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "bgp_stream.h"
#include "bmp_stream.h"
#include "decompress.h"
#include "readers.h"

namespace rpdhost {

namespace {

using namespace rpdwire;

constexpr size_t kChunk = 1 << 16;
constexpr size_t kHeadLen = 4096;  // bytes looked at to tell the format

// A stream that first gives back the bytes already read to tell the format.
struct Replay {
    std::vector<uint8_t> head;
    size_t pos = 0;
    FILE *rest = nullptr;
};

ssize_t ReplayRead(void *cookie, char *buf, size_t size) {
    auto *r = static_cast<Replay *>(cookie);
    if (r->pos < r->head.size()) {
        const size_t n = std::min(size, r->head.size() - r->pos);
        std::memcpy(buf, r->head.data() + r->pos, n);
        r->pos += n;
        return static_cast<ssize_t>(n);
    }
    const size_t n = std::fread(buf, 1, size, r->rest);
    return (n == 0 && std::ferror(r->rest)) ? -1 : static_cast<ssize_t>(n);
}

int ReplayClose(void *) { return 0; }

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Reads the head of `from` into `r` and gives a stream of all of `from`.
FilePtr Rewound(FILE *from, Replay &r, std::string &fatal) {
    r.rest = from;
    r.head.resize(kHeadLen);
    r.head.resize(std::fread(r.head.data(), 1, r.head.size(), from));
    if (std::ferror(from)) {
        fatal = std::strerror(errno);
        return nullptr;
    }
    FilePtr f(fopencookie(&r, "rb", {ReplayRead, nullptr, nullptr, ReplayClose}));
    if (!f) fatal = "cannot set up the input stream";
    return f;
}

bool IsPcapMagic(const uint8_t *head, size_t n) {
    if (n < 4) return false;
    const uint32_t be = Be32(head);
    // pcap in either byte order and either time resolution, or pcapng.
    return be == kPcapMagic || be == __builtin_bswap32(kPcapMagic) || be == kPcapMagicNs ||
           be == __builtin_bswap32(kPcapMagicNs) || be == kPcapngMagic;
}

}  // namespace

bool LooksLikeBmp(const uint8_t *head, size_t n) {
    if (!StartsBmpMessage(head, n)) return false;
    const size_t next = Be32(head + 1);
    return n < next + kBmpCommonHeader || StartsBmpMessage(head + next, n - next);
}

void ReadStream(FILE *in, StreamDecoder &decoder, ReaderContext &ctx) {
    std::vector<uint8_t> chunk(kChunk);
    uint64_t total = 0;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        total += n;
        decoder.Feed(chunk.data(), n);
        if (decoder.Broken()) return;
        ctx.Progress(total);
    }
    decoder.Finish();
}

const char *FormatName(InputFormat f) {
    switch (f) {
        case InputFormat::Auto: return "auto";
        case InputFormat::Hex: return "hex";
        case InputFormat::Raw: return "raw";
        case InputFormat::Mrt: return "mrt";
        case InputFormat::Pcap: return "pcap";
        case InputFormat::Bmp: return "bmp";
    }
    return "?";
}

bool ParseInputFormat(const std::string &name, InputFormat &out) {
    for (InputFormat f : {InputFormat::Auto, InputFormat::Hex, InputFormat::Raw, InputFormat::Mrt, InputFormat::Pcap,
                          InputFormat::Bmp})
        if (name == FormatName(f)) {
            out = f;
            return true;
        }
    return false;
}

InputFormat DetectFormat(const uint8_t *head, size_t n, bool whole) {
    if (IsPcapMagic(head, n)) return InputFormat::Pcap;
    if (n >= kBgpMarkerLen && IsMarker(head)) return InputFormat::Raw;
    if (LooksLikeMrt(head, n)) return InputFormat::Mrt;
    if (LooksLikeBmp(head, n)) return InputFormat::Bmp;
    if (LooksLikeHex(head, n, whole)) return InputFormat::Hex;
    if (LooksLikeMrt(head, n, true)) return InputFormat::Mrt;
    return InputFormat::Auto;
}

bool ReadInput(FILE *in, const InputOptions &opt, ReaderContext &ctx, std::string &fatal) {
    InputCounts &counts = ctx.counts();
    // Streams in the order they read from each other, so they close in reverse.
    Replay outer, inner;
    FilePtr raw = Rewound(in, outer, fatal);
    if (!raw) return false;
    // Compressed input: the format is told (and read) from the decompressed bytes.
    const Compression c = DetectCompression(outer.head.data(), outer.head.size());
    std::string damage;
    FilePtr unpacked, rewound;
    const std::vector<uint8_t> *head = &outer.head;
    FilePtr *f = &raw;
    if (c != Compression::None) {
        unpacked.reset(OpenDecompressed(raw.get(), c, &damage));
        if (!unpacked) {
            fatal = damage;
            return false;
        }
        rewound = Rewound(unpacked.get(), inner, fatal);
        if (!rewound) return false;
        head = &inner.head;
        f = &rewound;
    }
    InputFormat fmt = opt.format;
    if (fmt == InputFormat::Auto) fmt = DetectFormat(head->data(), head->size(), head->size() < kHeadLen);
    counts.format = FormatName(fmt);
    if (c != Compression::None) counts.compression = CompressionName(c);
    const bool pcapng = head->size() >= 4 && Be32(head->data()) == kPcapngMagic;
    bool ok = true;
    switch (fmt) {
        case InputFormat::Hex: ReadHex(f->get(), ctx); break;
        case InputFormat::Raw: {
            BgpStream bgp(ctx);
            ReadStream(f->get(), bgp, ctx);
            break;
        }
        case InputFormat::Mrt: ReadMrt(f->get(), ctx); break;
        case InputFormat::Bmp: {
            BmpStream bmp(ctx, BmpStream::Mode::Strict);
            ReadStream(f->get(), bmp, ctx);
            break;
        }
        case InputFormat::Pcap: ok = ReadCapture(f->release(), pcapng, opt.capture, ctx, fatal); break;  // closes it
        case InputFormat::Auto:
            fatal = "cannot tell the format (not pcap, pcapng, MRT, BMP, a raw BGP stream or hex text); try --format";
            return false;
    }
    if (damage == kDecoderOutOfMemory) {
        ctx.Damage("compressed input", Place(), "compressed inputs left unread for lack of memory",
                   std::string(CompressionName(c)) + ": " + damage);
    } else if (!damage.empty()) {
        ctx.Damage("compressed input", Place(), "compressed inputs damaged or cut short", std::string(CompressionName(c)) + ": " + damage);
    } else if (std::ferror(in)) {
        ctx.Damage("read", Place(), "inputs with a read error", std::string("read error: ") + std::strerror(errno));
    }
    return ok;
}

}  // namespace rpdhost
