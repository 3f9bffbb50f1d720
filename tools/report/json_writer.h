// A streaming JSON writer: records are written field by field into one
// string, with no tree built first (rpd-host writes one record per route).
#pragma once

#include <cstdint>
#include <cstdio>
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
    // A key inside an object; the value follows.
    JsonWriter &Key(std::string_view k) {
        Comma();
        String(k);
        out_ += ':';
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
        out_.append(b, static_cast<size_t>(std::snprintf(b, sizeof(b), "%llu", static_cast<unsigned long long>(v))));
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
    void String(std::string_view s) {
        out_ += '"';
        for (const char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += ch;
            } else if (c < 0x20) {
                char b[8];
                std::snprintf(b, sizeof(b), "\\u%04x", c);
                out_ += b;
            } else {
                out_ += ch;
            }
        }
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
