// Big-endian reads over untrusted bytes: the one reader every host-side
// decoder uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rpdwire {

inline uint16_t Be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t Be32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Bounds-checked big-endian reads over untrusted bytes: a failed read
// takes nothing and leaves the reader where it was.
class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    size_t Left() const { return n_ - pos_; }
    size_t Pos() const { return pos_; }
    size_t Size() const { return n_; }
    const uint8_t *Here() const { return p_ + pos_; }
    const uint8_t *Data() const { return p_; }
    [[nodiscard]] bool U8(uint8_t &v) {
        if (Left() < 1) return false;
        v = p_[pos_++];
        return true;
    }
    [[nodiscard]] bool U16(uint16_t &v) {
        if (Left() < 2) return false;
        v = Be16(p_ + pos_);
        pos_ += 2;
        return true;
    }
    [[nodiscard]] bool U32(uint32_t &v) {
        if (Left() < 4) return false;
        v = Be32(p_ + pos_);
        pos_ += 4;
        return true;
    }
    [[nodiscard]] bool Take(size_t n, const uint8_t *&out) {
        if (Left() < n) return false;
        out = p_ + pos_;
        pos_ += n;
        return true;
    }
    [[nodiscard]] bool Skip(size_t n) {
        const uint8_t *ignored = nullptr;
        return Take(n, ignored);
    }
    // The next `n` bytes as a reader of their own; this one steps past them.
    [[nodiscard]] bool Sub(size_t n, ByteReader &out) {
        const uint8_t *p = nullptr;
        if (!Take(n, p)) return false;
        out = ByteReader(p, n);
        return true;
    }

private:
    const uint8_t *p_ = nullptr;
    size_t n_ = 0;
    size_t pos_ = 0;
};

}  // namespace rpdwire
