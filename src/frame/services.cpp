// Service and message dispatchers: each tests its own arguments, then hands
// the rest to the handler its table names for the type code.
#include "internal.h"

#define TAM_LOOKUP(name, table) \
    const TAM_RPD_TBL_ENTRY *name(uint32_t ulType) { return tam::FindEntry(table, ulType); }

extern "C" {

TAM_LOOKUP(TAM_RPD_GetAttrSetEntry, g_astTAM_RPD_SET_ATTR_TBL)
TAM_LOOKUP(TAM_RPD_GetDataCmpEntry, g_astTAM_RPD_CMP_DATA_TBL)
TAM_LOOKUP(TAM_RPD_GetBgpiMsgParseEntry, g_astTAM_RPD_MSG_PARSE_TBL)
TAM_LOOKUP(TAM_RPD_GetBgpiMsgFormatEntry, g_astTAM_RPD_MSG_FORMAT_TBL)
TAM_LOOKUP(TAM_RPD_GetHaiMsgParseEntry, g_astTAM_RPD_HA_MSG_PARSE_TBL)
TAM_LOOKUP(TAM_RPD_GetHaiMsgFormatEntry, g_astTAM_RPD_HA_MSG_FORMAT_TBL)
TAM_LOOKUP(TAM_RPD_GetAttrMsgParseEntry, g_astTAM_RPD_ATTR_MSG_PARSE_TBL)
TAM_LOOKUP(TAM_RPD_GetAttrMsgFormatEntry, g_astTAM_RPD_ATTR_MSG_FORMAT_TBL)
TAM_LOOKUP(TAM_RPD_GetCfgParseEntry, g_astTAM_RPD_CFG_PARSE_TBL)
TAM_LOOKUP(TAM_RPD_GetCfgFormatEntry, g_astTAM_RPD_CFG_FORMAT_TBL)

uint32_t TAM_RPD_SetAttr(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint32_t ulValue,
                         TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_ATTR_SETTER>(g_astTAM_RPD_SET_ATTR_TBL, ulType, TAM_RPD_ERR_NO_HANDLER, pstView,
                                                  ulValue, ppstOut, pstInst);
}

int32_t TAM_RPD_CmpData(const void *pFirst, uint16_t usFirstLen, const void *pSecond, uint16_t usSecondLen,
                        uint32_t ulType) {
    TAM_REQUIRE(pFirst != nullptr, TAM_RPD_CMP_FAIL);
    TAM_REQUIRE(pSecond != nullptr, TAM_RPD_CMP_FAIL);
    return tam::Dispatch<TAM_RPD_PFN_COMPARER>(g_astTAM_RPD_CMP_DATA_TBL, ulType, int32_t{TAM_RPD_CMP_FAIL}, pFirst,
                                               usFirstLen, pSecond, usSecondLen);
}

#define TAM_MSG_PARSE_DISPATCHER(name, table)                                                                    \
    uint32_t name(const uint8_t *pucMsg, uint16_t usLen, uint16_t usType, TAM_RPD_OUTPUT_BUF **ppstOut,          \
                  TAM_RPD_INSTANCE *pstInst) {                                                                   \
        TAM_REQUIRE(pucMsg != nullptr, TAM_RPD_ERR_PARA);                                                        \
        TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);                                                       \
        TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);                                                       \
        return tam::Dispatch<TAM_RPD_PFN_MSG_PARSER>(table, usType, TAM_RPD_ERR_NO_HANDLER, pucMsg, usLen,       \
                                                     ppstOut, pstInst);                                          \
    }

TAM_MSG_PARSE_DISPATCHER(TAM_RPD_ParseMsg, g_astTAM_RPD_MSG_PARSE_TBL)
TAM_MSG_PARSE_DISPATCHER(TAM_RPD_ParseHaMsg, g_astTAM_RPD_HA_MSG_PARSE_TBL)
TAM_MSG_PARSE_DISPATCHER(TAM_RPD_ParseAttrMsg, g_astTAM_RPD_ATTR_MSG_PARSE_TBL)

uint32_t TAM_RPD_FormatMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType, uint8_t **ppucCursor, uint16_t usRoom,
                           void *pCtx) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pCtx != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_MSG_FORMATTER>(g_astTAM_RPD_MSG_FORMAT_TBL, usType, TAM_RPD_ERR_NO_HANDLER,
                                                    pstView, ppucCursor, usRoom, pCtx);
}

// The HA channel leaves the context pointer to its handler.
uint32_t TAM_RPD_FormatHaMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType, uint8_t **ppucCursor,
                             uint16_t usRoom, void *pCtx) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_MSG_FORMATTER>(g_astTAM_RPD_HA_MSG_FORMAT_TBL, usType, TAM_RPD_ERR_NO_HANDLER,
                                                    pstView, ppucCursor, usRoom, pCtx);
}

uint32_t TAM_RPD_FormatAttrMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType, uint8_t **ppucCursor,
                               uint16_t usRoom, void *pCtx) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pCtx != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_MSG_FORMATTER>(g_astTAM_RPD_ATTR_MSG_FORMAT_TBL, usType, TAM_RPD_ERR_NO_HANDLER,
                                                    pstView, ppucCursor, usRoom, pCtx);
}

// A configuration type without parser is a bad argument, not a missing handler.
uint32_t TAM_RPD_ParseCfg(const uint8_t *pucRec, uint32_t ulLen, uint32_t ulType, TAM_RPD_OUTPUT_BUF **ppstOut,
                          TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pucRec != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_CFG_PARSER>(g_astTAM_RPD_CFG_PARSE_TBL, ulType, TAM_RPD_ERR_PARA, pucRec, ulLen,
                                                 ppstOut, pstInst);
}

uint32_t TAM_RPD_FormatCfg(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint8_t **ppucCursor, uint32_t ulRoom,
                           uint32_t *pulOut1, uint32_t *pulOut2) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ulRoom != 0, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulOut2 != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_CFG_FORMATTER>(g_astTAM_RPD_CFG_FORMAT_TBL, ulType, TAM_RPD_ERR_NO_HANDLER,
                                                    pstView, ppucCursor, ulRoom, pulOut1, pulOut2);
}

}  // extern "C"
