/*
 * The constant dispatch tables. They live in C because a function address
 * converted to the generic slot type is an address constant here, so the
 * tables are laid out by the linker in read-only (RELRO) data with no
 * start-up code; the same initialiser in C++ would not be a constant
 * expression.
 */
#include "tam_rpd.h"

#define TAM_SLOT(fn) ((TAM_RPD_PFN)(fn))

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_PKT_PARSE_TBL[TAM_RPD_PKT_PARSE_TBL_NUM] = {
    {TAM_RPD_PKT_MP_REACH, TAM_SLOT(TAM_RPD_ParseMpNlri)},
    {TAM_RPD_PKT_MP_UNREACH, TAM_SLOT(TAM_RPD_ParseUnMpNlri)},
    {TAM_RPD_PKT_WIDE_CMTY, TAM_SLOT(TAM_RPD_ParseWideCommunity)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_PKT_FORMAT_TBL[TAM_RPD_PKT_FORMAT_TBL_NUM] = {
    {TAM_RPD_PKT_MP_REACH, TAM_SLOT(TAM_RPD_FormatMpNlri)},
    {TAM_RPD_PKT_MP_UNREACH, TAM_SLOT(TAM_RPD_FormatMpUnNlri)},
    {TAM_RPD_PKT_WIDE_CMTY, TAM_SLOT(TAM_RPD_FormatWideCommunity)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_DATA2STR_TBL[TAM_RPD_DATA2STR_TBL_NUM] = {
    {TAM_RPD_STR_NLRI, TAM_SLOT(TAM_RPD_MpNlriData2Str)},
    {TAM_RPD_STR_WIDE_CMTY, TAM_SLOT(TAM_RPD_WideCommunity2Str)},
};

#define TAM_DISP_ENTRY(code, handler, name) {code, TAM_SLOT(handler)},
const TAM_RPD_TBL_ENTRY g_astTAM_RPD_FORMAT_DISP_TBL[TAM_RPD_FORMAT_DISP_TBL_NUM] = {
    TAM_RPD_POLICY_PIECES(TAM_DISP_ENTRY)
};
#undef TAM_DISP_ENTRY

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_SET_ATTR_TBL[TAM_RPD_SET_ATTR_TBL_NUM] = {
    {TAM_RPD_ATTR_TYPE_WC, TAM_SLOT(TAM_RPD_SetWideCommunity)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CMP_DATA_TBL[TAM_RPD_CMP_DATA_TBL_NUM] = {
    {TAM_RPD_CMP_KEY, TAM_SLOT(TAM_RPD_CmpKey)},
    {TAM_RPD_CMP_ATTR, TAM_SLOT(TAM_RPD_CmpAttr)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_MSG_PARSE_TBL[TAM_RPD_MSG_PARSE_TBL_NUM] = {
    {TAM_RPD_MSG_BGPI_PREFIX_V6A, TAM_SLOT(TAM_RPD_ParseBgpiRtPrefixTlv)},
    {TAM_RPD_MSG_BGPI_PREFIX_V6B, TAM_SLOT(TAM_RPD_ParseBgpiRtPrefixTlv)},
    {TAM_RPD_MSG_BGPI_PREFIX, TAM_SLOT(TAM_RPD_ParseRtPrefixTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_MSG_FORMAT_TBL[TAM_RPD_MSG_FORMAT_TBL_NUM] = {
    {TAM_RPD_MSG_BGPI_PREFIX_OUT, TAM_SLOT(TAM_RPD_FormatRtPrefixTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_HA_MSG_PARSE_TBL[TAM_RPD_HA_MSG_PARSE_TBL_NUM] = {
    {TAM_RPD_MSG_HA_PREFIX_1, TAM_SLOT(TAM_RPD_ParseHaRtPrefixTlv)},
    {TAM_RPD_MSG_HA_PREFIX, TAM_SLOT(TAM_RPD_ParseHaRtPrefixTlv)},
    {TAM_RPD_MSG_HA_PREFIX_5, TAM_SLOT(TAM_RPD_ParseHaRtPrefixTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_HA_MSG_FORMAT_TBL[TAM_RPD_HA_MSG_FORMAT_TBL_NUM] = {
    {TAM_RPD_MSG_HA_PREFIX_1, TAM_SLOT(TAM_RPD_FormatHaRtPrefixTlv)},
    {TAM_RPD_MSG_HA_PREFIX, TAM_SLOT(TAM_RPD_FormatHaRtPrefixTlv)},
    {TAM_RPD_MSG_HA_PREFIX_5, TAM_SLOT(TAM_RPD_FormatHaRtPrefixTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_ATTR_MSG_PARSE_TBL[TAM_RPD_ATTR_MSG_PARSE_TBL_NUM] = {
    {TAM_RPD_MSG_ATTR_WIDE_CMTY, TAM_SLOT(TAM_RPD_ParseRtWideCommunityTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_ATTR_MSG_FORMAT_TBL[TAM_RPD_ATTR_MSG_FORMAT_TBL_NUM] = {
    {TAM_RPD_MSG_ATTR_WIDE_CMTY, TAM_SLOT(TAM_RPD_FormatWideCommunityTlv)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CFG_PARSE_TBL[TAM_RPD_CFG_PARSE_TBL_NUM] = {
    {TAM_RPD_CFG_TYPE_PREFIX, TAM_SLOT(TAM_RPD_ParseCfgPrefix)},
};

const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CFG_FORMAT_TBL[TAM_RPD_CFG_FORMAT_TBL_NUM] = {
    {TAM_RPD_CFG_TYPE_PREFIX, TAM_SLOT(TAM_RPD_FormatCfgPrefix)},
    {TAM_RPD_CFG_TYPE_POLICY_TEXT, TAM_SLOT(TAM_RPD_FormatCfgWideCommunity)},
};
