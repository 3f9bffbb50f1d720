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
constexpr uint16_t kPrefixEntryWireLen = 8;  // match type nibble, address, mask length, greater-equal, less-equal
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
    uint8_t type = 0;
    uint16_t len = 0;
    if (!in.U8(type) || !in.U16(len)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // The outputs stay written when the value runs past what is available.
    *pucType = type;
    *pusLen = len;
    return in.left() < len ? TAM_RPD_ERR_PKT_MALFORMED : TAM_RPD_OK;
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
    if (!in.U16(type) || !in.U8(flags) || !in.U8(hops) || !in.U16(containerLen) || !in.U32(community) ||
        !in.U32(srcAs) || !in.U32(contextAs)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
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
    // Each TLV's value is a reader of its own, carved from what is left of the
    // attribute; the attribute reader has already stepped past it.
    tam::BeReader in(pucData, ulLen);
    tam::BeReader header, target, exclude, param;
    uint8_t type = 0;
    if (!in.Sub(tam::kWcHeaderLen, header) || !in.Tlv(type, target)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (type != kTargetTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (TAM_RPD_ParseTargetTLV(&pstAttr->stMatch, target.pos(), target.left(), pstInst) != TAM_RPD_OK) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (!in.Tlv(type, exclude)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (type != kExcludeTlv || exclude.left() != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (!in.Tlv(type, param)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (type != kParameterTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    ret = TAM_RPD_ParseParameterTLV(pstAttr->ulCommunity, &pstAttr->stApply, param.pos(), param.left(), pstInst);
    if (ret != TAM_RPD_OK) {
        return ret;
    }
    // The Parameter TLV must end exactly where the attribute ends.
    return in.left() != 0 ? TAM_RPD_ERR_PKT_MALFORMED : TAM_RPD_OK;
}

uint32_t TAM_RPD_ParseTargetTLV(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData, uint32_t ulLen,
                                TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstMatch != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    tam::BeReader in(pucData, ulLen);
    tam::BeReader sub;
    uint8_t type = 0;
    if (!in.Tlv(type, sub) || type != kRouteAttrSubTlv) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // The sub-TLV is not empty and fills the Target TLV exactly.
    if (sub.left() == 0 || in.left() != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    return TAM_RPD_WideCmtySubRouteAttrData(pstMatch, sub.pos(), static_cast<uint16_t>(sub.left()), pstInst);
}

uint32_t TAM_RPD_WideCmtySubRouteAttrData(TAM_RPD_WC_MATCH *pstMatch, const uint8_t *pucData, uint16_t usLen,
                                          TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstMatch != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    tam::BeReader in(pucData, usLen);
    tam::BeReader atom;
    uint8_t type = 0;
    if (!in.Tlv(type, atom)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // Only a fresh match part is filled: anything already there would be lost.
    if (pstMatch->stAsPathList.ulCount != 0 || pstMatch->stCmtyList.ulCount != 0 ||
        pstMatch->pstPrefixList != nullptr) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    MakeEmpty(pstMatch->stAsPathList);
    MakeEmpty(pstMatch->stCmtyList);

    for (;;) {
        const uint16_t atomLen = static_cast<uint16_t>(atom.left());
        switch (type) {
            case kAtomPrefix: {
                if (pstMatch->pstPrefixList != nullptr) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                if (TAM_RPD_ParsePktIpPrefix4Data(atom.pos(), atomLen, &pstMatch->pstPrefixList, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                break;
            }
            case kAtomAsPath: {
                TAM_RPD_ASPATH_FILTER *filter = nullptr;
                if (TAM_RPD_ParsePktAsPathData(atom.pos(), atomLen, &filter, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                Append(pstMatch->stAsPathList, &filter->stNode);
                break;
            }
            case kAtomCmty: {
                TAM_RPD_CMTY_FILTER *filter = nullptr;
                if (TAM_RPD_ParsePktCmtyData(atom.pos(), atomLen, &filter, pstInst) != TAM_RPD_OK) {
                    return TAM_RPD_ERR_PKT_MALFORMED;
                }
                Append(pstMatch->stCmtyList, &filter->stNode);
                break;
            }
            default:
                return TAM_RPD_ERR_PKT_MALFORMED;
        }
        if (in.left() == 0) {
            return TAM_RPD_OK;
        }
        if (!in.Tlv(type, atom)) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
    }
}

uint32_t TAM_RPD_ParsePktIpPrefix4Data(const uint8_t *pucData, uint16_t usLen, TAM_RPD_PREFIX_LIST **ppstList,
                                       TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstList != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    *ppstList = nullptr;
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (usLen < kPrefixEntryWireLen || usLen % kPrefixEntryWireLen != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint16_t count = static_cast<uint16_t>(usLen / kPrefixEntryWireLen);
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, tam::PrefixListSize(count)));
    auto *list = block.as<TAM_RPD_PREFIX_LIST>();
    if (list == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    list->usCount = count;
    tam::BeReader in(pucData, usLen);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t *w = nullptr;
        if (!in.Take(kPrefixEntryWireLen, w)) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
        TAM_RPD_PREFIX_ENTRY &e = list->astEntry[i];
        e.ulAddr = tam::LoadBe32(w + 1);
        e.ucMaskLen = w[5];
        e.ucGreaterEqual = w[6];
        e.ucLessEqual = w[7];
        e.ucMatchType = static_cast<uint8_t>(w[0] >> 4);
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
    auto *filter = static_cast<TAM_RPD_ASPATH_FILTER *>(tam::AllocZeroed(pstInst->ulModuleId, tam::AsPathFilterSize(usLen)));
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
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, tam::CmtyFilterSize(count)));
    auto *filter = block.as<TAM_RPD_CMTY_FILTER>();
    if (filter == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    tam::BeReader in(pucData, usLen);
    if (!in.U8(filter->ucLeadOctet)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    filter->ucReserved = 0;
    filter->usCount = static_cast<uint16_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!in.U32(filter->aulValue[i])) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
    }
    *ppstFilter = static_cast<TAM_RPD_CMTY_FILTER *>(block.release());
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
