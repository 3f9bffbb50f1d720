// Route output buffer: the one way a decoded key or attribute reaches the host.
#include "internal.h"

extern "C" {

uint32_t TAM_RPD_CalcOutputLen(const TAM_RPD_OUTPUT_DESC *pstDesc, uint32_t *pulLen) {
    TAM_REQUIRE(pstDesc != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulLen != nullptr, TAM_RPD_ERR_PARA);
    uint32_t len = TAM_RPD_OUT_HDR_LEN;
    if (pstDesc->pucKey != nullptr) {
        // Every key is 24 bytes; a descriptor claiming otherwise cannot be laid out
        // consistently (the copy is always 24), so it is refused.
        if (pstDesc->ulKeyLen != TAM_RPD_ROUTE_KEY_LEN) {
            return TAM_RPD_ERR_PARA;
        }
        len += pstDesc->ulKeyLen;
    }
    if (pstDesc->pucAttr != nullptr) {
        len += pstDesc->usAttrLen;
    }
    if (len == TAM_RPD_OUT_HDR_LEN) {
        return TAM_RPD_ERR_PARA;
    }
    *pulLen = len;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_OutputKey(uint8_t *pucBuf, uint32_t *pulRoom, const TAM_RPD_OUTPUT_DESC *pstDesc,
                           uint16_t *pusOffset) {
    TAM_REQUIRE(pucBuf != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstDesc != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulRoom != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pusOffset != nullptr, TAM_RPD_ERR_PARA);
    if (pstDesc->pucKey == nullptr || *pulRoom == 0) {
        return TAM_RPD_OK;
    }
    auto *hdr = reinterpret_cast<TAM_RPD_OUTPUT_BUF *>(pucBuf);
    hdr->usKeyOffset = *pusOffset;
    hdr->usKeyLen = TAM_RPD_ROUTE_KEY_LEN;
    hdr->ulFlags |= TAM_RPD_OUT_KEY;
    (void)memcpy_s(pucBuf + *pusOffset, *pulRoom, pstDesc->pucKey, TAM_RPD_ROUTE_KEY_LEN);
    *pusOffset = static_cast<uint16_t>(*pusOffset + TAM_RPD_ROUTE_KEY_LEN);
    *pulRoom -= TAM_RPD_ROUTE_KEY_LEN;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_OutputAttr(uint8_t *pucBuf, uint32_t *pulRoom, const TAM_RPD_OUTPUT_DESC *pstDesc,
                            uint16_t *pusOffset) {
    TAM_REQUIRE(pucBuf != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstDesc != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulRoom != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pusOffset != nullptr, TAM_RPD_ERR_PARA);
    if (pstDesc->pucAttr == nullptr || *pulRoom == 0) {
        return TAM_RPD_OK;
    }
    auto *hdr = reinterpret_cast<TAM_RPD_OUTPUT_BUF *>(pucBuf);
    hdr->ulFlags |= TAM_RPD_OUT_ATTR;
    hdr->ucAttrFlag = pstDesc->ucAttrFlag;
    hdr->ucAttrType = pstDesc->ucAttrType;
    hdr->usAttrOffset = *pusOffset;
    hdr->usAttrLen = pstDesc->usAttrLen;
    (void)memcpy_s(pucBuf + *pusOffset, *pulRoom, pstDesc->pucAttr, pstDesc->usAttrLen);
    *pusOffset = static_cast<uint16_t>(*pusOffset + pstDesc->usAttrLen);
    *pulRoom -= pstDesc->usAttrLen;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_OutputData(TAM_RPD_OUTPUT_BUF **ppstOut, const TAM_RPD_OUTPUT_DESC *pstDesc, uint64_t ulModuleId) {
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstDesc != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulModuleId != 0, TAM_RPD_ERR_PARA);
    uint32_t total = 0;
    uint32_t ret = TAM_RPD_CalcOutputLen(pstDesc, &total);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    auto *buf = static_cast<uint8_t *>(tam::AllocZeroed(ulModuleId, total));
    TAM_REQUIRE(buf != nullptr, TAM_RPD_ERR_NOMEM);
    uint16_t offset = TAM_RPD_OUT_HDR_LEN;
    uint32_t room = total - TAM_RPD_OUT_HDR_LEN;
    (void)TAM_RPD_OutputKey(buf, &room, pstDesc, &offset);
    (void)TAM_RPD_OutputAttr(buf, &room, pstDesc, &offset);
    *ppstOut = reinterpret_cast<TAM_RPD_OUTPUT_BUF *>(buf);
    return TAM_RPD_OK;
}

}  // extern "C"

namespace tam {

uint32_t OutputKeyOnly(TAM_RPD_OUTPUT_BUF **ppstOut, const TAM_RPD_ROUTE_KEY &key,
                       const TAM_RPD_INSTANCE *inst) noexcept {
    TAM_RPD_OUTPUT_DESC desc;
    ClearLocal(desc);
    desc.ulKeyLen = TAM_RPD_ROUTE_KEY_LEN;
    desc.pucKey = reinterpret_cast<const uint8_t *>(&key);
    return TAM_RPD_OutputData(ppstOut, &desc, inst->ulModuleId);
}

}  // namespace tam
