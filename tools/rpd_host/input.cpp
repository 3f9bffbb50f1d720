#include "input.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstring>

#include "input_internal.h"

namespace rpdhost {

namespace {

constexpr size_t kChunk = 1 << 16;
constexpr size_t kBgpHeader = 19;
constexpr size_t kMarker = 16;


bool AllMarker(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

// Hands every message the framer yields to the sink; false once the stream broke.
bool Drain(Framer &framer, InputSink &sink, InputCounts &counts, const std::string &where) {
    std::vector<uint8_t> bytes;
    uint64_t offset = 0;
    std::string what;
    for (;;) {
        const int r = framer.Next(bytes, offset, what);
        if (r == 0) return true;
        if (r < 0) {
            ++counts.problems;
            sink.OnProblem({counts.messages + 1, offset, where, what});
            return false;
        }
        Message m;
        m.bytes.swap(bytes);
        m.number = ++counts.messages;
        m.offset = offset;
        m.where = where;
        sink.OnMessage(m);
    }
}

void ReportLeftover(const Framer &framer, InputSink &sink, InputCounts &counts, const std::string &where) {
    if (framer.Broken() || framer.Pending() == 0) return;
    ++counts.problems;
    sink.OnProblem({counts.messages + 1, framer.Consumed(), where,
                    "input ends inside a message (" + std::to_string(framer.Pending()) + " bytes left over)"});
}

bool ReadRaw(FILE *in, InputSink &sink, InputCounts &counts) {
    Framer framer(false);
    std::vector<uint8_t> chunk(kChunk);
    uint64_t total = 0;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        total += n;
        framer.Feed(chunk.data(), n);
        if (!Drain(framer, sink, counts, "")) return true;
        sink.OnProgress(total);
    }
    ReportLeftover(framer, sink, counts, "");
    return true;
}

bool ReadHex(FILE *in, InputSink &sink, InputCounts &counts) {
    Framer framer(true);
    std::vector<uint8_t> chunk(kChunk);
    std::vector<uint8_t> bytes;
    bytes.reserve(kChunk / 2);
    uint64_t total = 0;
    uint64_t line = 1;
    int nibble = -1;
    bool comment = false;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        total += n;
        bytes.clear();
        for (size_t i = 0; i < n; ++i) {
            const int c = chunk[i];
            if (c == '\n') {
                ++line;
                comment = false;
                continue;
            }
            if (comment) continue;
            if (c == '#') {
                comment = true;
            } else if (std::isxdigit(c)) {
                const int v = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
                if (nibble < 0) {
                    nibble = v;
                } else {
                    bytes.push_back(static_cast<uint8_t>(nibble << 4 | v));
                    nibble = -1;
                }
            } else if (!std::isspace(c)) {
                framer.Feed(bytes.data(), bytes.size());
                if (!Drain(framer, sink, counts, "")) return true;
                char what[96];
                std::snprintf(what, sizeof(what), "line %llu: unexpected character 0x%02x in hex text",
                              static_cast<unsigned long long>(line), static_cast<unsigned>(c));
                ++counts.problems;
                sink.OnProblem({counts.messages + 1, framer.Consumed() + framer.Pending(), "", what});
                return true;
            }
        }
        framer.Feed(bytes.data(), bytes.size());
        if (!Drain(framer, sink, counts, "")) return true;
        sink.OnProgress(total);
    }
    if (nibble >= 0) {
        ++counts.problems;
        sink.OnProblem({counts.messages + 1, framer.Consumed() + framer.Pending(), "", "odd number of hex digits"});
        return true;
    }
    ReportLeftover(framer, sink, counts, "");
    return true;
}

// RFC 6396 BGP4MP records; every other record type is counted and skipped.
bool ReadMrt(FILE *in, InputSink &sink, InputCounts &counts) {
    constexpr uint16_t kBgp4mp = 16, kBgp4mpEt = 17;
    constexpr uint32_t kMaxRecord = 1u << 24;
    std::vector<uint8_t> body;
    uint64_t offset = 0;
    auto problem = [&](uint64_t at, const std::string &what) {
        ++counts.problems;
        sink.OnProblem({counts.messages + 1, at, "", what});
    };
    for (;;) {
        uint8_t hdr[12];
        const size_t got = std::fread(hdr, 1, sizeof(hdr), in);
        if (got == 0) return true;
        if (got < sizeof(hdr)) {
            problem(offset, "MRT record header cut short (" + std::to_string(got) + " of 12 bytes)");
            return true;
        }
        const uint32_t sec = Be32(hdr);
        const uint16_t type = Be16(hdr + 4);
        const uint16_t subtype = Be16(hdr + 6);
        const uint32_t len = Be32(hdr + 8);
        if (len > kMaxRecord) {
            problem(offset, "MRT record length " + std::to_string(len) + " is implausible");
            return true;
        }
        body.resize(len);
        if (std::fread(body.data(), 1, len, in) != len) {
            problem(offset, "MRT record cut short (length " + std::to_string(len) + ")");
            return true;
        }
        const uint64_t recOffset = offset;
        offset += sizeof(hdr) + len;
        sink.OnProgress(offset);

        const bool as4 = subtype == 4 || subtype == 7;
        const bool isMessage = subtype == 1 || subtype == 6 || as4;
        if ((type != kBgp4mp && type != kBgp4mpEt) || !isMessage) {
            ++counts.skippedRecords;
            continue;
        }
        size_t p = 0;
        uint32_t usec = 0;
        if (type == kBgp4mpEt) {
            if (len < 4) {
                problem(recOffset, "BGP4MP_ET record without its microsecond field");
                continue;
            }
            usec = Be32(body.data());
            p = 4;
        }
        const size_t asLen = as4 ? 4 : 2;
        if (len < p + 2 * asLen + 4) {
            problem(recOffset, "BGP4MP record cut short before the address family");
            continue;
        }
        const uint32_t peerAs = as4 ? Be32(body.data() + p) : Be16(body.data() + p);
        p += 2 * asLen + 2;  // peer AS, local AS, interface index
        const uint16_t afi = Be16(body.data() + p);
        p += 2;
        const size_t addrLen = afi == 1 ? 4 : afi == 2 ? 16 : 0;
        if (addrLen == 0) {
            problem(recOffset, "BGP4MP record with address family " + std::to_string(afi));
            continue;
        }
        if (len < p + 2 * addrLen) {
            problem(recOffset, "BGP4MP record cut short inside the peer addresses");
            continue;
        }
        char peer[INET6_ADDRSTRLEN] = "";
        inet_ntop(afi == 1 ? AF_INET : AF_INET6, body.data() + p, peer, sizeof(peer));
        p += 2 * addrLen;
        const size_t msgLen = len - p;
        const uint8_t *msg = body.data() + p;
        if (msgLen < kBgpHeader || !AllMarker(msg, kMarker) || Be16(msg + kMarker) != msgLen) {
            problem(recOffset, "BGP4MP record does not hold exactly one BGP message");
            continue;
        }
        Message m;
        m.bytes.assign(msg, msg + msgLen);
        m.number = ++counts.messages;
        m.offset = recOffset;
        m.peer = peer;
        m.peerAs = peerAs;
        m.hasTime = true;
        m.sec = sec;
        m.usec = usec;
        sink.OnMessage(m);
    }
}

// A FILE that first gives back the bytes already read for format detection.
struct Replay {
    std::vector<uint8_t> head;
    size_t pos = 0;
    FILE *rest;
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

}  // namespace

const char *FormatName(InputFormat f) {
    switch (f) {
        case InputFormat::Auto: return "auto";
        case InputFormat::Hex: return "hex";
        case InputFormat::Raw: return "raw";
        case InputFormat::Mrt: return "mrt";
        case InputFormat::Pcap: return "pcap";
    }
    return "?";
}

bool ParseInputFormat(const std::string &name, InputFormat &out) {
    for (InputFormat f : {InputFormat::Auto, InputFormat::Hex, InputFormat::Raw, InputFormat::Mrt, InputFormat::Pcap})
        if (name == FormatName(f)) {
            out = f;
            return true;
        }
    return false;
}

InputFormat DetectFormat(const uint8_t *head, size_t n) {
    if (n >= 4) {
        const uint32_t be = Be32(head);
        // pcap in either byte order and either time resolution, or pcapng.
        if (be == 0xA1B2C3D4 || be == 0xD4C3B2A1 || be == 0xA1B23C4D || be == 0x4D3CB2A1 || be == 0x0A0D0D0A)
            return InputFormat::Pcap;
    }
    if (n >= kMarker && AllMarker(head, kMarker)) return InputFormat::Raw;
    bool text = n > 0;
    for (size_t i = 0; i < n && text; ++i)
        text = std::isprint(head[i]) || std::isspace(head[i]);
    return text ? InputFormat::Hex : InputFormat::Mrt;
}

void Framer::Feed(const uint8_t *p, size_t n) {
    if (broken_ || n == 0) return;
    if (head_ > 0 && head_ * 2 >= buf_.size()) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    buf_.insert(buf_.end(), p, p + n);
}

int Framer::Next(std::vector<uint8_t> &out, uint64_t &offset, std::string &what) {
    offset = consumed_;
    if (broken_) return 0;
    const uint8_t *p = buf_.data() + head_;
    const size_t avail = buf_.size() - head_;
    // Bytes that are all 0xFF so far may still become a marker: wait for 16.
    const bool markerSoFar = AllMarker(p, std::min(avail, kMarker));
    if (!markerSoFar && !markerOptional_) {
        what = "no BGP marker where a message should start";
        broken_ = true;
        return -1;
    }
    if (markerSoFar && avail < kMarker) return 0;
    const size_t markerLen = markerSoFar ? kMarker : 0;
    if (avail < markerLen + 3) return 0;
    const uint16_t len = Be16(p + markerLen);
    if (len < kBgpHeader) {
        what = "BGP message length " + std::to_string(len) + " is below the 19-byte header";
        broken_ = true;
        return -1;
    }
    const size_t need = len - kMarker + markerLen;
    if (avail < need) return 0;
    out.assign(kMarker - markerLen, 0xFF);
    out.insert(out.end(), p, p + need);
    head_ += need;
    consumed_ += need;
    return 1;
}

bool ReadInput(FILE *in, InputFormat fmt, InputSink &sink, InputCounts &counts, std::string &fatal) {
    Replay replay;
    replay.rest = in;
    replay.head.resize(64);
    replay.head.resize(std::fread(replay.head.data(), 1, replay.head.size(), in));
    if (std::ferror(in)) {
        fatal = std::strerror(errno);
        return false;
    }
    if (fmt == InputFormat::Auto) fmt = DetectFormat(replay.head.data(), replay.head.size());
    FILE *f = fopencookie(&replay, "rb", {ReplayRead, nullptr, nullptr, ReplayClose});
    if (f == nullptr) {
        fatal = "cannot set up the input stream";
        return false;
    }
    bool ok = false;
    switch (fmt) {
        case InputFormat::Hex: ok = ReadHex(f, sink, counts); break;
        case InputFormat::Raw: ok = ReadRaw(f, sink, counts); break;
        case InputFormat::Mrt: ok = ReadMrt(f, sink, counts); break;
        case InputFormat::Pcap: return ReadPcap(f, sink, counts, fatal);  // closes f
        case InputFormat::Auto: break;
    }
    std::fclose(f);
    return ok;
}

}  // namespace rpdhost
