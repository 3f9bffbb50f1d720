/*
 * Shared plumbing of the plug-in: assertion reporting, host-memory guards,
 * the bounds-checked big-endian reader, and the one table lookup every
 * dispatcher uses.
 */
#ifndef TAM_RPD_INTERNAL_H
#define TAM_RPD_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "tam_rpd_host.h"
#include "tam_rpd.h"

namespace tam {

// Every assertion names the same source file so that host reports stay stable
// whatever the build's own file layout is.
inline constexpr const char kFile[] = "tam_rpd";

}  // namespace tam

#define TAM_ASSERT() QOR_Assert(tam::kFile, static_cast<uint32_t>(__LINE__), 0)

// Argument test of the house convention: a failing test reports and returns.
#define TAM_REQUIRE(cond, ret) \
    do {                       \
        if (!(cond)) {         \
            TAM_ASSERT();      \
            return ret;        \
        }                      \
    } while (0)

#define TAM_HOST_ALLOC(modId, size) QOR_SimpleAlloc_F((modId), (size), tam::kFile, static_cast<uint32_t>(__LINE__))
#define TAM_HOST_FREE(p) QOR_Free_F((p), tam::kFile, static_cast<uint32_t>(__LINE__))

namespace tam {

// ---------------------------------------------------------------- memory

// Owns one host block until released or handed on.
class HostBlock {
public:
    explicit HostBlock(void *p = nullptr) noexcept : p_(p) {}
    HostBlock(const HostBlock &) = delete;
    HostBlock &operator=(const HostBlock &) = delete;
    ~HostBlock() { reset(); }

    void *get() const noexcept { return p_; }
    template <typename T> T *as() const noexcept { return static_cast<T *>(p_); }
    void *release() noexcept {
        void *p = p_;
        p_ = nullptr;
        return p;
    }
    void reset() noexcept {
        if (p_ != nullptr) {
            TAM_HOST_FREE(p_);
            p_ = nullptr;
        }
    }

private:
    void *p_;
};

// Allocates `size` bytes for the module and zeroes them (host memory arrives uninitialised).
inline void *AllocZeroed(uint64_t moduleId, uint32_t size) noexcept {
    void *p = TAM_HOST_ALLOC(moduleId, size);
    if (p != nullptr) {
        (void)memset_s(p, size, 0, size);
    }
    return p;
}

template <typename T> inline void Zero(T &obj) noexcept { (void)memset_s(&obj, sizeof(T), 0, sizeof(T)); }
// Clears a small record local to a call where no host service is asked for;
// inlined, since it sits on the per-route path.
template <typename T> inline void ClearLocal(T &obj) noexcept { __builtin_memset(&obj, 0, sizeof(T)); }

// ------------------------------------------------------------- byte order

inline uint16_t LoadBe16(const uint8_t *p) noexcept {
    return static_cast<uint16_t>((static_cast<uint32_t>(p[0]) << 8) | p[1]);
}
inline uint32_t LoadBe32(const uint8_t *p) noexcept {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void StoreBe32(uint8_t *p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Sequential reader over untrusted bytes. Every read checks what remains, so
// no decoder can step past the length its caller gave, whatever the data
// claims; a failed read takes nothing and leaves the reader where it was.
class BeReader {
public:
    BeReader() noexcept : p_(nullptr), left_(0) {}
    BeReader(const uint8_t *p, uint32_t len) noexcept : p_(p), left_(len) {}

    uint32_t left() const noexcept { return left_; }
    const uint8_t *pos() const noexcept { return p_; }

    [[nodiscard]] bool U8(uint8_t &v) noexcept {
        if (left_ < 1) return false;
        v = p_[0];
        Advance(1);
        return true;
    }
    [[nodiscard]] bool U16(uint16_t &v) noexcept {
        if (left_ < 2) return false;
        v = LoadBe16(p_);
        Advance(2);
        return true;
    }
    [[nodiscard]] bool U32(uint32_t &v) noexcept {
        if (left_ < 4) return false;
        v = LoadBe32(p_);
        Advance(4);
        return true;
    }
    // Hands out `n` bytes in place and steps past them.
    [[nodiscard]] bool Take(uint32_t n, const uint8_t *&out) noexcept {
        if (left_ < n) return false;
        out = p_;
        Advance(n);
        return true;
    }
    // The next `n` bytes as a reader of their own; this one steps past them.
    [[nodiscard]] bool Sub(uint32_t n, BeReader &out) noexcept {
        const uint8_t *p = nullptr;
        if (!Take(n, p)) return false;
        out = BeReader(p, n);
        return true;
    }
    // One generic TLV (type octet, 16-bit length): its value becomes a reader
    // of its own and this one steps past it. Fails, taking nothing, when the
    // header is cut short or the value runs past what is left.
    [[nodiscard]] bool Tlv(uint8_t &type, BeReader &value) noexcept {
        if (left_ < 3 || LoadBe16(p_ + 1) > left_ - 3) return false;
        type = p_[0];
        const uint16_t len = LoadBe16(p_ + 1);
        Advance(3);
        return Sub(len, value);
    }

private:
    void Advance(uint32_t n) noexcept {
        p_ += n;
        left_ -= n;
    }
    const uint8_t *p_;
    uint32_t left_;
};

// ------------------------------------------------------------ dispatch

// First entry whose type equals `type`; only the table's own entries are examined.
template <size_t N>
inline const TAM_RPD_TBL_ENTRY *FindEntry(const TAM_RPD_TBL_ENTRY (&table)[N], uint32_t type) noexcept {
    for (size_t i = 0; i < N; ++i) {
        if (table[i].ulType == type) {
            return &table[i];
        }
    }
    return nullptr;
}

// The handler of `type` cast to its table's shape, or null when there is none.
template <typename Fn, size_t N>
inline Fn FindHandler(const TAM_RPD_TBL_ENTRY (&table)[N], uint32_t type) noexcept {
    const TAM_RPD_TBL_ENTRY *e = FindEntry(table, type);
    if (e == nullptr) {
        return nullptr;
    }
    TAM_RPD_PFN pfn = e->pfnHandler;
    return reinterpret_cast<Fn>(pfn);
}

// The dispatch pattern every callback shares once its arguments are tested:
// look the type up, answer `noHandler` when there is no handler, otherwise
// pass the remaining arguments on and return the handler's result unchanged.
template <typename Fn, size_t N, typename Ret, typename... Args>
inline Ret Dispatch(const TAM_RPD_TBL_ENTRY (&table)[N], uint32_t type, Ret noHandler, Args... args) noexcept {
    Fn fn = FindHandler<Fn>(table, type);
    return fn == nullptr ? noHandler : fn(args...);
}

// ------------------------------------------------------------ route keys

// A route key as stored by the host: 24 bytes, possibly unaligned.
inline void ReadKey(const uint8_t *p, TAM_RPD_ROUTE_KEY &key) noexcept {
    (void)memcpy_s(&key, sizeof(key), p, sizeof(key));
}
inline uint32_t PeerWord(const TAM_RPD_ROUTE_KEY &key) noexcept {
    uint32_t w;
    __builtin_memcpy(&w, key.aucPeerAddr, sizeof(w));
    return w;
}
inline void SetPeerWord(TAM_RPD_ROUTE_KEY &key, uint32_t w) noexcept {
    __builtin_memcpy(key.aucPeerAddr, &w, sizeof(w));
}

// Decoded IPv4 RPD key: policy type 1, address length 4, everything else zero.
inline void MakeIpv4Key(TAM_RPD_ROUTE_KEY &key, uint32_t distinguisher, uint32_t peer) noexcept {
    ClearLocal(key);
    key.ucPolicyType = TAM_RPD_POLICY_EXPORT;
    key.ucAddrLen = 4;
    key.ulDistinguisher = distinguisher;
    SetPeerWord(key, peer);
}

// Hands a decoded key to the host in a key-only route output buffer.
uint32_t OutputKeyOnly(TAM_RPD_OUTPUT_BUF **ppstOut, const TAM_RPD_ROUTE_KEY &key,
                       const TAM_RPD_INSTANCE *inst) noexcept;

// The 9-byte IPv4 body of an RPD NLRI (after its length byte), read from
// `in` into a route key; false when it is cut short or its policy type is
// not the export policy. Taken whole, so one bounds check covers it.
inline bool ReadNlriBody(BeReader &in, TAM_RPD_ROUTE_KEY &key) noexcept {
    const uint8_t *p = nullptr;
    if (!in.Take(9, p) || p[0] != TAM_RPD_POLICY_EXPORT) {
        return false;
    }
    MakeIpv4Key(key, LoadBe32(p + 1), LoadBe32(p + 5));
    return true;
}
// Writes the 10-byte IPv4 RPD NLRI of `key` at `p`.
void WriteNlri(uint8_t *p, const TAM_RPD_ROUTE_KEY &key) noexcept;

}  // namespace tam

#endif
