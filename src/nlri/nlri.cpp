// RPD NLRI codec: one NLRI of MP_REACH_NLRI / MP_UNREACH_NLRI per call, the
// reverse encoding, and the order of route keys.
#include "../frame/internal.h"

namespace {

constexpr uint8_t kNlriLenIpv4 = 9;
constexpr uint8_t kNlriLenIpv6 = 21;
constexpr uint32_t kNlriWireLen = 10;

// Shared body of the MP_REACH and MP_UNREACH encoders; they differ only in
// whether a null write position is noticed before or after the key pointer.
uint32_t FormatNlri(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom, void *pCtx,
                    bool cursorFirst) noexcept {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pCtx != nullptr, TAM_RPD_ERR_PARA);
    if (cursorFirst && *ppucCursor == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    const uint8_t *raw = pstView->pucKey;
    if (raw == nullptr) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (!cursorFirst && *ppucCursor == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    TAM_RPD_ROUTE_KEY key;
    tam::ReadKey(raw, key);
    if (key.ucPolicyType != TAM_RPD_POLICY_EXPORT) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (key.ucAddrLen != 4) {
        return TAM_RPD_ERR_ADDR_UNSUPPORTED;
    }
    if (ulRoom < kNlriWireLen) {
        return TAM_RPD_ERR_BUF_SHORT;
    }
    tam::WriteNlri(*ppucCursor, key);
    *ppucCursor += kNlriWireLen;
    return TAM_RPD_OK;
}

template <typename T> int32_t Order(T a, T b) noexcept { return a > b ? 1 : (a < b ? -1 : 0); }

}  // namespace

namespace tam {

void WriteNlri(uint8_t *p, const TAM_RPD_ROUTE_KEY &key) noexcept {
    p[0] = kNlriLenIpv4;
    p[1] = key.ucPolicyType;
    StoreBe32(p + 2, key.ulDistinguisher);
    StoreBe32(p + 6, PeerWord(key));
}

}  // namespace tam

extern "C" {

uint32_t TAM_RPD_ParseMpNlri(const uint8_t **ppucCursor, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                             uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulMore != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    *pulMore = 0;
    if (ulLen < 2) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint8_t nlriLen = (*ppucCursor)[0];
    if (nlriLen > ulLen - 1 || (nlriLen != kNlriLenIpv4 && nlriLen != kNlriLenIpv6)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint8_t *body = *ppucCursor + 1;
    uint32_t ret = TAM_RPD_ParseBgpNlri(&body, nlriLen, ppstOut, pstInst);
    *ppucCursor = body;
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    *pulMore = (ulLen - 1 != nlriLen) ? 1 : 0;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParseUnMpNlri(const uint8_t **ppucCursor, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                               uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst) {
    return TAM_RPD_ParseMpNlri(ppucCursor, ulLen, ppstOut, pulMore, pstInst);
}

uint32_t TAM_RPD_ParseBgpNlri(const uint8_t **ppucCursor, uint8_t ucNlriLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                              TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppucCursor != nullptr && *ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ucNlriLen >= kNlriLenIpv4, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    // The IPv6 form (21) is recognised by its length but not supported.
    TAM_RPD_ROUTE_KEY key;
    tam::BeReader body(*ppucCursor, ucNlriLen);
    if (ucNlriLen != kNlriLenIpv4 || !tam::ReadNlriBody(body, key)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    uint32_t ret = tam::OutputKeyOnly(ppstOut, key, pstInst);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    *ppucCursor += kNlriLenIpv4;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_FormatMpNlri(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom, void *pCtx) {
    return FormatNlri(pstView, ppucCursor, ulRoom, pCtx, true);
}

uint32_t TAM_RPD_FormatMpUnNlri(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom,
                                void *pCtx) {
    return FormatNlri(pstView, ppucCursor, ulRoom, pCtx, false);
}

int32_t TAM_RPD_CmpKey(const void *pFirst, uint16_t usFirstLen, const void *pSecond, uint16_t usSecondLen) {
    TAM_REQUIRE(pFirst != nullptr, TAM_RPD_CMP_FAIL);
    TAM_REQUIRE(pSecond != nullptr, TAM_RPD_CMP_FAIL);
    TAM_REQUIRE(usFirstLen == TAM_RPD_ROUTE_KEY_LEN, TAM_RPD_CMP_FAIL);
    TAM_REQUIRE(usSecondLen == TAM_RPD_ROUTE_KEY_LEN, TAM_RPD_CMP_FAIL);
    TAM_RPD_ROUTE_KEY a;
    TAM_RPD_ROUTE_KEY b;
    tam::ReadKey(static_cast<const uint8_t *>(pFirst), a);
    tam::ReadKey(static_cast<const uint8_t *>(pSecond), b);
    if (int32_t r = Order(a.ucPolicyType, b.ucPolicyType)) return r;
    if (int32_t r = Order(a.ucAddrLen, b.ucAddrLen)) return r;
    // Stored bytes, not numeric value: on a little-endian host the peer's last octet leads.
    int32_t m = PEX_MemCmp(a.aucPeerAddr, b.aucPeerAddr, sizeof(a.aucPeerAddr));
    if (m != 0) return m > 0 ? 1 : -1;
    return Order(a.ulDistinguisher, b.ulDistinguisher);
}

}  // extern "C"
