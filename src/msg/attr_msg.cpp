// Attribute messages (type 29): the Wide Community raw value as the body.
#include "../widecmty/wc_internal.h"

extern "C" {

uint32_t TAM_RPD_FormatWideCommunityTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint16_t usRoom,
                                        void *pCtx) {
    (void)pCtx;
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(*ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    return tam::WriteStoredRaw(*pstView, ppucCursor, usRoom);
}

uint32_t TAM_RPD_ParseRtWideCommunityTlv(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                         TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pucMsg != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen < tam::kWcHeaderLen) {
        return TAM_RPD_ERR_MSG_TOO_SHORT;
    }
    // 136 + body length must fit the 16-bit attribute length of a stored record.
    if (usLen > TAM_RPD_WC_MAX_RAW_LEN) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    tam::RecordBlock block(pucMsg, usLen, pstInst);
    TAM_RPD_WC_ATTR *rec = block.rec();
    TAM_REQUIRE(rec != nullptr, TAM_RPD_ERR_NOMEM);
    if (TAM_RPD_ParsePktWideCommunity(rec, pucMsg, usLen, pstInst) != TAM_RPD_OK) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return block.Output(ppstOut, pstInst->ulModuleId);
}

}  // extern "C"
