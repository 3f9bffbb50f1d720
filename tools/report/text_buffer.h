// The text of one write, built by appends that test their room inline:
// std::string's appends are calls, and an item line takes a dozen of them.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace rpdhost {

class TextBuffer {
public:
    void Clear() { size_ = 0; }
    TextBuffer &operator<<(char c) {
        Room(1);
        data_[size_++] = c;
        return *this;
    }
    TextBuffer &operator<<(std::string_view s) {
        Room(s.size());
        if (!s.empty()) std::memcpy(data_.get() + size_, s.data(), s.size());
        size_ += s.size();
        return *this;
    }
    TextBuffer &operator<<(uint64_t v) {
        Room(20);
        size_ = static_cast<size_t>(std::to_chars(data_.get() + size_, data_.get() + cap_, v).ptr - data_.get());
        return *this;
    }
    void Write(FILE *out) const {
        if (size_ != 0) std::fwrite(data_.get(), 1, size_, out);
    }

private:
    void Room(size_t n) {
        if (cap_ - size_ < n) [[unlikely]]
            Grow(n);
    }
    // Out of line, so that every append inlines to a test and a copy.
    [[gnu::noinline]] void Grow(size_t n) {
        const size_t cap = std::max(2 * cap_, std::max<size_t>(size_ + n, 256));
        std::unique_ptr<char[]> grown(new char[cap]);
        if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        cap_ = cap;
    }
    std::unique_ptr<char[]> data_;
    size_t size_ = 0, cap_ = 0;
};

}  // namespace rpdhost
