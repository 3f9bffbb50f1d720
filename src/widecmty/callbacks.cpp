// Wide Community attribute callbacks: parse a received value into a stored
// record, write the stored raw value back, re-emit it, order two of them.
#include "wc_internal.h"

extern "C" {

uint32_t TAM_RPD_ParseWideCommunity(const uint8_t **ppucCursor, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                    uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulMore != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    if (ulLen == 0) {
        *pulMore = 0;
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // Too short for a container header, or too long to be kept as a stored
    // record (its length must fit the host's 16-bit attribute length).
    if (ulLen < tam::kWcHeaderLen || ulLen > TAM_RPD_WC_MAX_RAW_LEN) {
        *ppucCursor += ulLen;
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint16_t len = static_cast<uint16_t>(ulLen);
    tam::RecordBlock block(*ppucCursor, len, pstInst);
    TAM_RPD_WC_ATTR *rec = block.rec();
    if (rec == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    if (TAM_RPD_ParsePktWideCommunity(rec, *ppucCursor, len, pstInst) != TAM_RPD_OK) {
        *ppucCursor += len;
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    uint32_t ret = block.Output(ppstOut, pstInst->ulModuleId);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    *pulMore = 0;
    *ppucCursor += len;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_FormatWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom,
                                     void *pCtx) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pCtx != nullptr, TAM_RPD_ERR_PARA);
    return tam::WriteStoredRaw(*pstView, ppucCursor, ulRoom);
}

uint32_t TAM_RPD_SetWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulValue, TAM_RPD_OUTPUT_BUF **ppstOut,
                                  TAM_RPD_INSTANCE *pstInst) {
    (void)ulValue;
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    const TAM_RPD_WC_ATTR *rec = tam::StoredRecord(pstView->pucAttr, pstView->ulAttrLen);
    if (rec == nullptr || rec->usRawLen < tam::kWcHeaderLen) {
        *ppstOut = nullptr;
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_RPD_OUTPUT_DESC desc;
    tam::DescribeAttr(desc, pstView->pucAttr, static_cast<uint16_t>(pstView->ulAttrLen));
    return TAM_RPD_OutputData(ppstOut, &desc, pstInst->ulModuleId);
}

int32_t TAM_RPD_CmpAttr(const void *pFirst, uint16_t usFirstLen, const void *pSecond, uint16_t usSecondLen) {
    TAM_REQUIRE(pFirst != nullptr, TAM_RPD_CMP_FAIL);
    TAM_REQUIRE(pSecond != nullptr, TAM_RPD_CMP_FAIL);
    const TAM_RPD_WC_ATTR *a = tam::StoredRecord(static_cast<const uint8_t *>(pFirst), usFirstLen);
    const TAM_RPD_WC_ATTR *b = tam::StoredRecord(static_cast<const uint8_t *>(pSecond), usSecondLen);
    if (a == nullptr || b == nullptr) {
        return TAM_RPD_CMP_FAIL;
    }
    // Only the raw value decides: shorter first, then bytewise.
    if (a->usRawLen != b->usRawLen) {
        return a->usRawLen < b->usRawLen ? -1 : 1;
    }
    int32_t m = PEX_MemCmp(tam::RawData(a), tam::RawData(b), a->usRawLen);
    return m < 0 ? -1 : (m > 0 ? 1 : 0);
}

}  // extern "C"
