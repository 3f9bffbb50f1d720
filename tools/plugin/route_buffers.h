// The host side of a route: the owner of an output buffer a callback hands
// over, and the route view the host builds from stored buffers. Shared by
// rpd-host, the tests, the fuzz targets and the benchmarks.
#pragma once

#include <cstring>

#include "tam_rpd.h"
#include "tam_rpd_host.h"

namespace rpdhost {

// One route output buffer; released with the host allocator.
class OutBuf {
public:
    OutBuf() = default;
    OutBuf(const OutBuf &) = delete;
    OutBuf &operator=(const OutBuf &) = delete;
    OutBuf(OutBuf &&o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    OutBuf &operator=(OutBuf &&o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
        return *this;
    }
    ~OutBuf() { reset(); }
    void reset() {
        if (p_ != nullptr) QOR_Free_F(p_, "host", __LINE__);
        p_ = nullptr;
    }
    // Where a callback writes the buffer it hands over (any held one is released first).
    TAM_RPD_OUTPUT_BUF **slot() {
        reset();
        return &p_;
    }
    TAM_RPD_OUTPUT_BUF *get() const { return p_; }
    TAM_RPD_OUTPUT_BUF *operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    bool hasKey() const { return p_ != nullptr && (p_->ulFlags & TAM_RPD_OUT_KEY) != 0; }
    bool hasAttr() const { return p_ != nullptr && (p_->ulFlags & TAM_RPD_OUT_ATTR) != 0; }
    uint8_t *key() const { return Base() + p_->usKeyOffset; }
    uint16_t keyLen() const { return p_->usKeyLen; }
    uint8_t *attr() const { return Base() + p_->usAttrOffset; }
    uint16_t attrLen() const { return p_->usAttrLen; }

private:
    uint8_t *Base() const { return reinterpret_cast<uint8_t *>(p_); }
    TAM_RPD_OUTPUT_BUF *p_ = nullptr;
};

// A route key as the plug-in stores it; the peer address is a host-order word.
inline TAM_RPD_ROUTE_KEY MakeKey(uint32_t distinguisher, uint32_t peer, uint8_t policy = TAM_RPD_POLICY_EXPORT,
                                 uint8_t addrLen = 4) {
    TAM_RPD_ROUTE_KEY k;
    std::memset(&k, 0, sizeof(k));
    k.ucPolicyType = policy;
    k.ucAddrLen = addrLen;
    k.ulDistinguisher = distinguisher;
    std::memcpy(k.aucPeerAddr, &peer, 4);
    return k;
}

// A route view over a key and an attribute. The bytes of the view the
// plug-in has no business reading are filled with `fill`, so a test can make
// them junk.
inline TAM_RPD_ROUTE_VIEW MakeView(const uint8_t *key, uint32_t keyLen, const uint8_t *attr, uint32_t attrLen,
                                   int fill = 0) {
    TAM_RPD_ROUTE_VIEW v;
    std::memset(&v, fill, sizeof(v));
    v.ulKeyLen = keyLen;
    v.pucKey = const_cast<uint8_t *>(key);
    v.ulAttrLen = attrLen;
    v.pucAttr = const_cast<uint8_t *>(attr);
    return v;
}

// A route as the host stores it: the key of one buffer, the attribute of
// another (either may be absent).
inline TAM_RPD_ROUTE_VIEW MakeView(const OutBuf *key, const OutBuf *attr, int fill = 0) {
    const bool k = key != nullptr && key->hasKey();
    const bool a = attr != nullptr && attr->hasAttr();
    return MakeView(k ? key->key() : nullptr, k ? key->keyLen() : 0, a ? attr->attr() : nullptr,
                    a ? attr->attrLen() : 0, fill);
}

// The route one buffer holds.
inline TAM_RPD_ROUTE_VIEW ViewOf(const OutBuf &b, int fill = 0) { return MakeView(&b, &b, fill); }

}  // namespace rpdhost
