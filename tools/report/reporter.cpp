#include "reporter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>

#include "address.h"
#include "byte_reader.h"
#include "textual.h"
#include "wire.h"

namespace rpdhost {

#define RPD_HOST_PIECE(code, handler, name) {code, name},
const DisplayPiece kDisplayPieces[7] = {TAM_RPD_POLICY_PIECES(RPD_HOST_PIECE)};
#undef RPD_HOST_PIECE

std::string CommunityText(uint32_t v) { return std::to_string(v >> 16) + ":" + std::to_string(v & 0xFFFF); }

namespace {

// `v` as exactly `width` decimal digits (zero-padded) at `p`.
char *Digits(char *p, unsigned v, int width) {
    for (int i = width - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
    return p + width;
}

}  // namespace

size_t FormatTime(char *out, int64_t sec, uint32_t usec) {
    // Messages come in runs of the same second: its calendar text is worked out once for the run.
    static thread_local int64_t lastSec = INT64_MIN;
    static thread_local char lastText[kTimeTextRoom];
    static thread_local size_t lastLen = 0;
    if (sec != lastSec) {
        const time_t t = static_cast<time_t>(sec);
        struct tm tm;
        gmtime_r(&t, &tm);
        const int n = std::snprintf(lastText, sizeof(lastText), "%04d-%02d-%02dT%02d:%02d:%02d.", tm.tm_year + 1900,
                                    tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        lastSec = sec;
        lastLen = n > 0 ? std::min(static_cast<size_t>(n), sizeof(lastText) - 8) : 0;  // room for the fraction
    }
    std::memcpy(out, lastText, lastLen);
    Digits(out + lastLen, usec % 1000000u, 6);
    out[lastLen + 6] = 'Z';
    return lastLen + 7;
}

std::string TimeText(int64_t sec, uint32_t usec) {
    char b[kTimeTextRoom];
    return std::string(b, FormatTime(b, sec, usec));
}

bool ParseTimeText(std::string_view text, int64_t &sec, uint32_t &usec) {
    char buf[48];
    if (text.size() >= sizeof(buf)) return false;
    text.copy(buf, text.size());
    buf[text.size()] = '\0';
    std::tm t{};
    int consumed = 0;
    if (std::sscanf(buf, "%4d-%2d-%2dT%2d:%2d:%2d%n", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec, &consumed) != 6 || consumed != 19)
        return false;
    uint32_t micro = 0, scale = 1000000;
    const char *p = buf + consumed;
    if (*p == '.') {
        const char *digits = ++p;
        for (; *p >= '0' && *p <= '9'; ++p)
            if (scale > 1) micro += static_cast<uint32_t>(*p - '0') * (scale /= 10);
        if (p == digits) return false;
    }
    if (std::strcmp(p, "Z") != 0 || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 ||
        t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 60)
        return false;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    sec = static_cast<int64_t>(timegm(&t));
    usec = micro;
    return true;
}

void AppendBlock(std::string &out, std::string_view text, std::string_view indent) {
    EachLine(text, [&](std::string_view line) { ((out += indent) += line) += '\n'; });
}

void PrintEvent(FILE *out, const InputEvent &e) {
    // A live event has no offset in a file, and some (listening, a router's own) name no peer.
    std::fputs("event", out);
    if (!e.live) std::fprintf(out, " (offset %llu)", static_cast<unsigned long long>(e.offset));
    if (!e.peer.empty()) std::fprintf(out, " peer %s", e.peer.c_str());
    if (e.peerAs != 0) std::fprintf(out, " AS%u", e.peerAs);
    if (e.hasTime) std::fprintf(out, " at %s", TimeText(e.sec, e.usec).c_str());
    std::fprintf(out, ": %s\n", e.what.c_str());
}

void AppendMessageHeading(TextBuffer &s, const MessageView &mv) {
    const Message &m = mv.m;
    s << mv.file << ": message " << m.number << " (offset " << m.offset;
    if (m.frame != 0) s << ", frame " << m.frame;
    if (!m.where.empty()) s << ", " << m.where;
    s << (m.rebuilt ? ") RIB entry" : ") UPDATE");
    if (!m.peer.empty()) s << " from " << m.peer;
    if (m.peerAs != 0) s << " AS" << uint64_t{m.peerAs};
    if (m.hasPathId) s << " path " << uint64_t{m.pathId};
    if (m.hasTime) {
        char t[kTimeTextRoom];
        s << (m.rebuilt ? " originated " : " at ") << std::string_view(t, FormatTime(t, m.sec, m.usec));
    }
}

size_t Ipv4Prefixes(const MessageView &mv, size_t most, std::vector<std::string> &out) {
    out.clear();
    rpdwire::ByteReader r(mv.m.bytes.data() + mv.ipv4Offset, mv.ipv4Length);
    size_t n = 0;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        // With ADD-PATH each prefix follows its 4-byte path identifier.
        if ((mv.m.addPath && !r.Skip(4)) || !rpdwire::TakeNlri(r, rpdwire::kSafiUnicast, p, len) || p[0] > 32) return n;
        if (n++ < most) {
            uint32_t addr = 0;
            for (size_t i = 1; i < len; ++i) addr |= uint32_t{p[i]} << (24 - 8 * (i - 1));
            out.push_back(rpdwire::Ipv4PrefixText(addr, p[0]));
        }
    }
}

bool IsDottedQuad(std::string_view w) {
    const size_t n = w.size();
    // "0.0.0.0" to "255.255.255.255"; most words the text reporter asks about are lengths or keywords.
    if (n < 7 || n > 15 || static_cast<unsigned char>(w[0] - '0') > 9) return false;
    const char *p = w.data();
    if constexpr (std::endian::native != std::endian::little) {
        unsigned dots = 0;
        bool digit = false;
        for (const char c : w) {
            if (c == '.' && digit) ++dots;
            else if (static_cast<unsigned char>(c - '0') > 9) return false;
            digit = c != '.';
        }
        return dots == 3 && digit;
    }
    // Classified 8 bytes at a time from two words read straight from the
    // text (the mix of digits and dots defeats a branch per character); the
    // bytes past its end read as '0', which neither add a dot nor join two.
    constexpr uint64_t k01 = 0x0101010101010101u, k7f = k01 * 0x7f, k80 = k01 * 0x80, kZeros = k01 * '0';
    auto load = [](const char *q, size_t size) {
        uint64_t x = 0;
        std::memcpy(&x, q, size);
        return x;
    };
    uint64_t word[2];
    if (n >= 8) {
        word[0] = load(p, 8);
        const size_t rest = n - 8;  // 0 to 7 bytes in the second word: the last ones of the 8 that end the text
        const uint64_t keep = rest == 0 ? 0 : ~uint64_t{0} >> (64 - 8 * rest);
        const uint64_t tail = rest == 0 ? 0 : load(p + n - 8, 8) >> (8 * (8 - rest));
        word[1] = (tail & keep) | (kZeros & ~keep);
    } else {  // 7 bytes: two overlapping reads of 4
        word[0] = load(p, 4) | load(p + 3, 4) << 24 | uint64_t{'0'} << 56;
        word[1] = kZeros;
    }
    uint64_t bad = 0, dots = 0, dot[2];
    for (int i = 0; i < 2; ++i) {
        const uint64_t d = word[i] ^ kZeros, e = word[i] ^ (k01 * '.');  // digits become 0 to 9, dots 0
        const uint64_t notDigit = (((d & k7f) + k01 * (0x80 - 10)) | d) & k80;  // per byte, carry-free
        dot[i] = ~(((e & k7f) + k7f) | e) & k80;
        bad |= (notDigit & ~dot[i]) | (dot[i] & dot[i] << 8);  // neither digit nor dot; two dots side by side
        dots += ((dot[i] >> 7) * k01) >> 56;                   // the bytes' sum: a count without POPCNT
    }
    bad |= (dot[0] >> 56) & dot[1];  // the last byte of the first word and the first of the second
    return bad == 0 && dots == 3 && p[n - 1] != '.';
}

uint32_t AppendKeyText(const Plugin &plugin, const OutBuf &key, std::string &out) {
    std::string_view raw;
    const uint32_t status = plugin.Text(MakeView(&key, nullptr), TAM_RPD_STR_NLRI, raw);
    if (status != TAM_RPD_OK) {
        out += TAM_RPD_StatusName(status);
        return status;
    }
    // "RPD NLRI: " leads every key text; runs of blanks pad its columns.
    const size_t at = out.size();
    out.resize(at + raw.size());
    char *const begin = out.data() + at;  // through pointers: a store through out[] makes the compiler reload its data
    char *o = begin;
    const char *in = raw.data() + (raw.substr(0, 10) == "RPD NLRI: " ? 10 : 0), *end = raw.data() + raw.size();
    while (in < end) {
        // The run of text before the next blank or control character, copied
        // 8 bytes at a time: the bytes past the run are written over next.
        // The output never runs ahead of the input, so 8 bytes fit.
        if (std::endian::native == std::endian::little && end - in >= 8) {
            uint64_t w;
            std::memcpy(&w, in, 8);
            std::memcpy(o, &w, 8);
            const size_t n = BytesBeforeBlankOrControl(w);
            o += n;
            in += n;
            if (n == 8) continue;
        } else {
            const char *stop = NextBlankOrControl(in, end);
            while (in < stop) *o++ = *in++;
            if (in == end) break;
        }
        const char c = *in++;
        if (c == ' ') {
            if (o != begin && o[-1] != ' ') *o++ = ' ';
            in = SkipBlanks(in, end);
        } else if (c != '\0' && c != '\n') {
            *o++ = c;
        }
    }
    while (o > begin && o[-1] == ' ') --o;
    out.resize(at + static_cast<size_t>(o - begin));
    return status;
}

std::string KeyText(const Plugin &plugin, const OutBuf &key, uint32_t &status) {
    std::string s;
    status = AppendKeyText(plugin, key, s);
    return s;
}

void TextualReporter::Begin(const MessageView &mv, const PolicyView &) {
    AppendMessageHeading(message_, mv);
    message_ << '\n';
}

void TextualReporter::Route(const MessageView &, const PolicyView &, const RouteView &r) {
    text_.clear();
    AppendKeyText(plugin_, *r.key, text_);
    RouteLine(r, text_);
}

void TextualReporter::RouteLine(const RouteView &r, std::string_view keyText) {
    message_ << (r.announce ? "  announce  " : "  withdraw  ") << keyText;
    if (r.hasPathId) message_ << " (path " << uint64_t{r.pathId} << ')';
    message_ << '\n';
}

void TextualReporter::End(const MessageView &mv, const PolicyView &pv) {
    Policy(mv, pv);
    Flush();
}

void TextualReporter::Flush() {
    message_.Write(out_);
    message_.Clear();
}

void TextualReporter::Event(const std::string &file, const InputEvent &e) {
    Flush();
    std::fprintf(out_, "%s: ", file.c_str());
    PrintEvent(out_, e);
}

std::unique_ptr<RouteSink> MakeReporter(OutputMode mode, const Plugin &plugin, FILE *out, const std::string &station) {
    switch (mode) {
        case OutputMode::Text: return MakeTextReporter(plugin, out);
        case OutputMode::PluginText: return MakePluginTextReporter(plugin, out);
        case OutputMode::Display: return MakeDisplayReporter(plugin, out);
        case OutputMode::Json: return MakeJsonReporter(plugin, out, station);
        case OutputMode::None: break;
    }
    return std::make_unique<RouteSink>();
}

}  // namespace rpdhost
