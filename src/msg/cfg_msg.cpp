// Configuration messages: the 38-byte prefix record and the policy text.
#include "../render/render_internal.h"

extern "C" {

uint32_t TAM_RPD_ParseCfgPrefix(const uint8_t *pucRec, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pucRec != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulLen == TAM_RPD_CFG_PREFIX_LEN, TAM_RPD_ERR_PARA);
    // A copy of the whole record (its length is checked above): fields are read by name.
    TAM_RPD_CFG_PREFIX rec;
    (void)memcpy_s(&rec, sizeof(rec), pucRec, sizeof(rec));
    if (rec.ulRecType != TAM_RPD_CFG_REC_PREFIX || rec.ucPolicyType != TAM_RPD_POLICY_EXPORT || rec.ucFlag != 0) {
        return TAM_RPD_ERR_CFG_INVALID;
    }
    // The address length byte is not examined: the record always means IPv4.
    TAM_RPD_ROUTE_KEY key;
    tam::MakeIpv4Key(key, rec.ulDistinguisher, rec.ulPeerAddr);
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
    // The record is packed: its fields are written in place, unaligned.
    auto *rec = reinterpret_cast<TAM_RPD_CFG_PREFIX *>(*ppucCursor);
    rec->ulRecType = TAM_RPD_CFG_REC_PREFIX;
    rec->ucPolicyType = key.ucPolicyType;
    rec->ucAddrLen = key.ucAddrLen;
    rec->ulDistinguisher = key.ulDistinguisher;
    rec->ulPeerAddr = tam::PeerWord(key);
    rec->ucFlag = 0;
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
