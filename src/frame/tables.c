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
