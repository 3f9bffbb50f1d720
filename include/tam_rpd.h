/*
 * tam_rpd.h - public interface of the BGP Routing Policy Distribution plug-in.
 *
 * A host BGP process loads libtam_rpd.so, calls TAM_RPD_Construct with its
 * operations record and a module identifier, and from then on reaches the
 * plug-in only through the callbacks written into that record.
 *
 * Every record below is shared with the host by position on a 64-bit
 * little-endian target; the static assertions at the end pin each size and
 * offset. Usable from C (C11) and C++.
 */
#ifndef TAM_RPD_H
#define TAM_RPD_H

#include <stddef.h>
#include <stdint.h>

#include "tam_rpd_version.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TAM_RPD_EXPORT __attribute__((visibility("default")))
#define TAM_RPD_EXPORT_WEAK __attribute__((visibility("default"), weak))
#define TAM_RPD_PACKED __attribute__((packed))

/* ---------------------------------------------------------------- status */

#define TAM_RPD_OK                   0x0u
#define TAM_RPD_ERR                  0x1u
#define TAM_RPD_ERR_PARA             0x2u
#define TAM_RPD_ERR_NOMEM            0x3u
#define TAM_RPD_ERR_BUF_SHORT        0x4u
#define TAM_RPD_ERR_NO_HANDLER       0x1000004u
#define TAM_RPD_ERR_MSG_TOO_SHORT    0x1000005u
#define TAM_RPD_ERR_ADDR_UNSUPPORTED 0x1000008u
#define TAM_RPD_ERR_PKT_MALFORMED    0x3000001u
#define TAM_RPD_ERR_CFG_INVALID      0x3000005u
#define TAM_RPD_ERR_NO_DATA2STR      0x3000006u

/* The name of a status code, for a host's logs ("TAM_RPD_ERR_PKT_MALFORMED"
 * rather than 50331649). Inline: nothing is exported for it. */
static inline const char *TAM_RPD_StatusName(uint32_t status) {
    switch (status) {
        case TAM_RPD_OK: return "TAM_RPD_OK";
        case TAM_RPD_ERR: return "TAM_RPD_ERR";
        case TAM_RPD_ERR_PARA: return "TAM_RPD_ERR_PARA";
        case TAM_RPD_ERR_NOMEM: return "TAM_RPD_ERR_NOMEM";
        case TAM_RPD_ERR_BUF_SHORT: return "TAM_RPD_ERR_BUF_SHORT";
        case TAM_RPD_ERR_NO_HANDLER: return "TAM_RPD_ERR_NO_HANDLER";
        case TAM_RPD_ERR_MSG_TOO_SHORT: return "TAM_RPD_ERR_MSG_TOO_SHORT";
        case TAM_RPD_ERR_ADDR_UNSUPPORTED: return "TAM_RPD_ERR_ADDR_UNSUPPORTED";
        case TAM_RPD_ERR_PKT_MALFORMED: return "TAM_RPD_ERR_PKT_MALFORMED";
        case TAM_RPD_ERR_CFG_INVALID: return "TAM_RPD_ERR_CFG_INVALID";
        case TAM_RPD_ERR_NO_DATA2STR: return "TAM_RPD_ERR_NO_DATA2STR";
        default: return "unknown status";
    }
}

/* Result of the compare callbacks when they refuse to compare. */
#define TAM_RPD_CMP_FAIL (-2)

/* Presence bits of TAM_RPD_OUTPUT_BUF.ulFlags (also the compare type codes). */
#define TAM_RPD_OUT_KEY  0x2u
#define TAM_RPD_OUT_ATTR 0x8u

/* ------------------------------------------------------------ type codes */

#define TAM_RPD_PKT_MP_REACH     14u
#define TAM_RPD_PKT_MP_UNREACH   15u
#define TAM_RPD_PKT_WIDE_CMTY    11u
#define TAM_RPD_CMP_KEY          2u
#define TAM_RPD_CMP_ATTR         8u
#define TAM_RPD_ATTR_TYPE_WC     11u
#define TAM_RPD_ROUTE_KEY_LEN    24u
#define TAM_RPD_POLICY_EXPORT    1u
#define TAM_RPD_OUT_HDR_LEN      32u
#define TAM_RPD_SCRATCH_LEN      256u

/* ------------------------------------------------------------- records */

typedef struct TAM_RPD_INSTANCE {
    uint64_t ulModuleId;     /* first field: an instance pointer is a module id pointer */
    uint32_t ulScratchInUse; /* 1 while aucScratch is lent out */
    uint8_t aucScratch[TAM_RPD_SCRATCH_LEN];
} TAM_RPD_PACKED TAM_RPD_INSTANCE;

/* Generic handler slot; each table casts to its own handler type. */
typedef void (*TAM_RPD_PFN)(void);

typedef struct TAM_RPD_TBL_ENTRY {
    uint32_t ulType;
    TAM_RPD_PFN pfnHandler;
} TAM_RPD_PACKED TAM_RPD_TBL_ENTRY;

/* The host's read-only view of one stored route. Only the named fields are read. */
typedef struct TAM_RPD_ROUTE_VIEW {
    uint8_t aucHost0[16];
    uint32_t ulKeyLen;
    uint8_t *pucKey;
    uint8_t aucHost28[20];
    uint32_t ulAttrLen;
    uint8_t aucHost52[20];
    uint8_t *pucAttr;
} TAM_RPD_PACKED TAM_RPD_ROUTE_VIEW;

typedef struct TAM_RPD_ROUTE_KEY {
    uint8_t ucPolicyType;
    uint8_t ucAddrLen;
    uint16_t usSpare;
    uint32_t ulDistinguisher; /* host order */
    uint8_t aucPeerAddr[16];  /* IPv4: host-order word in bytes 0..3 */
} TAM_RPD_PACKED TAM_RPD_ROUTE_KEY;

/* Filled by a decoder on its stack; callers zero all 60 bytes first. */
typedef struct TAM_RPD_OUTPUT_DESC {
    uint8_t aucRsv0[12];
    uint32_t ulKeyLen;
    const uint8_t *pucKey;
    uint8_t aucRsv24[12];
    uint8_t ucAttrFlag;
    uint8_t ucAttrType;
    uint16_t usAttrLen;
    const uint8_t *pucAttr;
    uint8_t aucRsv48[12];
} TAM_RPD_PACKED TAM_RPD_OUTPUT_DESC;

/* Header of a route output buffer; key and/or attribute bytes follow at the offsets given. */
typedef struct TAM_RPD_OUTPUT_BUF {
    uint32_t ulFlags;
    uint8_t ucAttrFlag;
    uint8_t ucAttrType;
    uint8_t aucRsv6[6];
    uint16_t usKeyOffset;
    uint16_t usKeyLen;
    uint8_t aucRsv16[8];
    uint16_t usAttrOffset;
    uint16_t usAttrLen;
    uint8_t aucRsv28[4];
} TAM_RPD_PACKED TAM_RPD_OUTPUT_BUF;

/* Host doubly linked list: a head node followed by the element count. */
typedef struct TAM_RPD_DLL_NODE {
    struct TAM_RPD_DLL_NODE *pNext;
    struct TAM_RPD_DLL_NODE *pPrev;
    void *pHandle; /* owned by the list service */
} TAM_RPD_DLL_NODE;

typedef struct TAM_RPD_DLL_LIST {
    TAM_RPD_DLL_NODE stHead;
    uint32_t ulCount;
} TAM_RPD_DLL_LIST;

typedef struct TAM_RPD_PREFIX_ENTRY {
    uint32_t ulAddr; /* host order */
    uint8_t ucMaskLen;
    uint8_t ucGreaterEqual;
    uint8_t ucLessEqual;
    uint8_t ucMatchType; /* 0 exact, 1 ge, 2 le, 3 ge+le */
} TAM_RPD_PREFIX_ENTRY;

typedef struct TAM_RPD_PREFIX_LIST {
    uint16_t usCount;
    uint16_t usRsv;
    TAM_RPD_PREFIX_ENTRY astEntry[];
} TAM_RPD_PREFIX_LIST;

typedef struct TAM_RPD_ASPATH_FILTER {
    TAM_RPD_DLL_NODE stNode;
    uint16_t usLen;
    char acText[]; /* usLen characters, not terminated */
} TAM_RPD_ASPATH_FILTER;

typedef struct TAM_RPD_CMTY_FILTER {
    TAM_RPD_DLL_NODE stNode;
    uint8_t ucLeadOctet;
    uint8_t ucReserved;
    uint16_t usCount;
    uint32_t aulValue[];
} TAM_RPD_CMTY_FILTER;

typedef struct TAM_RPD_MED_APPLY {
    uint8_t ucOperation; /* 1 add, 2 subtract, other: set */
    uint32_t ulValue;
} TAM_RPD_MED_APPLY;

typedef struct TAM_RPD_ASPATH_APPLY_ENTRY {
    uint8_t ucRepeat;
    uint32_t ulAsNum;
} TAM_RPD_ASPATH_APPLY_ENTRY;

typedef struct TAM_RPD_ASPATH_APPLY {
    uint8_t ucCount;
    TAM_RPD_ASPATH_APPLY_ENTRY astEntry[];
} TAM_RPD_ASPATH_APPLY;

typedef struct TAM_RPD_CMTY_APPLY {
    uint8_t ucCount;
    uint8_t ucLeadOctet;
    uint32_t aulValue[];
} TAM_RPD_CMTY_APPLY;

typedef struct TAM_RPD_WC_MATCH {
    TAM_RPD_PREFIX_LIST *pstPrefixList;
    TAM_RPD_DLL_LIST stAsPathList; /* of TAM_RPD_ASPATH_FILTER */
    TAM_RPD_DLL_LIST stCmtyList;   /* of TAM_RPD_CMTY_FILTER */
} TAM_RPD_WC_MATCH;

typedef struct TAM_RPD_WC_APPLY {
    TAM_RPD_MED_APPLY *pstMed;
    TAM_RPD_ASPATH_APPLY *pstAsPath;
    TAM_RPD_CMTY_APPLY *pstCmty;
} TAM_RPD_WC_APPLY;

/* Decoded Wide Community attribute; the raw value follows from aucRawData on. */
typedef struct TAM_RPD_WC_ATTR {
    uint16_t usContainerType;
    uint8_t ucFlags;
    uint8_t ucHopCount;
    uint16_t usContainerLen;
    uint16_t usRsv6;
    uint32_t ulCommunity;
    uint32_t ulSrcAsNum;
    uint32_t ulContextAsNum;
    uint32_t ulRsv20;
    TAM_RPD_WC_MATCH stMatch;
    TAM_RPD_WC_APPLY stApply;
    TAM_RPD_INSTANCE *pOwner;
    uint16_t usRawLen;
    uint16_t usRsv130;
    uint8_t aucRawData[4]; /* first 4 raw bytes; the rest follow the fixed part */
} TAM_RPD_WC_ATTR;

#define TAM_RPD_WC_FIXED_LEN   136u
#define TAM_RPD_WC_RAW_OFFSET  132u
#define TAM_RPD_WC_MIN_LEN     34u
#define TAM_RPD_WC_MAX_RAW_LEN (65535u - TAM_RPD_WC_FIXED_LEN)
#define TAM_RPD_WC_MATCH_AND_SET   0x90000003u
#define TAM_RPD_WC_MATCH_AND_NOADV 0x90000004u

/* Configuration prefix record, host byte order. */
typedef struct TAM_RPD_CFG_PREFIX {
    uint32_t ulRecType; /* 8 */
    uint8_t ucPolicyType;
    uint8_t ucAddrLen;
    uint32_t ulDistinguisher;
    uint32_t ulPeerAddr;
    uint8_t aucRsv14[16];
    uint8_t ucFlag; /* 0 */
    uint8_t aucRsv31[7];
} TAM_RPD_PACKED TAM_RPD_CFG_PREFIX;

/* ------------------------------------------------------ callback types */

typedef uint32_t (*TAM_RPD_PFN_PARSE_PKT)(const uint8_t **ppucCursor, uint32_t ulLen, uint32_t ulType,
                                          TAM_RPD_OUTPUT_BUF **ppstOut, uint32_t *pulMore,
                                          TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_FORMAT_PKT)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType,
                                           uint8_t **ppucCursor, uint32_t ulRoom, void *pCtx);
typedef uint32_t (*TAM_RPD_PFN_SET_ATTR)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint32_t ulValue,
                                         TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_PARSE_MSG)(const uint8_t *pucMsg, uint16_t usLen, uint16_t usType,
                                          TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_FORMAT_MSG)(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType,
                                           uint8_t **ppucCursor, uint16_t usRoom, void *pCtx);
typedef uint32_t (*TAM_RPD_PFN_PARSE_CFG)(const uint8_t *pucRec, uint32_t ulLen, uint32_t ulType,
                                          TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_FORMAT_CFG)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType,
                                           uint8_t **ppucCursor, uint32_t ulRoom, uint32_t *pulOut1,
                                           uint32_t *pulOut2);
typedef int32_t (*TAM_RPD_PFN_CMP_DATA)(const void *pFirst, uint16_t usFirstLen, const void *pSecond,
                                        uint16_t usSecondLen, uint32_t ulType);
typedef uint32_t (*TAM_RPD_PFN_DATA2STR)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, char *pcBuf,
                                         uint32_t ulRoom, uint32_t *pulCont1, uint32_t *pulCont2,
                                         TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_SET_RT_COUNT)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t *pulCounters,
                                             uint32_t ulNum, uint32_t ulAdd, uint32_t ulAmount);
typedef uint32_t (*TAM_RPD_PFN_GET_RT_COUNT)(const uint32_t *pulCounters, uint32_t ulNum, uint32_t ulRtType,
                                             uint32_t *pulCount);
typedef uint32_t (*TAM_RPD_PFN_CHECK_ROUTE)(const TAM_RPD_ROUTE_VIEW *pstView, void *pIgnored,
                                            uint32_t *pulVerdict);
typedef uint32_t (*TAM_RPD_PFN_FORMAT_DISP)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulCode,
                                            char **ppcCursor, uint32_t ulRoom, uint32_t *pulCont1,
                                            uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst);

/* Handler shapes reached through the tables (dispatcher arguments less the type code). */
typedef uint32_t (*TAM_RPD_PFN_PKT_PARSER)(const uint8_t **ppucCursor, uint32_t ulLen,
                                           TAM_RPD_OUTPUT_BUF **ppstOut, uint32_t *pulMore,
                                           TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_PKT_FORMATTER)(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                              uint32_t ulRoom, void *pCtx);
typedef uint32_t (*TAM_RPD_PFN_ATTR_SETTER)(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulValue,
                                            TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
typedef int32_t (*TAM_RPD_PFN_COMPARER)(const void *pFirst, uint16_t usFirstLen, const void *pSecond,
                                        uint16_t usSecondLen);
typedef uint32_t (*TAM_RPD_PFN_MSG_PARSER)(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                           TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_MSG_FORMATTER)(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                              uint16_t usRoom, void *pCtx);
typedef uint32_t (*TAM_RPD_PFN_CFG_PARSER)(const uint8_t *pucRec, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                           TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_CFG_FORMATTER)(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                              uint32_t ulRoom, uint32_t *pulOut1, uint32_t *pulOut2);
typedef uint32_t (*TAM_RPD_PFN_STR_RENDERER)(const TAM_RPD_ROUTE_VIEW *pstView, char *pcBuf, uint32_t ulRoom,
                                             uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst);
typedef uint32_t (*TAM_RPD_PFN_DISP_FORMATTER)(const TAM_RPD_ROUTE_VIEW *pstView, char **ppcCursor,
                                               uint32_t ulRoom, uint32_t *pulCont1, uint32_t *pulCont2,
                                               TAM_RPD_INSTANCE *pstInst);

/* The host's operations record, written only by TAM_RPD_Construct. Bytes
 * named aucHost* are the host's and are never touched. */
typedef struct TAM_RPD_PLUGIN_OPS {
    uint8_t aucLead[5];      /* 00 00 00 00 01 */
    uint8_t ucPktTypeNum;    /* 3 */
    uint8_t ucMsgTypeNum;    /* 3 */
    uint8_t ucHaMsgTypeNum;  /* 1 */
    uint16_t usAttrMsgTypeNum; /* 1 */
    uint8_t ucMode;          /* 2 */
    uint8_t aucHost11[1];
    uint32_t aulPktType[20];
    uint32_t aulMsgType[20];
    uint32_t aulHaMsgType[20];
    uint32_t aulAttrMsgType[20];
    uint8_t aucHost332[4];
    uint32_t aulPair336[2];  /* 4, 4 */
    uint32_t aulPair344[2];  /* 192, 112 */
    uint8_t aucHost352[40];
    uint32_t aulPair392[2];  /* 6, 7 */
    uint8_t aucHost400[32];
    TAM_RPD_PFN_PARSE_PKT pfnParsePkt;
    TAM_RPD_PFN_FORMAT_PKT pfnFormatPkt;
    TAM_RPD_PFN_SET_ATTR pfnSetAttr;
    TAM_RPD_PFN_PARSE_MSG pfnParseMsg;
    TAM_RPD_PFN_FORMAT_MSG pfnFormatMsg;
    TAM_RPD_PFN_PARSE_MSG pfnParseHaMsg;
    TAM_RPD_PFN_FORMAT_MSG pfnFormatHaMsg;
    TAM_RPD_PFN_PARSE_MSG pfnParseAttrMsg;
    TAM_RPD_PFN_FORMAT_MSG pfnFormatAttrMsg;
    TAM_RPD_PFN_PARSE_CFG pfnParseCfg;
    TAM_RPD_PFN_FORMAT_CFG pfnFormatCfg;
    void *pNull520;
    uint8_t aucHost528[8];
    void *pNull536;
    uint8_t aucHost544[8];
    void *apNull552[4];
    TAM_RPD_PFN_CMP_DATA pfnCmpData;
    TAM_RPD_PFN_DATA2STR pfnData2Str;
    TAM_RPD_PFN_SET_RT_COUNT pfnSetRtCount;
    TAM_RPD_PFN_GET_RT_COUNT pfnGetRtCount;
    TAM_RPD_PFN_CHECK_ROUTE pfnCheckRoute;
    uint8_t aucHost624[16];
    TAM_RPD_PFN_FORMAT_DISP pfnFormatDisp;
} TAM_RPD_PACKED TAM_RPD_PLUGIN_OPS;

#define TAM_RPD_PLUGIN_OPS_LEN 648u

/* ---------------------------------------------------- registration */

TAM_RPD_EXPORT_WEAK TAM_RPD_INSTANCE *TAM_RPD_Construct(TAM_RPD_PLUGIN_OPS *pstOps, uint64_t ulModuleId);
TAM_RPD_EXPORT_WEAK void TAM_RPD_Destruct(TAM_RPD_INSTANCE *pstInst);

/* ------------------------------------------------------ dispatchers */

TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePkt(const uint8_t **ppucCursor, uint32_t ulLen, uint32_t ulType,
                                         TAM_RPD_OUTPUT_BUF **ppstOut, uint32_t *pulMore,
                                         TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatPkt(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType,
                                          uint8_t **ppucCursor, uint32_t ulRoom, void *pCtx);

/* ------------------------------------------------------------ tables */

#define TAM_RPD_PKT_PARSE_TBL_NUM  3
#define TAM_RPD_PKT_FORMAT_TBL_NUM 3

TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_PKT_PARSE_TBL[TAM_RPD_PKT_PARSE_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_PKT_FORMAT_TBL[TAM_RPD_PKT_FORMAT_TBL_NUM];

TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetPktParseEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetPktFormatEntry(uint32_t ulType);

/* ------------------------------------------------------ route output */

TAM_RPD_EXPORT uint32_t TAM_RPD_OutputData(TAM_RPD_OUTPUT_BUF **ppstOut, const TAM_RPD_OUTPUT_DESC *pstDesc,
                                           uint64_t ulModuleId);
TAM_RPD_EXPORT uint32_t TAM_RPD_CalcOutputLen(const TAM_RPD_OUTPUT_DESC *pstDesc, uint32_t *pulLen);
TAM_RPD_EXPORT uint32_t TAM_RPD_OutputKey(uint8_t *pucBuf, uint32_t *pulRoom, const TAM_RPD_OUTPUT_DESC *pstDesc,
                                          uint16_t *pusOffset);
TAM_RPD_EXPORT uint32_t TAM_RPD_OutputAttr(uint8_t *pucBuf, uint32_t *pulRoom, const TAM_RPD_OUTPUT_DESC *pstDesc,
                                           uint16_t *pusOffset);

/* ------------------------------------------ scratch memory, debug log */

TAM_RPD_EXPORT void *TAM_RPD_Malloc(TAM_RPD_INSTANCE *pstInst, uint32_t ulSize);
TAM_RPD_EXPORT void TAM_RPD_Free(void **ppHolder, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT void TAM_RPD_Print_LogInfo(uint32_t ulArg1, uint32_t ulArg2, uint32_t ulNumber, const char *pcFormat,
                                          ...) __attribute__((format(printf, 4, 5)));

/* ------------------------------------------------ route bookkeeping */

TAM_RPD_EXPORT uint32_t TAM_RPD_CheckRoute(const TAM_RPD_ROUTE_VIEW *pstView, void *pIgnored, uint32_t *pulVerdict);
TAM_RPD_EXPORT uint32_t TAM_RPD_GetRouteType(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t *pulRtType);
TAM_RPD_EXPORT uint32_t TAM_RPD_SetRtCount(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t *pulCounters, uint32_t ulNum,
                                           uint32_t ulAdd, uint32_t ulAmount);
TAM_RPD_EXPORT uint32_t TAM_RPD_GetRtCount(const uint32_t *pulCounters, uint32_t ulNum, uint32_t ulRtType,
                                           uint32_t *pulCount);

/* ------------------------------------------------------- NLRI codec */

TAM_RPD_EXPORT uint32_t TAM_RPD_ParseMpNlri(const uint8_t **ppucCursor, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                            uint32_t *pulMore, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseUnMpNlri(const uint8_t **ppucCursor, uint32_t ulLen,
                                              TAM_RPD_OUTPUT_BUF **ppstOut, uint32_t *pulMore,
                                              TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseBgpNlri(const uint8_t **ppucCursor, uint8_t ucNlriLen,
                                             TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatMpNlri(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                             uint32_t ulRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatMpUnNlri(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                               uint32_t ulRoom, void *pCtx);
TAM_RPD_EXPORT int32_t TAM_RPD_CmpKey(const void *pFirst, uint16_t usFirstLen, const void *pSecond,
                                      uint16_t usSecondLen);

/* ------------------------------------------- Wide Community record */

TAM_RPD_EXPORT void TAM_RPD_FreeWideCmtyData(TAM_RPD_WC_ATTR *pstAttr);
TAM_RPD_EXPORT void TAM_RPD_FreeWideCmtyMatchData(TAM_RPD_WC_MATCH *pstMatch);
TAM_RPD_EXPORT void TAM_RPD_FreeWideCmtyApplyData(TAM_RPD_WC_APPLY *pstApply);

/* ------------------------------------------ Wide Community decoder */

TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePktWideCommunity(TAM_RPD_WC_ATTR *pstAttr, const uint8_t *pucData, uint32_t ulLen,
                                                      TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePktWideCmtyPublic(TAM_RPD_WC_ATTR *pstAttr, const uint8_t *pucData,
                                                       uint32_t ulLen);
TAM_RPD_EXPORT uint32_t TAM_RPD_TLVGetTypeAndLen(const uint8_t *pucBuf, uint32_t ulAvail, uint8_t *pucType,
                                                 uint16_t *pusLen);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseTargetTLV(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData, uint32_t ulLen,
                                               TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_WideCmtySubRouteAttrData(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData,
                                                         uint16_t usLen, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePktIpPrefix4Data(const uint8_t *pucData, uint16_t usLen,
                                                      TAM_RPD_PREFIX_LIST **ppstList, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePktAsPathData(const uint8_t *pucData, uint16_t usLen,
                                                   TAM_RPD_ASPATH_FILTER **ppstFilter, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParsePktCmtyData(const uint8_t *pucData, uint16_t usLen,
                                                 TAM_RPD_CMTY_FILTER **ppstFilter, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint8_t TAM_RPD_IsIpPrefixMaskValid(uint8_t ucFamily, uint8_t ucMatchType, uint8_t ucMaskLen,
                                                   uint8_t ucGreaterEqual, uint8_t ucLessEqual);
TAM_RPD_EXPORT uint8_t TAM_RPD_MaskChkForExact(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual,
                                               uint8_t ucGreaterEqual);
TAM_RPD_EXPORT uint8_t TAM_RPD_MaskChkForGE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual,
                                            uint8_t ucGreaterEqual);
TAM_RPD_EXPORT uint8_t TAM_RPD_MaskChkForLE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual,
                                            uint8_t ucGreaterEqual);
TAM_RPD_EXPORT uint8_t TAM_RPD_MaskChkForLEGE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual,
                                              uint8_t ucGreaterEqual);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseParameterTLV(uint32_t ulCommunity, TAM_RPD_WC_APPLY *pstApply,
                                                  const uint8_t *pucData, uint32_t ulLen, TAM_RPD_INSTANCE *pstInst);

/* ------------------------------------------------ action decoder */

TAM_RPD_EXPORT uint32_t TAM_RPD_ParseWideCmtyApplyTLVData(TAM_RPD_WC_APPLY *pstApply, const uint8_t *pucData,
                                                          uint32_t ulLen, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseWideCmtyApplyMed(TAM_RPD_MED_APPLY **ppstSlot, const uint8_t *pucData,
                                                      uint16_t usLen, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseWideCmtyApplyAspath(TAM_RPD_ASPATH_APPLY **ppstSlot, const uint8_t *pucData,
                                                         uint16_t usLen, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseWideCmtyApplyCommunity(TAM_RPD_CMTY_APPLY **ppstSlot, const uint8_t *pucData,
                                                            uint16_t usLen, TAM_RPD_INSTANCE *pstInst);

/* --------------------------------------------- Wide Community handlers */

TAM_RPD_EXPORT uint32_t TAM_RPD_ParseWideCommunity(const uint8_t **ppucCursor, uint32_t ulLen,
                                                   TAM_RPD_OUTPUT_BUF **ppstOut, uint32_t *pulMore,
                                                   TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                    uint32_t ulRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_SetWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulValue,
                                                 TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT int32_t TAM_RPD_CmpAttr(const void *pFirst, uint16_t usFirstLen, const void *pSecond,
                                       uint16_t usSecondLen);

/* ------------------------------------------------- item renderers */

TAM_RPD_EXPORT uint8_t TAM_RPD_GetIfmatchPFMaxStrLenByType(uint8_t ucMatchType);
TAM_RPD_EXPORT uint32_t TAM_RPD_UCHAR2Str(char *pcDest, uint32_t ulRoom, const uint8_t *pucBytes, uint16_t usCount);
TAM_RPD_EXPORT void TAM_RPD_OutputAspathFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                                   uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputCmtyFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                                 uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputPrefixFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_PREFIX_LIST *pstList,
                                                   uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputApplyCmtyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_MED_APPLY *pstMed,
                                                uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputAsPathApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_ASPATH_APPLY *pstAsPath,
                                                  uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputCommunityApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_CMTY_APPLY *pstCmty,
                                                     uint32_t *pulLen);

/* ------------------------------------------------- route-to-string */

#define TAM_RPD_DATA2STR_TBL_NUM 2
#define TAM_RPD_STR_NLRI 1u
#define TAM_RPD_STR_WIDE_CMTY 0x40u

TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_DATA2STR_TBL[TAM_RPD_DATA2STR_TBL_NUM];
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetData2StrEntry(uint32_t ulType);
TAM_RPD_EXPORT uint32_t TAM_RPD_Data2Str(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, char *pcBuf,
                                         uint32_t ulRoom, uint32_t *pulCont1, uint32_t *pulCont2,
                                         TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_MpNlriData2Str(const TAM_RPD_ROUTE_VIEW *pstView, char *pcBuf, uint32_t ulRoom,
                                               uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_WideCommunity2Str(const TAM_RPD_ROUTE_VIEW *pstView, char *pcBuf, uint32_t ulRoom,
                                                  uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT void TAM_RPD_OutputWideCmtyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_ATTR *pstAttr);
TAM_RPD_EXPORT void TAM_RPD_OutputWideCmtyPublicData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_ATTR *pstAttr,
                                                     uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputWideCmtyMatchData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                                    uint32_t *pulLen);
TAM_RPD_EXPORT void TAM_RPD_OutputWideCmtyApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_APPLY *pstApply,
                                                    uint32_t *pulLen);

/* ------------------------------------------------------- display */

#define TAM_RPD_FORMAT_DISP_TBL_NUM 7
#define TAM_RPD_DISP_PUBLIC        0x01u
#define TAM_RPD_DISP_ASPATH_FILTER 0x02u
#define TAM_RPD_DISP_CMTY_FILTER   0x04u
#define TAM_RPD_DISP_IP_PREFIX     0x08u
#define TAM_RPD_DISP_MED           0x10u
#define TAM_RPD_DISP_ASPATH_APPLY  0x20u
#define TAM_RPD_DISP_CMTY_APPLY    0x40u

/* The seven pieces of a policy in the order its text shows them, as
 * X(display code, display handler, short name): the display table is built
 * from this list, and a host can walk it to show a policy piece by piece. */
#define TAM_RPD_POLICY_PIECES(X)                                                 \
    X(TAM_RPD_DISP_PUBLIC, TAM_RPD_FormatDispWideCmtyPublic, "container")        \
    X(TAM_RPD_DISP_ASPATH_FILTER, TAM_RPD_FormatDispWideCmtyAspathFilter, "as_path_filters") \
    X(TAM_RPD_DISP_CMTY_FILTER, TAM_RPD_FormatDispWideCmtyCommunity, "community_filters")    \
    X(TAM_RPD_DISP_IP_PREFIX, TAM_RPD_FormatDispWideCmtyIpPrefix, "prefix_list")             \
    X(TAM_RPD_DISP_MED, TAM_RPD_FormatDispWideCmtyMed, "med_action")                         \
    X(TAM_RPD_DISP_ASPATH_APPLY, TAM_RPD_FormatDispWideCmtyAsPath, "as_path_action")         \
    X(TAM_RPD_DISP_CMTY_APPLY, TAM_RPD_FormatDispWideCmtyApplyCommunity, "community_action")

TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_FORMAT_DISP_TBL[TAM_RPD_FORMAT_DISP_TBL_NUM];
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetDispFormatEntry(uint32_t ulCode);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatDisp(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulCode, char **ppcCursor,
                                           uint32_t ulRoom, uint32_t *pulCont1, uint32_t *pulCont2,
                                           TAM_RPD_INSTANCE *pstInst);
#define TAM_RPD_DECLARE_DISP(name)                                                                                 \
    TAM_RPD_EXPORT uint32_t name(const TAM_RPD_ROUTE_VIEW *pstView, char **ppcCursor, uint32_t ulRoom,              \
                                 uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst)
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyPublic);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyAspathFilter);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyCommunity);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyIpPrefix);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyMed);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyAsPath);
TAM_RPD_DECLARE_DISP(TAM_RPD_FormatDispWideCmtyApplyCommunity);

/* ------------------------------------------- route-prefix messages */

TAM_RPD_EXPORT uint32_t TAM_RPD_FormatRtPrefixTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                  uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatHaRtPrefixTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                    uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                                 TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseHaRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen,
                                                   TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseBgpiRtPrefixTlv(const uint8_t *pucMsg, uint16_t usLen,
                                                     TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);

/* ------------------------------------------------ attribute messages */

TAM_RPD_EXPORT uint32_t TAM_RPD_FormatWideCommunityTlv(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                       uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseRtWideCommunityTlv(const uint8_t *pucMsg, uint16_t usLen,
                                                        TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);

/* -------------------------------------------- configuration messages */

#define TAM_RPD_CFG_PREFIX_LEN 38u
#define TAM_RPD_CFG_REC_PREFIX 8u

TAM_RPD_EXPORT uint32_t TAM_RPD_ParseCfgPrefix(const uint8_t *pucRec, uint32_t ulLen, TAM_RPD_OUTPUT_BUF **ppstOut,
                                               TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatCfgPrefix(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                uint32_t ulRoom, uint32_t *pulOut1, uint32_t *pulOut2);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatCfgWideCommunity(const TAM_RPD_ROUTE_VIEW *pstView, uint8_t **ppucCursor,
                                                       uint32_t ulRoom, uint32_t *pulOut1, uint32_t *pulOut2);

/* ------------------------------------- service and message dispatch */

/* Internal message types. BGPI route-prefix messages: 53 decoded (IPv4
 * NLRI form), 79 and 80 decoded (they also recognise the IPv6 length and
 * refuse it), 59 encoded; 60 is listed in the operations record but has no
 * handler. HA route-prefix messages: 1, 3 and 5, decoded and encoded; 3 is
 * the one listed. Attribute messages: 29. Configuration records: 2 (route
 * prefix, decoded and encoded), 16 (policy text, encoded). */
#define TAM_RPD_MSG_BGPI_PREFIX       53u
#define TAM_RPD_MSG_BGPI_PREFIX_OUT   59u
#define TAM_RPD_MSG_BGPI_LISTED       60u
#define TAM_RPD_MSG_BGPI_PREFIX_V6A   79u
#define TAM_RPD_MSG_BGPI_PREFIX_V6B   80u
#define TAM_RPD_MSG_HA_PREFIX_1       1u
#define TAM_RPD_MSG_HA_PREFIX         3u
#define TAM_RPD_MSG_HA_PREFIX_5       5u
#define TAM_RPD_MSG_ATTR_WIDE_CMTY    29u
#define TAM_RPD_CFG_TYPE_PREFIX       2u
#define TAM_RPD_CFG_TYPE_POLICY_TEXT  16u

#define TAM_RPD_SET_ATTR_TBL_NUM        1
#define TAM_RPD_CMP_DATA_TBL_NUM        2
#define TAM_RPD_MSG_PARSE_TBL_NUM       3
#define TAM_RPD_MSG_FORMAT_TBL_NUM      1
#define TAM_RPD_HA_MSG_PARSE_TBL_NUM    3
#define TAM_RPD_HA_MSG_FORMAT_TBL_NUM   3
#define TAM_RPD_ATTR_MSG_PARSE_TBL_NUM  1
#define TAM_RPD_ATTR_MSG_FORMAT_TBL_NUM 1
#define TAM_RPD_CFG_PARSE_TBL_NUM       1
#define TAM_RPD_CFG_FORMAT_TBL_NUM      2

TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_SET_ATTR_TBL[TAM_RPD_SET_ATTR_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CMP_DATA_TBL[TAM_RPD_CMP_DATA_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_MSG_PARSE_TBL[TAM_RPD_MSG_PARSE_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_MSG_FORMAT_TBL[TAM_RPD_MSG_FORMAT_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_HA_MSG_PARSE_TBL[TAM_RPD_HA_MSG_PARSE_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_HA_MSG_FORMAT_TBL[TAM_RPD_HA_MSG_FORMAT_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_ATTR_MSG_PARSE_TBL[TAM_RPD_ATTR_MSG_PARSE_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_ATTR_MSG_FORMAT_TBL[TAM_RPD_ATTR_MSG_FORMAT_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CFG_PARSE_TBL[TAM_RPD_CFG_PARSE_TBL_NUM];
TAM_RPD_EXPORT extern const TAM_RPD_TBL_ENTRY g_astTAM_RPD_CFG_FORMAT_TBL[TAM_RPD_CFG_FORMAT_TBL_NUM];

TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetAttrSetEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetDataCmpEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetBgpiMsgParseEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetBgpiMsgFormatEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetHaiMsgParseEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetHaiMsgFormatEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetAttrMsgParseEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetAttrMsgFormatEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetCfgParseEntry(uint32_t ulType);
TAM_RPD_EXPORT const TAM_RPD_TBL_ENTRY *TAM_RPD_GetCfgFormatEntry(uint32_t ulType);

TAM_RPD_EXPORT uint32_t TAM_RPD_SetAttr(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint32_t ulValue,
                                        TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT int32_t TAM_RPD_CmpData(const void *pFirst, uint16_t usFirstLen, const void *pSecond,
                                       uint16_t usSecondLen, uint32_t ulType);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseMsg(const uint8_t *pucMsg, uint16_t usLen, uint16_t usType,
                                         TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType, uint8_t **ppucCursor,
                                          uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseHaMsg(const uint8_t *pucMsg, uint16_t usLen, uint16_t usType,
                                           TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatHaMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType, uint8_t **ppucCursor,
                                            uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseAttrMsg(const uint8_t *pucMsg, uint16_t usLen, uint16_t usType,
                                             TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatAttrMsg(const TAM_RPD_ROUTE_VIEW *pstView, uint16_t usType,
                                              uint8_t **ppucCursor, uint16_t usRoom, void *pCtx);
TAM_RPD_EXPORT uint32_t TAM_RPD_ParseCfg(const uint8_t *pucRec, uint32_t ulLen, uint32_t ulType,
                                         TAM_RPD_OUTPUT_BUF **ppstOut, TAM_RPD_INSTANCE *pstInst);
TAM_RPD_EXPORT uint32_t TAM_RPD_FormatCfg(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, uint8_t **ppucCursor,
                                          uint32_t ulRoom, uint32_t *pulOut1, uint32_t *pulOut2);

/* ------------------------------------------------------------------ */

#ifdef __cplusplus
} /* extern "C" */
#define TAM_RPD_STATIC_ASSERT static_assert
#else
#define TAM_RPD_STATIC_ASSERT _Static_assert
#endif

#define TAM_RPD_PIN(type, field, off) TAM_RPD_STATIC_ASSERT(offsetof(type, field) == (off), #type "." #field)
#define TAM_RPD_SIZE(type, len) TAM_RPD_STATIC_ASSERT(sizeof(type) == (len), "sizeof " #type)

TAM_RPD_SIZE(TAM_RPD_INSTANCE, 268);
TAM_RPD_PIN(TAM_RPD_INSTANCE, ulModuleId, 0);
TAM_RPD_PIN(TAM_RPD_INSTANCE, ulScratchInUse, 8);
TAM_RPD_PIN(TAM_RPD_INSTANCE, aucScratch, 12);

TAM_RPD_SIZE(TAM_RPD_TBL_ENTRY, 12);
TAM_RPD_PIN(TAM_RPD_TBL_ENTRY, ulType, 0);
TAM_RPD_PIN(TAM_RPD_TBL_ENTRY, pfnHandler, 4);

TAM_RPD_SIZE(TAM_RPD_ROUTE_VIEW, 80);
TAM_RPD_PIN(TAM_RPD_ROUTE_VIEW, ulKeyLen, 16);
TAM_RPD_PIN(TAM_RPD_ROUTE_VIEW, pucKey, 20);
TAM_RPD_PIN(TAM_RPD_ROUTE_VIEW, ulAttrLen, 48);
TAM_RPD_PIN(TAM_RPD_ROUTE_VIEW, pucAttr, 72);

TAM_RPD_SIZE(TAM_RPD_ROUTE_KEY, 24);
TAM_RPD_PIN(TAM_RPD_ROUTE_KEY, ucPolicyType, 0);
TAM_RPD_PIN(TAM_RPD_ROUTE_KEY, ucAddrLen, 1);
TAM_RPD_PIN(TAM_RPD_ROUTE_KEY, usSpare, 2);
TAM_RPD_PIN(TAM_RPD_ROUTE_KEY, ulDistinguisher, 4);
TAM_RPD_PIN(TAM_RPD_ROUTE_KEY, aucPeerAddr, 8);

TAM_RPD_SIZE(TAM_RPD_OUTPUT_DESC, 60);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, ulKeyLen, 12);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, pucKey, 16);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, ucAttrFlag, 36);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, ucAttrType, 37);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, usAttrLen, 38);
TAM_RPD_PIN(TAM_RPD_OUTPUT_DESC, pucAttr, 40);

TAM_RPD_SIZE(TAM_RPD_OUTPUT_BUF, 32);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, ulFlags, 0);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, ucAttrFlag, 4);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, ucAttrType, 5);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, usKeyOffset, 12);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, usKeyLen, 14);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, usAttrOffset, 24);
TAM_RPD_PIN(TAM_RPD_OUTPUT_BUF, usAttrLen, 26);

TAM_RPD_SIZE(TAM_RPD_DLL_NODE, 24);
TAM_RPD_SIZE(TAM_RPD_DLL_LIST, 32);
TAM_RPD_PIN(TAM_RPD_DLL_LIST, ulCount, 24);

TAM_RPD_SIZE(TAM_RPD_PREFIX_ENTRY, 8);
TAM_RPD_PIN(TAM_RPD_PREFIX_ENTRY, ucMaskLen, 4);
TAM_RPD_PIN(TAM_RPD_PREFIX_ENTRY, ucGreaterEqual, 5);
TAM_RPD_PIN(TAM_RPD_PREFIX_ENTRY, ucLessEqual, 6);
TAM_RPD_PIN(TAM_RPD_PREFIX_ENTRY, ucMatchType, 7);
TAM_RPD_PIN(TAM_RPD_PREFIX_LIST, astEntry, 4);
TAM_RPD_PIN(TAM_RPD_ASPATH_FILTER, usLen, 24);
TAM_RPD_PIN(TAM_RPD_ASPATH_FILTER, acText, 26);
TAM_RPD_PIN(TAM_RPD_CMTY_FILTER, ucLeadOctet, 24);
TAM_RPD_PIN(TAM_RPD_CMTY_FILTER, usCount, 26);
TAM_RPD_PIN(TAM_RPD_CMTY_FILTER, aulValue, 28);
TAM_RPD_SIZE(TAM_RPD_MED_APPLY, 8);
TAM_RPD_PIN(TAM_RPD_MED_APPLY, ulValue, 4);
TAM_RPD_SIZE(TAM_RPD_ASPATH_APPLY_ENTRY, 8);
TAM_RPD_PIN(TAM_RPD_ASPATH_APPLY_ENTRY, ulAsNum, 4);
TAM_RPD_PIN(TAM_RPD_ASPATH_APPLY, astEntry, 4);
TAM_RPD_PIN(TAM_RPD_CMTY_APPLY, ucLeadOctet, 1);
TAM_RPD_PIN(TAM_RPD_CMTY_APPLY, aulValue, 4);

TAM_RPD_SIZE(TAM_RPD_WC_MATCH, 72);
TAM_RPD_PIN(TAM_RPD_WC_MATCH, stAsPathList, 8);
TAM_RPD_PIN(TAM_RPD_WC_MATCH, stCmtyList, 40);
TAM_RPD_SIZE(TAM_RPD_WC_APPLY, 24);
TAM_RPD_PIN(TAM_RPD_WC_APPLY, pstAsPath, 8);
TAM_RPD_PIN(TAM_RPD_WC_APPLY, pstCmty, 16);

TAM_RPD_SIZE(TAM_RPD_WC_ATTR, 136);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, ucFlags, 2);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, ucHopCount, 3);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, usContainerLen, 4);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, ulCommunity, 8);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, ulSrcAsNum, 12);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, ulContextAsNum, 16);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, stMatch, 24);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, stApply, 96);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, pOwner, 120);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, usRawLen, 128);
TAM_RPD_PIN(TAM_RPD_WC_ATTR, aucRawData, 132);

TAM_RPD_SIZE(TAM_RPD_CFG_PREFIX, 38);
TAM_RPD_PIN(TAM_RPD_CFG_PREFIX, ucPolicyType, 4);
TAM_RPD_PIN(TAM_RPD_CFG_PREFIX, ucAddrLen, 5);
TAM_RPD_PIN(TAM_RPD_CFG_PREFIX, ulDistinguisher, 6);
TAM_RPD_PIN(TAM_RPD_CFG_PREFIX, ulPeerAddr, 10);
TAM_RPD_PIN(TAM_RPD_CFG_PREFIX, ucFlag, 30);

TAM_RPD_SIZE(TAM_RPD_PLUGIN_OPS, TAM_RPD_PLUGIN_OPS_LEN);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, ucPktTypeNum, 5);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, usAttrMsgTypeNum, 8);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, ucMode, 10);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulPktType, 12);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulMsgType, 92);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulHaMsgType, 172);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulAttrMsgType, 252);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulPair336, 336);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulPair344, 344);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aulPair392, 392);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnParsePkt, 432);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatPkt, 440);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnSetAttr, 448);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnParseMsg, 456);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatMsg, 464);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnParseHaMsg, 472);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatHaMsg, 480);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnParseAttrMsg, 488);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatAttrMsg, 496);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnParseCfg, 504);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatCfg, 512);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pNull520, 520);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aucHost528, 528);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pNull536, 536);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aucHost544, 544);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, apNull552, 552);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnCmpData, 584);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnData2Str, 592);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnSetRtCount, 600);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnGetRtCount, 608);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnCheckRoute, 616);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, aucHost624, 624);
TAM_RPD_PIN(TAM_RPD_PLUGIN_OPS, pfnFormatDisp, 640);

#endif /* TAM_RPD_H */
