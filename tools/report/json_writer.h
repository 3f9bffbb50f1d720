// A streaming JSON writer: records are written field by field into one
// string, with no tree built first (rpd-host writes one record per route).
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace rpdhost {

class JsonWriter {
public:
    explicit JsonWriter(std::string &out) : out_(out) {}
    JsonWriter &Open() { return Begin('{'); }
    JsonWriter &Close() { return End('}'); }
    JsonWriter &OpenArray() { return Begin('['); }
    JsonWriter &CloseArray() { return End(']'); }
    // A key inside an object; the value follows. Keys are the writer's own
    // names, which need no escape.
    JsonWriter &Key(std::string_view k) {
        Comma();
        const size_t at = out_.size();
        out_.resize(at + k.size() + 3);
        char *p = out_.data() + at;
        p[0] = '"';
        std::memcpy(p + 1, k.data(), k.size());
        p[k.size() + 1] = '"';
        p[k.size() + 2] = ':';
        fresh_ = true;
        return *this;
    }
    JsonWriter &Str(std::string_view v) {
        Comma();
        String(v);
        return *this;
    }
    JsonWriter &Uint(uint64_t v) {
        Comma();
        char b[24];
        out_.append(b, static_cast<size_t>(std::to_chars(b, b + sizeof(b), v).ptr - b));
        return *this;
    }
    JsonWriter &Bool(bool v) {
        Comma();
        out_ += v ? "true" : "false";
        return *this;
    }
    // Text that is already JSON (a value written once and shared by several records).
    JsonWriter &Raw(std::string_view json) {
        Comma();
        out_ += json;
        return *this;
    }
    template <typename T> JsonWriter &Field(std::string_view k, const T &v);

private:
    JsonWriter &Begin(char c) {
        Comma();
        out_ += c;
        fresh_ = true;
        return *this;
    }
    JsonWriter &End(char c) {
        out_ += c;
        fresh_ = false;
        return *this;
    }
    void Comma() {
        if (!fresh_) out_ += ',';
        fresh_ = false;
    }
    // Whether any of 8 bytes is a control character, a quote or a backslash.
    static bool NeedsEscape(uint64_t w) {
        constexpr uint64_t k01 = 0x0101010101010101ull, k80 = 0x8080808080808080ull;
        auto zeroByte = [](uint64_t x) { return (x - k01) & ~x & k80; };
        return (((w - k01 * 0x20) & ~w & k80) | zeroByte(w ^ (k01 * '"')) | zeroByte(w ^ (k01 * '\\'))) != 0;
    }
    // Runs that need no escape are copied whole, passed over 8 bytes at a time.
    void String(std::string_view s) {
        out_ += '"';
        size_t run = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            uint64_t w;
            while (i + 8 <= s.size() && (std::memcpy(&w, s.data() + i, 8), !NeedsEscape(w))) i += 8;
            if (i == s.size()) break;
            const auto c = static_cast<unsigned char>(s[i]);
            if (c >= 0x20 && c != '"' && c != '\\') continue;
            out_.append(s.data() + run, i - run);
            run = i + 1;
            if (c < 0x20) {
                out_ += "\\u00";
                out_ += "0123456789abcdef"[c >> 4];
                out_ += "0123456789abcdef"[c & 15];
            } else {
                out_ += '\\';
                out_ += static_cast<char>(c);
            }
        }
        out_.append(s.data() + run, s.size() - run);
        out_ += '"';
    }
    std::string &out_;
    bool fresh_ = true;
};

template <typename T> JsonWriter &JsonWriter::Field(std::string_view k, const T &v) {
    Key(k);
    if constexpr (std::is_same_v<T, bool>) return Bool(v);
    else if constexpr (std::is_integral_v<T>) return Uint(static_cast<uint64_t>(v));
    else return Str(v);
}

}  // namespace rpdhost
