// Configuration messages: the 38-byte prefix record and the policy text.
#include "../render/render_internal.h"

namespace {

// Fields of the record, in host byte order, read and written by position.
template <typename T> T LoadAt(const uint8_t *p, size_t off) noexcept {
    T v;
    (void)memcpy_s(&v, sizeof(v), p + off, sizeof(v));
    return v;
}
template <typename T> void StoreAt(uint8_t *p, size_t off, T v) noexcept {
    (void)memcpy_s(p + off, sizeof(v), &v, sizeof(v));
}

}  // namespace

extern "C" {

uint32_t TAM_RPD_ParseCfgPrefix(const uint8_t *pucRec, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pucRec != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulLen == TAM_RPD_CFG_PREFIX_LEN, TAM_RPD_ERR_PARA);
    if (LoadAt<uint32_t>(pucRec, offsetof(TAM_RPD_CFG_PREFIX, ulRecType)) != TAM_RPD_CFG_REC_PREFIX ||
        pucRec[offsetof(TAM_RPD_CFG_PREFIX, ucPolicyType)] != TAM_RPD_POLICY_EXPORT ||
        pucRec[offsetof(TAM_RPD_CFG_PREFIX, ucFlag)] != 0) {
        return TAM_RPD_ERR_CFG_INVALID;
    }
    // The address length byte is not examined: the record always means IPv4.
    TAM_RPD_ROUTE_KEY key;
    tam::MakeIpv4Key(key, LoadAt<uint32_t>(pucRec, offsetof(TAM_RPD_CFG_PREFIX, ulDistinguisher)),
                     LoadAt<uint32_t>(pucRec, offsetof(TAM_RPD_CFG_PREFIX, ulPeerAddr)));
    return tam::OutputKeyOnly(ppstOut, key, pstInst);
}

uint32_t TAM_RPD_FormatCfgPrefix(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom,
                                 uint32_t *pulOut1, uint32_t *pulOut2) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstView->pucKey != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulRoom != 0, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut2 != nullptr, TAM_RPD_ERR_PARA);
    if (ulRoom < TAM_RPD_CFG_PREFIX_LEN) {
        return TAM_RPD_ERR_BUF_SHORT;
    }
    if (pstView->ulKeyLen != TAM_RPD_ROUTE_KEY_LEN) {
        TAM_ASSERT();  // reported, but the key is read all the same
    }
    TAM_RPD_ROUTE_KEY key;
    tam::ReadKey(pstView->pucKey, key);
    if (key.ucAddrLen != 4 || key.ucPolicyType != TAM_RPD_POLICY_EXPORT) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // Only the carried fields are written; the other bytes stay the caller's.
    uint8_t *rec = *ppucCursor;
    StoreAt<uint32_t>(rec, offsetof(TAM_RPD_CFG_PREFIX, ulRecType), TAM_RPD_CFG_REC_PREFIX);
    rec[offsetof(TAM_RPD_CFG_PREFIX, ucPolicyType)] = key.ucPolicyType;
    rec[offsetof(TAM_RPD_CFG_PREFIX, ucAddrLen)] = key.ucAddrLen;
    StoreAt<uint32_t>(rec, offsetof(TAM_RPD_CFG_PREFIX, ulDistinguisher), key.ulDistinguisher);
    StoreAt<uint32_t>(rec, offsetof(TAM_RPD_CFG_PREFIX, ulPeerAddr), tam::PeerWord(key));
    rec[offsetof(TAM_RPD_CFG_PREFIX, ucFlag)] = 0;
    *pulOut1 = 0;
    *pulOut2 = 0;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_FormatCfgWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom,
                                        uint32_t *pulOut1, uint32_t *pulOut2) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulRoom != 0, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut2 != nullptr, TAM_RPD_ERR_PARA);
    if (*ppucCursor == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    if (pstView->pucAttr == nullptr) {
        *pulOut2 = 0;
        return TAM_RPD_OK;
    }
    if (pstView->ulAttrLen < tam::kWcHeaderLen) {
        *pulOut2 = 0;
        return TAM_RPD_ERR;
    }
    tam::TempRecord tmp;
    if (tmp.DecodeFrom(reinterpret_cast<const TAM_RPD_WC_ATTR *>(pstView->pucAttr)) != TAM_RPD_OK) {
        return TAM_RPD_ERR;
    }
    TAM_RPD_OutputWideCmtyData(reinterpret_cast<char *>(*ppucCursor), ulRoom, &tmp.rec());
    *pulOut2 = 0;
    return TAM_RPD_OK;
}

}  // extern "C"
