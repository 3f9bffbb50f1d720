#include "decompress.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace rpdhost {

namespace {

constexpr size_t kInChunk = 1 << 16;

// One decoder per codec; all pull compressed bytes from `in` as they need them.
class Decoder {
public:
    Decoder(FILE *in, std::string *error) : in_(in), error_(error), buf_(kInChunk) {}
    virtual ~Decoder() = default;
    // Decompressed bytes into `out`; 0 at the end (or after an error, which `error_` then holds).
    virtual size_t Read(uint8_t *out, size_t n) = 0;
    // Stops the stream with `why` (kept without allocating when it cannot be).
    void Abandon(const char *why) noexcept {
        done_ = true;
        try {
            if (error_->empty()) *error_ = why;
        } catch (const std::bad_alloc &) {
        }
    }

protected:
    // Refills the input buffer when it is empty; false at the end of the input.
    bool Refill(const uint8_t *&next, size_t &avail) {
        if (avail > 0) return true;
        avail = std::fread(buf_.data(), 1, buf_.size(), in_);
        next = buf_.data();
        return avail > 0;
    }
    size_t Fail(const std::string &what) {
        if (error_->empty()) *error_ = what;
        done_ = true;
        return 0;
    }
    // The codec could not get the memory it needs: the data may be sound.
    size_t OutOfMemory() { return Fail(kDecoderOutOfMemory); }
    FILE *in_;
    std::string *error_;
    std::vector<uint8_t> buf_;
    bool done_ = false;
};

class GzipDecoder : public Decoder {
public:
    GzipDecoder(FILE *in, std::string *error) : Decoder(in, error) {
        ok_ = inflateInit2(&z_, 16 + MAX_WBITS) == Z_OK;  // gzip wrapper only
    }
    ~GzipDecoder() override { inflateEnd(&z_); }
    bool ok() const { return ok_; }
    size_t Read(uint8_t *out, size_t n) override {
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(n);
        while (!done_ && z_.avail_out == n) {
            if (!outFull_) {  // a full output may have left decoded bytes inside: take them first
                const uint8_t *next = z_.next_in;
                size_t avail = z_.avail_in;
                if (!Refill(next, avail)) {
                    if (!atEnd_) return Fail("gzip stream cut short");
                    done_ = true;
                    break;
                }
                z_.next_in = const_cast<Bytef *>(next);
                z_.avail_in = static_cast<uInt>(avail);
                atEnd_ = false;
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            outFull_ = z_.avail_out == 0;
            if (r == Z_STREAM_END) {
                atEnd_ = true;
                inflateReset(&z_);  // concatenated members read as one stream
            } else if (r == Z_MEM_ERROR) {
                return OutOfMemory();
            } else if (r != Z_OK && r != Z_BUF_ERROR) {
                return Fail(std::string("gzip data damaged: ") + (z_.msg != nullptr ? z_.msg : "inflate failed"));
            }
        }
        return n - z_.avail_out;
    }

private:
    z_stream z_{};
    bool ok_ = false;
    bool atEnd_ = false;
    bool outFull_ = false;
};

class Bzip2Decoder : public Decoder {
public:
    Bzip2Decoder(FILE *in, std::string *error) : Decoder(in, error) { ok_ = BZ2_bzDecompressInit(&bz_, 0, 0) == BZ_OK; }
    ~Bzip2Decoder() override { BZ2_bzDecompressEnd(&bz_); }
    bool ok() const { return ok_; }
    size_t Read(uint8_t *out, size_t n) override {
        bz_.next_out = reinterpret_cast<char *>(out);
        bz_.avail_out = static_cast<unsigned>(n);
        while (!done_ && bz_.avail_out == n) {
            if (!outFull_) {
                const uint8_t *next = reinterpret_cast<const uint8_t *>(bz_.next_in);
                size_t avail = bz_.avail_in;
                if (!Refill(next, avail)) {
                    if (!atEnd_) return Fail("bzip2 stream cut short");
                    done_ = true;
                    break;
                }
                bz_.next_in = const_cast<char *>(reinterpret_cast<const char *>(next));
                bz_.avail_in = static_cast<unsigned>(avail);
                atEnd_ = false;
            }
            const int r = BZ2_bzDecompress(&bz_);
            outFull_ = bz_.avail_out == 0;
            if (r == BZ_STREAM_END) {
                // Concatenated streams (pbzip2, or files joined with cat) read as one.
                char *keepIn = bz_.next_in;
                const unsigned keepAvail = bz_.avail_in;
                char *keepOut = bz_.next_out;
                const unsigned keepRoom = bz_.avail_out;
                BZ2_bzDecompressEnd(&bz_);
                bz_ = bz_stream{};
                if (BZ2_bzDecompressInit(&bz_, 0, 0) != BZ_OK) return Fail("bzip2 decoder cannot restart");
                bz_.next_in = keepIn;
                bz_.avail_in = keepAvail;
                bz_.next_out = keepOut;
                bz_.avail_out = keepRoom;
                atEnd_ = true;
            } else if (r == BZ_MEM_ERROR) {
                return OutOfMemory();
            } else if (r != BZ_OK) {
                return Fail("bzip2 data damaged (error " + std::to_string(r) + ")");
            }
        }
        return n - bz_.avail_out;
    }

private:
    bz_stream bz_{};
    bool ok_ = false;
    bool atEnd_ = false;
    bool outFull_ = false;
};

// What a decoder may hold for one stream: the window of the largest standard
// presets (xz -9 and zstd --long need 64 and 128 MiB). A stream that claims
// more is refused instead of making the input decide our memory.
constexpr uint64_t kDecoderMemory = 128u << 20;
constexpr int kZstdWindowLogMax = 27;

class XzDecoder : public Decoder {
public:
    XzDecoder(FILE *in, std::string *error) : Decoder(in, error) {
        ok_ = lzma_stream_decoder(&x_, kDecoderMemory, LZMA_CONCATENATED) == LZMA_OK;
    }
    ~XzDecoder() override { lzma_end(&x_); }
    bool ok() const { return ok_; }
    size_t Read(uint8_t *out, size_t n) override {
        x_.next_out = out;
        x_.avail_out = n;
        while (!done_ && x_.avail_out == n) {
            const uint8_t *next = x_.next_in;
            size_t avail = x_.avail_in;
            const bool more = Refill(next, avail);
            x_.next_in = next;
            x_.avail_in = avail;
            const lzma_ret r = lzma_code(&x_, more ? LZMA_RUN : LZMA_FINISH);
            if (r == LZMA_STREAM_END) {
                done_ = true;
            } else if (r == LZMA_BUF_ERROR && !more) {
                return Fail("xz stream cut short");
            } else if (r == LZMA_MEMLIMIT_ERROR) {
                return Fail("xz stream needs more than 128 MiB to decode");
            } else if (r == LZMA_MEM_ERROR) {
                return OutOfMemory();
            } else if (r != LZMA_OK) {
                return Fail("xz data damaged (error " + std::to_string(static_cast<int>(r)) + ")");
            }
        }
        return n - x_.avail_out;
    }

private:
    lzma_stream x_ = LZMA_STREAM_INIT;
    bool ok_ = false;
};

class ZstdDecoder : public Decoder {
public:
    ZstdDecoder(FILE *in, std::string *error) : Decoder(in, error), z_(ZSTD_createDStream()) {
        if (z_ != nullptr && ZSTD_isError(ZSTD_DCtx_setParameter(z_, ZSTD_d_windowLogMax, kZstdWindowLogMax))) {
            ZSTD_freeDStream(z_);
            z_ = nullptr;
        }
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(z_); }
    bool ok() const { return z_ != nullptr; }
    size_t Read(uint8_t *out, size_t n) override {
        ZSTD_outBuffer o{out, n, 0};
        while (!done_ && o.pos == 0) {
            if (in_buf_.pos == in_buf_.size && !outFull_) {
                const uint8_t *next = nullptr;
                size_t avail = 0;
                if (!Refill(next, avail)) {
                    if (frameOpen_) return Fail("zstd stream cut short");
                    done_ = true;
                    break;
                }
                in_buf_ = {next, avail, 0};
            }
            const size_t r = ZSTD_decompressStream(z_, &o, &in_buf_);
            if (ZSTD_getErrorCode(r) == ZSTD_error_memory_allocation) return OutOfMemory();
            if (ZSTD_isError(r)) return Fail(std::string("zstd data damaged: ") + ZSTD_getErrorName(r));
            frameOpen_ = r != 0;
            outFull_ = o.pos == o.size;
        }
        return o.pos;
    }

private:
    ZSTD_DStream *z_;
    ZSTD_inBuffer in_buf_{nullptr, 0, 0};
    bool frameOpen_ = false;
    bool outFull_ = false;
};

// Called from inside the C library's stdio, which an exception must not cross.
ssize_t DecoderRead(void *cookie, char *buf, size_t size) noexcept {
    Decoder *d = static_cast<Decoder *>(cookie);
    try {
        return static_cast<ssize_t>(d->Read(reinterpret_cast<uint8_t *>(buf), size));
    } catch (const std::bad_alloc &) {
        d->Abandon(kDecoderOutOfMemory);
        return -1;
    }
}

int DecoderClose(void *cookie) {
    delete static_cast<Decoder *>(cookie);
    return 0;
}

template <typename D> Decoder *Make(FILE *in, std::string *error) {
    auto d = std::make_unique<D>(in, error);
    return d->ok() ? d.release() : nullptr;
}

}  // namespace

Compression DetectCompression(const uint8_t *head, size_t n) {
    auto starts = [&](std::initializer_list<uint8_t> magic) {
        return n >= magic.size() && std::equal(magic.begin(), magic.end(), head);
    };
    if (starts({0x1F, 0x8B})) return Compression::Gzip;
    if (starts({'B', 'Z', 'h'}) && n >= 4 && head[3] >= '1' && head[3] <= '9') return Compression::Bzip2;
    if (starts({0xFD, '7', 'z', 'X', 'Z', 0x00})) return Compression::Xz;
    if (starts({0x28, 0xB5, 0x2F, 0xFD})) return Compression::Zstd;
    return Compression::None;
}

const char *CompressionName(Compression c) {
    switch (c) {
        case Compression::None: return "none";
        case Compression::Gzip: return "gzip";
        case Compression::Bzip2: return "bzip2";
        case Compression::Xz: return "xz";
        case Compression::Zstd: return "zstd";
    }
    return "?";
}

FILE *OpenDecompressed(FILE *in, Compression c, std::string *error) {
    Decoder *d = nullptr;
    switch (c) {
        case Compression::Gzip: d = Make<GzipDecoder>(in, error); break;
        case Compression::Bzip2: d = Make<Bzip2Decoder>(in, error); break;
        case Compression::Xz: d = Make<XzDecoder>(in, error); break;
        case Compression::Zstd: d = Make<ZstdDecoder>(in, error); break;
        case Compression::None: break;
    }
    if (d == nullptr) {
        *error = std::string("cannot set up the ") + CompressionName(c) + " decoder";
        return nullptr;
    }
    FILE *f = fopencookie(d, "rb", {DecoderRead, nullptr, nullptr, DecoderClose});
    if (f == nullptr) {
        delete d;
        *error = "cannot set up the decompressed stream";
    }
    return f;
}

}  // namespace rpdhost
