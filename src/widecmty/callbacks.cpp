// Wide Community attribute callbacks.
#include "../frame/internal.h"

extern "C" {

uint32_t TAM_RPD_ParseWideCommunity(const uint8_t **ppucCursor, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                    uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst) {
    (void)ppucCursor, (void)ulLen, (void)ppstOut, (void)pulMore, (void)pstInst;
    return TAM_RPD_ERR_PKT_MALFORMED;
}

uint32_t TAM_RPD_FormatWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor, uint32_t ulRoom,
                                     void *pCtx) {
    (void)pstView, (void)ppucCursor, (void)ulRoom, (void)pCtx;
    return TAM_RPD_ERR_PKT_MALFORMED;
}

}  // extern "C"
