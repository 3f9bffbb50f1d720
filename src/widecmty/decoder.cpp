// Decoder of the one Wide Community shape that carries an RPD export policy:
// container header, Target TLV (route-attribute sub-TLV with its match atoms),
// empty Exclude Target TLV, Parameter TLV.
#include "wc_internal.h"

namespace {

constexpr uint16_t kContainerType = 1;
constexpr uint16_t kMinContainerLen = 12;
constexpr uint8_t kTargetTlv = 1;
constexpr uint8_t kExcludeTlv = 2;
constexpr uint8_t kParameterTlv = 3;
constexpr uint8_t kRouteAttrSubTlv = 0x30;
constexpr uint8_t kAtomPrefix = 1;
constexpr uint8_t kAtomAsPath = 2;
constexpr uint8_t kAtomCmty = 3;
constexpr uint8_t kFamilyIpv4 = 4;
constexpr uint8_t kMaxMask = 32;
constexpr uint16_t kMaxAsPathText = 1024;
constexpr uint32_t kMaxCmtyValues = 20;

void Append(TAM_RPD_DLL_LIST &list, TAM_RPD_DLL_NODE *node) noexcept {
    node->pNext = nullptr;
    node->pPrev = nullptr;
    (void)DLL_Insert_In_Middle(&list, list.stHead.pPrev, node, &list.stHead);
}

void MakeEmpty(TAM_RPD_DLL_LIST &list) noexcept {
    list.stHead.pNext = &list.stHead;
    list.stHead.pPrev = &list.stHead;
}

}  // namespace

extern "C" {

uint32_t TAM_RPD_TLVGetTypeAndLen(const uint8_t *pucBuf, uint32_t ulAvail, uint8_t *pucType, uint16_t *pusLen) {
    if (pucBuf == nullptr || pucType == nullptr || pusLen == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    // A header cut short writes neither output.
    if (ulAvail < tam::kTlvHeaderLen) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    tam::BeReader in(pucBuf, ulAvail);
    (void)in.U8(*pucType);
    (void)in.U16(*pusLen);
    return in.left() < *pusLen ? TAM_RPD_ERR_PKT_MALFORMED : TAM_RPD_OK;
}

uint32_t TAM_RPD_ParsePktWideCmtyPublic(TAM_RPD_WC_ATTR *pstAttr, const uint8_t *pucData, uint32_t ulLen) {
    TAM_REQUIRE(pstAttr != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    if (ulLen < tam::kWcHeaderLen) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    pstAttr->usContainerType = 0;
    pstAttr->ucFlags = 0;
    pstAttr->ucHopCount = 0;
    pstAttr->usContainerLen = 0;
    pstAttr->usRsv6 = 0;
    pstAttr->ulCommunity = 0;
    pstAttr->ulSrcAsNum = 0;
    pstAttr->ulContextAsNum = 0;

    tam::BeReader in(pucData, ulLen);
    uint16_t type = 0, containerLen = 0;
    uint8_t flags = 0, hops = 0;
    uint32_t community = 0, srcAs = 0, contextAs = 0;
    (void)in.U16(type);
    (void)in.U8(flags);
    (void)in.U8(hops);
    (void)in.U16(containerLen);
    (void)in.U32(community);
    (void)in.U32(srcAs);
    (void)in.U32(contextAs);
    if (type != kContainerType || (flags & 0x03) != 0 || containerLen < kMinContainerLen ||
        community - TAM_RPD_WC_MATCH_AND_SET > 1) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    pstAttr->usContainerType = type;
    pstAttr->ucFlags = flags;
    pstAttr->ucHopCount = hops;
    pstAttr->usContainerLen = containerLen;
    pstAttr->ulCommunity = community;
    pstAttr->ulSrcAsNum = srcAs;
    pstAttr->ulContextAsNum = contextAs;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParsePktWideCommunity(TAM_RPD_WC_ATTR *pstAttr, const uint8_t *pucData, uint32_t ulLen,
                                       TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstAttr != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    uint32_t ret = TAM_RPD_ParsePktWideCmtyPublic(pstAttr, pucData, ulLen);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    // Each header read is bounded by what is left of the attribute, so every
    // offset below stays within ulLen.
    uint32_t off = tam::kWcHeaderLen;
    uint8_t type = 0;
    uint16_t targetLen = 0;
    ret = TAM_RPD_TLVGetTypeAndLen(pucData + off, ulLen - off, &type, &targetLen);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    if (type != kTargetTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    off += tam::kTlvHeaderLen;
    if (TAM_RPD_ParseTargetTLV(&pstAttr->stMatch, pucData + off, targetLen, pstInst) != TAM_RPD_OK) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    off += targetLen;

    uint16_t excludeLen = 0;
    ret = TAM_RPD_TLVGetTypeAndLen(pucData + off, ulLen - off, &type, &excludeLen);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    if (type != kExcludeTlv || excludeLen != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    off += tam::kTlvHeaderLen;

    uint16_t paramLen = 0;
    ret = TAM_RPD_TLVGetTypeAndLen(pucData + off, ulLen - off, &type, &paramLen);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    if (type != kParameterTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    off += tam::kTlvHeaderLen;
    ret = TAM_RPD_ParseParameterTLV(pstAttr->ulCommunity, &pstAttr->stApply, pucData + off, paramLen, pstInst);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    // The Parameter TLV must end exactly where the attribute ends.
    return paramLen != ulLen - off ? TAM_RPD_ERR_PKT_MALFORMED : TAM_RPD_OK;
}

uint32_t TAM_RPD_ParseTargetTLV(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData, uint32_t ulLen,
                                TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstMatch != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    uint8_t type = 0;
    uint16_t subLen = 0;
    if (TAM_RPD_TLVGetTypeAndLen(pucData, ulLen, &type, &subLen) != TAM_RPD_OK || type != kRouteAttrSubTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (subLen == 0 || ulLen - subLen != tam::kTlvHeaderLen) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return TAM_RPD_WideCmtySubRouteAttrData(pstMatch, pucData + tam::kTlvHeaderLen, subLen, pstInst);
}

uint32_t TAM_RPD_WideCmtySubRouteAttrData(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData, uint16_t usLen,
                                          TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstMatch != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    uint8_t type = 0;
    uint16_t atomLen = 0;
    if (TAM_RPD_TLVGetTypeAndLen(pucData, usLen, &type, &atomLen) != TAM_RPD_OK) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // Only a fresh match part is filled: anything already there would be lost.
    if (pstMatch->stAsPathList.ulCount != 0 || pstMatch->stCmtyList.ulCount != 0 ||
        pstMatch->pstPrefixList != nullptr) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    MakeEmpty(pstMatch->stAsPathList);
    MakeEmpty(pstMatch->stCmtyList);

    const uint8_t *atom = pucData + tam::kTlvHeaderLen;
    uint32_t remaining = usLen - tam::kTlvHeaderLen;
    for (;;) {
        switch (type) {
            case kAtomPrefix: {
                if (pstMatch->pstPrefixList != nullptr) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                if (TAM_RPD_ParsePktIpPrefix4Data(atom, atomLen, &pstMatch->pstPrefixList, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                break;
            }
            case kAtomAsPath: {
                TAM_RPD_ASPATH_FILTER *filter = nullptr;
                if (TAM_RPD_ParsePktAsPathData(atom, atomLen, &filter, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                Append(pstMatch->stAsPathList, &filter->stNode);
                break;
            }
            case kAtomCmty: {
                TAM_RPD_CMTY_FILTER *filter = nullptr;
                if (TAM_RPD_ParsePktCmtyData(atom, atomLen, &filter, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                Append(pstMatch->stCmtyList, &filter->stNode);
                break;
            }
            default:
                return TAM_RPD_ERR_PKT_MALFORMED;
        }
        remaining -= atomLen;
        atom += atomLen;
        if (remaining == 0) {
            return TAM_RPD_OK;
        }
        uint32_t ret = TAM_RPD_TLVGetTypeAndLen(atom, remaining, &type, &atomLen);
        if (ret != TAM_RPD_OK) {
            return ret;
        }
        remaining -= tam::kTlvHeaderLen;
        atom += tam::kTlvHeaderLen;
    }
}

uint32_t TAM_RPD_ParsePktIpPrefix4Data(const uint8_t *pucData, uint16_t usLen, TAM_RPD_PREFIX_LIST **ppstList,
                                       TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstList != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    *ppstList = nullptr;
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen < sizeof(TAM_RPD_PREFIX_ENTRY) || usLen % sizeof(TAM_RPD_PREFIX_ENTRY) != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint16_t count = static_cast<uint16_t>(usLen / sizeof(TAM_RPD_PREFIX_ENTRY));
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, 4 + 8u * count));
    auto *list = block.as<TAM_RPD_PREFIX_LIST>();
    if (list == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    list->usCount = count;
    tam::BeReader in(pucData, usLen);
    for (uint16_t i = 0; i < count; ++i) {
        uint8_t lead = 0;
        TAM_RPD_PREFIX_ENTRY &e = list->astEntry[i];
        (void)in.U8(lead);
        (void)in.U32(e.ulAddr);
        (void)in.U8(e.ucMaskLen);
        (void)in.U8(e.ucGreaterEqual);
        (void)in.U8(e.ucLessEqual);
        e.ucMatchType = static_cast<uint8_t>(lead >> 4);
        if (e.ucMatchType > 3 || TAM_RPD_IsIpPrefixMaskValid(kFamilyIpv4, e.ucMatchType, e.ucMaskLen,
                                                             e.ucGreaterEqual, e.ucLessEqual) == 0) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
    }
    *ppstList = static_cast<TAM_RPD_PREFIX_LIST *>(block.release());
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParsePktAsPathData(const uint8_t *pucData, uint16_t usLen, TAM_RPD_ASPATH_FILTER **ppstFilter,
                                    TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstFilter != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    *ppstFilter = nullptr;
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen == 0 || usLen > kMaxAsPathText) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    for (uint16_t i = 0; i < usLen; ++i) {
        if (pucData[i] < 0x20 || pucData[i] > 0x7E) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
    }
    auto *filter = static_cast<TAM_RPD_ASPATH_FILTER *>(tam::AllocZeroed(pstInst->ulModuleId, usLen + 32u));
    if (filter == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    (void)memcpy_s(filter->acText, usLen, pucData, usLen);
    filter->usLen = usLen;
    *ppstFilter = filter;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParsePktCmtyData(const uint8_t *pucData, uint16_t usLen, TAM_RPD_CMTY_FILTER **ppstFilter,
                                  TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstFilter != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    *ppstFilter = nullptr;
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen <= 4 || (usLen - 1) % 4 != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint32_t count = (usLen - 1u) / 4;
    if (count > kMaxCmtyValues) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    auto *filter = static_cast<TAM_RPD_CMTY_FILTER *>(tam::AllocZeroed(pstInst->ulModuleId, 28 + 4 * count));
    if (filter == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    tam::BeReader in(pucData, usLen);
    (void)in.U8(filter->ucLeadOctet);
    filter->ucReserved = 0;
    filter->usCount = static_cast<uint16_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        (void)in.U32(filter->aulValue[i]);
    }
    *ppstFilter = filter;
    return TAM_RPD_OK;
}

uint8_t TAM_RPD_MaskChkForExact(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual, uint8_t ucGreaterEqual) {
    return ucFamily == kFamilyIpv4 && ucMaskLen <= kMaxMask && ucGreaterEqual == 0 && ucLessEqual == 0;
}

uint8_t TAM_RPD_MaskChkForGE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual, uint8_t ucGreaterEqual) {
    return ucFamily == kFamilyIpv4 && ucMaskLen <= ucGreaterEqual && ucGreaterEqual <= kMaxMask && ucLessEqual == 0;
}

uint8_t TAM_RPD_MaskChkForLE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual, uint8_t ucGreaterEqual) {
    return ucFamily == kFamilyIpv4 && ucMaskLen <= ucLessEqual && ucLessEqual <= kMaxMask && ucGreaterEqual == 0;
}

uint8_t TAM_RPD_MaskChkForLEGE(uint8_t ucFamily, uint8_t ucMaskLen, uint8_t ucLessEqual, uint8_t ucGreaterEqual) {
    return ucFamily == kFamilyIpv4 && ucMaskLen <= ucGreaterEqual && ucGreaterEqual <= ucLessEqual &&
           ucLessEqual <= kMaxMask;
}

uint8_t TAM_RPD_IsIpPrefixMaskValid(uint8_t ucFamily, uint8_t ucMatchType, uint8_t ucMaskLen, uint8_t ucGreaterEqual,
                                    uint8_t ucLessEqual) {
    using Check = uint8_t (*)(uint8_t, uint8_t, uint8_t, uint8_t);
    static constexpr Check kChecks[] = {TAM_RPD_MaskChkForExact, TAM_RPD_MaskChkForGE, TAM_RPD_MaskChkForLE,
                                        TAM_RPD_MaskChkForLEGE};
    if (ucMatchType >= sizeof(kChecks) / sizeof(kChecks[0])) {
        return 0;
    }
    return kChecks[ucMatchType](ucFamily, ucMaskLen, ucLessEqual, ucGreaterEqual);
}

uint32_t TAM_RPD_ParseParameterTLV(uint32_t ulCommunity, TAM_RPD_WC_APPLY *pstApply, const uint8_t *pucData,
                                   uint32_t ulLen, TAM_RPD_INSTANCE *pstInst) {
    if (pstApply == nullptr || pucData == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    if (ulCommunity == TAM_RPD_WC_MATCH_AND_NOADV) {
        return ulLen == 0 ? TAM_RPD_OK : TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (ulCommunity != TAM_RPD_WC_MATCH_AND_SET) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return TAM_RPD_ParseWideCmtyApplyTLVData(pstApply, pucData, ulLen, pstInst);
}

}  // extern "C"
