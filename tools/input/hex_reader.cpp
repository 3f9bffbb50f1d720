// Hex text as people paste it: plain digits, 0x-prefixed or colon-, comma-
// or space-separated bytes, `xxd` and `hexdump -C` output, and tshark's or
// Wireshark's hex dumps (offset, bytes, then an ASCII column, which is left
// out). # starts a comment; NUL bytes count as blanks, and so does a UTF-8
// byte-order mark at the start. A line that holds no hex is passed over and
// reported; the bytes around it read on.
#include <cctype>
#include <cstring>

#include "bgp_stream.h"
#include "hex.h"
#include "readers.h"

namespace rpdhost {

namespace {

constexpr size_t kChunk = 1 << 16;
constexpr size_t kMaxLine = 1 << 16;  // longer lines are taken in pieces, split at a blank

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\0' || c == '\r' || c == '\v' || c == '\f'; }

class HexLines {
public:
    // Decodes one line (or, with `goesOn`, a piece of a longer one, cut at a
    // blank) and appends its bytes; false with `what` when it is not hex text.
    bool Line(const char *p, size_t n, bool goesOn, std::vector<uint8_t> &out, std::string &what) {
        const bool lineStart = !midLine_;
        midLine_ = goesOn;
        if (comment_ || skipping_) {
            comment_ = comment_ && goesOn;
            skipping_ = skipping_ && goesOn;
            return true;
        }
        if (first_ && n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3, n -= 3;  // a byte-order mark
        first_ = false;
        // A line that is not hex leaves nothing behind: its bytes and the state before it stay as they were.
        const size_t had = out.size();
        const int nibble = nibble_;
        const uint64_t dumpNext = dumpNext_;
        if (Decode(p, n, goesOn, lineStart, out, what)) return true;
        out.resize(had);
        nibble_ = nibble;
        dumpNext_ = dumpNext;
        skipping_ = goesOn;
        return false;
    }
    bool OddNibble() const { return nibble_ >= 0; }

private:
    bool Decode(const char *p, size_t n, bool goesOn, bool lineStart, std::vector<uint8_t> &out, std::string &what) {
        if (const void *hash = std::memchr(p, '#', n)) {
            n = static_cast<size_t>(static_cast<const char *>(hash) - p);
            comment_ = goesOn;
        }
        size_t i = 0;
        while (i < n && Blank(p[i])) ++i;
        if (i == n) {
            if (lineStart && !goesOn) dumpNext_ = 0;  // a blank line ends a dump block
            return true;
        }
        uint64_t offset = 0;
        size_t after = 0;
        if (lineStart && dumpNext_ > 0 && EndOffset(p + i, n - i)) return true;
        if (lineStart && DumpOffset(p + i, n - i, offset, after)) {
            return DumpBytes(p + i + after, n - i - after, offset, out, what);
        }
        return Plain(p + i, n - i, out, what);
    }

    // An offset column: 4 to 16 hex digits, then ": " (xxd), or two blanks
    // where the offset continues the dump (tshark, hexdump -C).
    bool DumpOffset(const char *p, size_t n, uint64_t &offset, size_t &after) const {
        size_t k = 0;
        offset = 0;
        while (k < n && k < 17 && rpdwire::HexDigit(p[k]) >= 0) offset = offset << 4 | static_cast<uint64_t>(rpdwire::HexDigit(p[k++]));
        if (k < 4 || k > 16) return false;
        if (k + 1 < n && p[k] == ':' && p[k + 1] == ' ') {
            after = k + 1;
            return true;
        }
        if (k + 2 <= n && p[k] == ' ' && p[k + 1] == ' ' && (offset == dumpNext_ || offset == 0)) {
            after = k;
            return true;
        }
        return false;
    }

    // hexdump and od close a dump with a line of just the offset past its end.
    bool EndOffset(const char *p, size_t n) const {
        while (n > 0 && Blank(p[n - 1])) --n;
        if (n < 4 || n > 16) return false;
        uint64_t v = 0;
        for (size_t k = 0; k < n; ++k) {
            if (rpdwire::HexDigit(p[k]) < 0) return false;
            v = v << 4 | static_cast<uint64_t>(rpdwire::HexDigit(p[k]));
        }
        return v == dumpNext_;
    }

    bool DumpBytes(const char *p, size_t n, uint64_t offset, std::vector<uint8_t> &out, std::string &what) {
        size_t bytes = 0;
        size_t i = 0;
        while (i < n) {
            size_t gap = 0;
            while (i + gap < n && Blank(p[i + gap])) ++gap;
            i += gap;
            if (i == n) break;
            // After two blanks: the ASCII column, as long as the line's bytes
            // (less when it had blanks or a # cut it), or between bars.
            if (gap >= 2 && bytes > 0 && (p[i] == '|' || n - i <= bytes)) break;
            size_t end = i;
            while (end < n && !Blank(p[end])) ++end;
            if ((end - i) % 2 != 0) return Bad(p[i], what);
            for (size_t j = i; j < end; j += 2) {
                const int hi = rpdwire::HexDigit(p[j]), lo = rpdwire::HexDigit(p[j + 1]);
                if (hi < 0 || lo < 0) return Bad(hi < 0 ? p[j] : p[j + 1], what);
                out.push_back(static_cast<uint8_t>(hi << 4 | lo));
                ++bytes;
            }
            i = end;
        }
        dumpNext_ = offset + bytes;
        return true;
    }

    bool Plain(const char *p, size_t n, std::vector<uint8_t> &out, std::string &what) {
        for (size_t i = 0; i < n;) {
            if (Blank(p[i]) || p[i] == ':' || p[i] == ',' || p[i] == ';') {
                ++i;
                continue;
            }
            if (p[i] == '0' && i + 1 < n && (p[i + 1] == 'x' || p[i + 1] == 'X')) i += 2;  // 0x prefix
            for (; i < n && !Blank(p[i]) && p[i] != ':' && p[i] != ',' && p[i] != ';'; ++i) {
                const int v = rpdwire::HexDigit(p[i]);
                if (v < 0) return Bad(p[i], what);
                if (nibble_ < 0) {
                    nibble_ = v;
                } else {
                    out.push_back(static_cast<uint8_t>(nibble_ << 4 | v));
                    nibble_ = -1;
                }
            }
        }
        dumpNext_ = 0;
        return true;
    }

    static bool Bad(char c, std::string &what) {
        char text[64];
        std::snprintf(text, sizeof(text), "unexpected character 0x%02x in hex text", static_cast<unsigned char>(c));
        what = text;
        return false;
    }

    int nibble_ = -1;
    bool first_ = true;
    bool comment_ = false;
    bool skipping_ = false;  // the rest of a long line that is not hex
    bool midLine_ = false;
    uint64_t dumpNext_ = 0;
};

// Splits `p` into lines (and over-long lines into pieces cut at a blank) for
// `take`; what is left of an unfinished line stays in `carry`.
template <typename F> bool SplitLines(std::string &carry, const char *p, size_t n, bool end, F &&take) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != '\n') continue;
        carry.append(p + start, i - start);
        if (!take(carry.data(), carry.size(), false)) return false;
        carry.clear();
        start = i + 1;
    }
    carry.append(p + start, n - start);
    if (end) {
        const bool ok = carry.empty() || take(carry.data(), carry.size(), false);
        carry.clear();
        return ok;
    }
    if (carry.size() > kMaxLine) {
        size_t cut = carry.size();
        while (cut > 0 && !Blank(carry[cut - 1])) --cut;
        if (cut == 0) cut = carry.size();  // one long unbroken run of digits: plain hex, taken as it is
        if (!take(carry.data(), cut, true)) return false;
        carry.erase(0, cut);
    }
    return true;
}

}  // namespace

bool LooksLikeHex(const uint8_t *head, size_t n, bool whole) {
    HexLines lines;
    std::vector<uint8_t> bytes;
    std::string what, carry;
    const char *p = reinterpret_cast<const char *>(head);
    if (!whole) {  // the last line may be cut: judge the whole lines only
        size_t last = n;
        while (last > 0 && p[last - 1] != '\n') --last;
        if (last > 0) n = last;
    }
    // Hex when no line is anything else, or the lines of hex outnumber those that are not.
    size_t good = 0, bad = 0;
    SplitLines(carry, p, n, true, [&](const char *l, size_t len, bool goesOn) {
        const size_t had = bytes.size();
        if (!lines.Line(l, len, goesOn, bytes, what)) ++bad;
        else if (bytes.size() > had) ++good;
        return true;
    });
    return bad == 0 || good > bad;
}

void ReadHex(FILE *in, ReaderContext &ctx) {
    BgpStream stream(ctx, true);
    HexLines lines;
    std::vector<uint8_t> chunk(kChunk), bytes;
    std::string carry, what;
    uint64_t total = 0, line = 0, bad = 0;
    // Each line that is not hex is counted; the first ones are also reported, so that a binary file read as
    // hex does not bury the terminal.
    constexpr uint64_t kReported = 20;
    constexpr char kNotHex[] = "hex text lines that are not hex (passed over)";
    auto take = [&](const char *l, size_t len, bool goesOn) {
        line += goesOn ? 0 : 1;
        bytes.clear();
        if (lines.Line(l, len, goesOn, bytes, what)) {
            stream.Feed(bytes.data(), bytes.size());
        } else if (++bad <= kReported) {
            ctx.Damage("hex text", Place(stream.Consumed() + stream.Pending()), kNotHex,
                       "line " + std::to_string(line) + ": " + what + "; the line is passed over" +
                           (bad == kReported ? " (further such lines are counted, not reported)" : ""));
        } else {
            ctx.Skip(kNotHex, true);
        }
        return true;
    };
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        total += n;
        SplitLines(carry, reinterpret_cast<const char *>(chunk.data()), n, false, take);
        ctx.Progress(total);
    }
    SplitLines(carry, "", 0, true, take);
    if (lines.OddNibble())
        ctx.Damage("hex text", Place(stream.Consumed() + stream.Pending()), "hex texts with an odd number of digits",
                   "odd number of hex digits");
    stream.Finish();
}

}  // namespace rpdhost
