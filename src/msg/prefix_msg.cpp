// Route-prefix message bodies of the BGPI and HA channels: the 10-byte RPD NLRI.
#include "../frame/internal.h"

namespace {

constexpr uint8_t kNlriLenIpv4 = 9;
constexpr uint8_t kNlriLenIpv6 = 21;
constexpr uint16_t kMinBody = 10;
// Encoders ask for room for the largest body the channels know, not just the 10 bytes written.
constexpr uint16_t kMinEncodeRoom = 24;

uint32_t EncodeBody(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint16_t usRoom, void *pCtx) noexcept {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pCtx != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    if (usRoom < kMinEncodeRoom) {
        return TAM_RPD_ERR_BUF_SHORT;
    }
    if (pstView->pucKey == nullptr) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_RPD_ROUTE_KEY key;
    tam::ReadKey(pstView->pucKey, key);
    if (key.ucAddrLen != 4 || key.ucPolicyType != TAM_RPD_POLICY_EXPORT) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    tam::WriteNlri(*ppucCursor, key);
    *ppucCursor += kMinBody;
    return TAM_RPD_OK;
}

// Builds the key from a body whose length byte says the IPv4 form, with the NLRI codec.
uint32_t EmitKey(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                 const TAM_RPD_INSTANCE *inst) noexcept {
    tam::BeReader in(pucMsg, usLen);
    uint8_t nlriLen = 0;
    TAM_RPD_ROUTE_KEY key;
    if (!in.U8(nlriLen) || !tam::ReadNlriBody(in, key)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return tam::OutputKeyOnly(ppstOut, key, inst);
}

// Types 53, 1, 3, 5: the IPv4 form only.
uint32_t DecodeBody(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                    TAM_RPD_INSTANCE *pstInst) noexcept {
    TAM_REQUIRE(pucMsg != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen < kMinBody) {
        return TAM_RPD_ERR_MSG_TOO_SHORT;
    }
    if (pucMsg[0] != kNlriLenIpv4) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return EmitKey(pucMsg, usLen, ppstOut, pstInst);
}

}  // namespace

extern "C" {

uint32_t TAM_RPD_FormatRtPrefixTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint16_t usRoom,
                                   void *pCtx) {
    return EncodeBody(pstView, ppucCursor, usRoom, pCtx);
}

uint32_t TAM_RPD_FormatHaRtPrefixTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint16_t usRoom,
                                     void *pCtx) {
    return EncodeBody(pstView, ppucCursor, usRoom, pCtx);
}

uint32_t TAM_RPD_ParseRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                  TAM_RPD_INSTANCE *pstInst) {
    return DecodeBody(pucMsg, usLen, ppstOut, pstInst);
}

uint32_t TAM_RPD_ParseHaRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                    TAM_RPD_INSTANCE *pstInst) {
    return DecodeBody(pucMsg, usLen, ppstOut, pstInst);
}

// Types 79, 80 also recognise the IPv6 form (21) and refuse it.
uint32_t TAM_RPD_ParseBgpiRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                      TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pucMsg != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen < kMinBody) {
        return TAM_RPD_ERR_MSG_TOO_SHORT;
    }
    const uint8_t nlriLen = pucMsg[0];
    if (usLen <= nlriLen || (nlriLen != kNlriLenIpv4 && nlriLen != kNlriLenIpv6)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (nlriLen == kNlriLenIpv6) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return EmitKey(pucMsg, usLen, ppstOut, pstInst);
}

}  // extern "C"
