// The text of one write, built by appends that test their room inline:
// std::string's appends are calls, and an item line takes a dozen of them.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace rpdhost {

class TextBuffer {
public:
    void Clear() { size_ = 0; }
    bool Empty() const { return size_ == 0; }
    TextBuffer &operator<<(char c) {
        Room(1);
        buf_[size_++] = c;
        return *this;
    }
    TextBuffer &operator<<(std::string_view s) {
        Room(s.size());
        if (!s.empty()) std::memcpy(buf_.data() + size_, s.data(), s.size());
        size_ += s.size();
        return *this;
    }
    TextBuffer &operator<<(uint64_t v) {
        Room(20);
        size_ = static_cast<size_t>(std::to_chars(buf_.data() + size_, buf_.data() + buf_.size(), v).ptr - buf_.data());
        return *this;
    }
    std::string_view View() const { return {buf_.data(), size_}; }
    void Write(FILE *out) const { std::fwrite(buf_.data(), 1, size_, out); }

private:
    void Room(size_t n) {
        if (buf_.size() - size_ < n) [[unlikely]]
            Grow(n);
    }
    // Out of line, so that every append inlines to a test and a copy.
    [[gnu::noinline]] void Grow(size_t n) { buf_.resize(std::max(2 * buf_.size(), size_ + n)); }  // never shrinks
    std::vector<char> buf_;
    size_t size_ = 0;
};

}  // namespace rpdhost
