#include "input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "decompress.h"
#include "bmp_input.h"
#include "input_internal.h"

namespace rpdhost {

namespace {

constexpr size_t kChunk = 1 << 16;
constexpr size_t kHeadLen = 4096;  // bytes looked at to tell the format
constexpr char kNoHeader[] = "bytes that start no BGP message (passed over)";
constexpr char kCutAtEnd[] = "bytes of a message cut short at the end of its stream";

bool ReadRaw(FILE *in, InputSink &sink, InputCounts &counts) {
    Framer framer(false);
    std::vector<uint8_t> chunk(kChunk);
    uint64_t total = 0;
    size_t n;
    const Message proto;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        total += n;
        framer.Feed(chunk.data(), n);
        DrainFramer(framer, proto, sink, counts);
        sink.OnProgress(total);
    }
    FinishFramer(framer, proto, sink, counts);
    return true;
}

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
    return be == 0xA1B2C3D4 || be == 0xD4C3B2A1 || be == 0xA1B23C4D || be == 0x4D3CB2A1 || be == 0x0A0D0D0A;
}

void Skipped(uint64_t offset, uint64_t n, const Message &proto, InputSink &sink, InputCounts &counts) {
    counts.Skip(kNoHeader, true, n);
    ++counts.problems;
    sink.OnProblem({counts.messages + 1, offset, proto.where,
                    "no BGP header here: passed over " + std::to_string(n) + " bytes"});
}

}  // namespace

bool ReadExactly(FILE *in, std::vector<uint8_t> &buf, size_t len) {
    constexpr size_t kFirst = 1 << 16;
    buf.clear();
    while (buf.size() < len) {
        const size_t have = buf.size();
        const size_t step = std::min(len - have, std::max(have, kFirst));
        buf.resize(have + step);
        const size_t got = std::fread(buf.data() + have, 1, step, in);
        if (got < step) {
            buf.resize(have + got);
            return false;
        }
    }
    return true;
}

void DrainFramer(Framer &framer, const Message &proto, InputSink &sink, InputCounts &counts) {
    std::vector<uint8_t> bytes;
    uint64_t offset = 0, skipped = 0;
    for (;;) {
        const Framer::Step step = framer.Next(bytes, offset, skipped);
        if (step == Framer::Step::More) return;
        if (step == Framer::Step::Skipped) {
            Skipped(offset, skipped, proto, sink, counts);
            continue;
        }
        Message m = proto;
        m.bytes.swap(bytes);
        m.number = ++counts.messages;
        m.offset = offset;
        sink.OnMessage(m);
    }
}

void FinishFramer(Framer &framer, const Message &proto, InputSink &sink, InputCounts &counts) {
    uint64_t offset = 0, skipped = 0;
    if (framer.EndOfStream(offset, skipped)) Skipped(offset, skipped, proto, sink, counts);
    const size_t n = framer.Pending();
    if (n == 0) return;
    const bool cut = framer.PendingIsMessage();
    counts.Skip(cut ? kCutAtEnd : kNoHeader, true, n);
    ++counts.problems;
    sink.OnProblem({counts.messages + 1, framer.Consumed(), proto.where,
                    cut ? "input ends inside a message (" + std::to_string(n) + " bytes left over)"
                        : "input ends with " + std::to_string(n) + " bytes that start no BGP message"});
    framer.Drop();
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
    if (n >= kBgpMarkerLen && IsMarker(head))
        return InputFormat::Raw;
    if (LooksLikeMrt(head, n)) return InputFormat::Mrt;
    if (LooksLikeBmp(head, n)) return InputFormat::Bmp;
    if (LooksLikeHex(head, n, whole)) return InputFormat::Hex;
    return InputFormat::Auto;
}

bool ReadInput(FILE *in, const InputOptions &opt, InputSink &sink, InputCounts &counts, std::string &fatal) {
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
    counts.format = fmt;
    if (c != Compression::None) counts.compression = CompressionName(c);
    const bool pcapng = head->size() >= 4 && Be32(head->data()) == 0x0A0D0D0A;
    bool ok = true;
    switch (fmt) {
        case InputFormat::Hex: ok = ReadHex(f->get(), sink, counts); break;
        case InputFormat::Raw: ok = ReadRaw(f->get(), sink, counts); break;
        case InputFormat::Mrt: ok = ReadMrt(f->get(), sink, counts); break;
        case InputFormat::Bmp: ok = ReadBmp(f->get(), sink, counts); break;
        case InputFormat::Pcap: ok = ReadPcap(f->release(), pcapng, opt, sink, counts, fatal); break;  // closes it
        case InputFormat::Auto:
            fatal = "cannot tell the format (not pcap, pcapng, MRT, BMP, a raw BGP stream or hex text); try --format";
            return false;
    }
    if (!damage.empty()) {
        counts.Skip("compressed inputs damaged or cut short", true);
        ++counts.problems;
        sink.OnProblem({counts.messages + 1, 0, "", std::string(CompressionName(c)) + ": " + damage});
    } else if (std::ferror(in)) {
        counts.Skip("inputs with a read error", true);
        ++counts.problems;
        sink.OnProblem({counts.messages + 1, 0, "", std::string("read error: ") + std::strerror(errno)});
    }
    return ok;
}

}  // namespace rpdhost
