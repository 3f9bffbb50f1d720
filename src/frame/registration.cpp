// Registration with the host and the two packet dispatchers.
#include "internal.h"

extern "C" {

const TAM_RPD_TBL_ENTRY *TAM_RPD_GetPktParseEntry(uint32_t ulType) {
    return tam::FindEntry(g_astTAM_RPD_PKT_PARSE_TBL, ulType);
}

const TAM_RPD_TBL_ENTRY *TAM_RPD_GetPktFormatEntry(uint32_t ulType) {
    return tam::FindEntry(g_astTAM_RPD_PKT_FORMAT_TBL, ulType);
}

TAM_RPD_INSTANCE *TAM_RPD_Construct(TAM_RPD_PLUGIN_OPS *pstOps, uint64_t ulModuleId) {
    TAM_REQUIRE(pstOps != nullptr, nullptr);
    TAM_REQUIRE(ulModuleId != 0, nullptr);
    auto *inst = static_cast<TAM_RPD_INSTANCE *>(TAM_HOST_ALLOC(ulModuleId, sizeof(TAM_RPD_INSTANCE)));
    TAM_REQUIRE(inst != nullptr, nullptr);
    tam::Zero(*inst);
    inst->ulModuleId = ulModuleId;
    inst->ulScratchInUse = 0;

    // Field by field: every byte the host did not hand us stays as it was.
    static constexpr uint8_t kLead[5] = {0, 0, 0, 0, 1};
    for (size_t i = 0; i < sizeof(kLead); ++i) {
        pstOps->aucLead[i] = kLead[i];
    }
    pstOps->ucPktTypeNum = 3;
    pstOps->ucMsgTypeNum = 3;
    pstOps->ucHaMsgTypeNum = 1;
    pstOps->usAttrMsgTypeNum = 1;
    pstOps->ucMode = 2;
    pstOps->aulPktType[0] = TAM_RPD_PKT_MP_REACH;
    pstOps->aulPktType[1] = TAM_RPD_PKT_MP_UNREACH;
    pstOps->aulPktType[2] = TAM_RPD_PKT_WIDE_CMTY;
    pstOps->aulMsgType[0] = TAM_RPD_MSG_BGPI_PREFIX;
    pstOps->aulMsgType[1] = TAM_RPD_MSG_BGPI_PREFIX_OUT;
    pstOps->aulMsgType[2] = TAM_RPD_MSG_BGPI_LISTED;
    pstOps->aulHaMsgType[0] = TAM_RPD_MSG_HA_PREFIX;
    pstOps->aulAttrMsgType[0] = TAM_RPD_MSG_ATTR_WIDE_CMTY;
    pstOps->aulPair336[0] = 4;
    pstOps->aulPair336[1] = 4;
    pstOps->aulPair344[0] = 192;
    pstOps->aulPair344[1] = 112;
    pstOps->aulPair392[0] = 6;
    pstOps->aulPair392[1] = 7;

    pstOps->pfnParsePkt = &TAM_RPD_ParsePkt;
    pstOps->pfnFormatPkt = &TAM_RPD_FormatPkt;
    pstOps->pfnSetAttr = &TAM_RPD_SetAttr;
    pstOps->pfnParseMsg = &TAM_RPD_ParseMsg;
    pstOps->pfnFormatMsg = &TAM_RPD_FormatMsg;
    pstOps->pfnParseHaMsg = &TAM_RPD_ParseHaMsg;
    pstOps->pfnFormatHaMsg = &TAM_RPD_FormatHaMsg;
    pstOps->pfnParseAttrMsg = &TAM_RPD_ParseAttrMsg;
    pstOps->pfnFormatAttrMsg = &TAM_RPD_FormatAttrMsg;
    pstOps->pfnParseCfg = &TAM_RPD_ParseCfg;
    pstOps->pfnFormatCfg = &TAM_RPD_FormatCfg;
    pstOps->pNull520 = nullptr;
    pstOps->pNull536 = nullptr;
    for (size_t i = 0; i < 4; ++i) {
        pstOps->apNull552[i] = nullptr;
    }
    pstOps->pfnCmpData = &TAM_RPD_CmpData;
    pstOps->pfnData2Str = &TAM_RPD_Data2Str;
    pstOps->pfnSetRtCount = &TAM_RPD_SetRtCount;
    pstOps->pfnGetRtCount = &TAM_RPD_GetRtCount;
    pstOps->pfnCheckRoute = &TAM_RPD_CheckRoute;
    pstOps->pfnFormatDisp = &TAM_RPD_FormatDisp;
    return inst;
}

void TAM_RPD_Destruct(TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstInst != nullptr, );
    TAM_HOST_FREE(pstInst);
}

uint32_t TAM_RPD_ParsePkt(const uint8_t **ppucCursor, uint32_t ulLen, uint32_t ulType, TAM_RPD_OUTPUT_BUF **ppstOut,
                          uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppstOut != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulMore != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (ulLen == 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return tam::Dispatch<TAM_RPD_PFN_PKT_PARSER>(g_astTAM_RPD_PKT_PARSE_TBL, ulType, TAM_RPD_ERR_PARA, ppucCursor,
                                                 ulLen, ppstOut, pulMore, pstInst);
}

uint32_t TAM_RPD_FormatPkt(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint8_t **ppucCursor, uint32_t ulRoom,
                           void *pCtx) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppucCursor != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_PKT_FORMATTER>(g_astTAM_RPD_PKT_FORMAT_TBL, ulType, TAM_RPD_ERR_NO_HANDLER,
                                                    pstView, ppucCursor, ulRoom, pCtx);
}

}  // extern "C"
