// Decoder of the Parameter TLV actions of a MATCH AND SET policy: MED,
// AS-path add and community add, each at most once, in any order.
#include "wc_internal.h"

namespace {

constexpr uint8_t kActionMed = 1;
constexpr uint8_t kActionAsPath = 2;
constexpr uint8_t kActionCmty = 3;
constexpr uint16_t kMedLen = 5;
constexpr uint16_t kAsPathEntryLen = 5;
constexpr uint32_t kMaxAsPathEntries = 255;  // ucCount is one octet
constexpr uint32_t kMaxAsPathRepeats = 63;
constexpr uint32_t kMaxCmtyActionValues = 5;

}  // namespace

extern "C" {

uint32_t TAM_RPD_ParseWideCmtyApplyTLVData(TAM_RPD_WC_APPLY *pstApply, const uint8_t *pucData, uint32_t ulLen,
                                           TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstApply != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    tam::BeReader in(pucData, ulLen);
    uint8_t type = 0;
    uint16_t len = 0;
    if (!in.U8(type) || !in.U16(len)) {
        return TAM_RPD_ERR_PKT_MALFORMED;  // not even one action header
    }
    // A trailing action header whose value is absent ends the walk successfully.
    tam::BeReader value;
    while (in.Sub(len, value)) {
        uint32_t ret;
        switch (type) {
            case kActionMed:
                ret = TAM_RPD_ParseWideCmtyApplyMed(&pstApply->pstMed, value.pos(), len, pstInst);
                break;
            case kActionAsPath:
                ret = TAM_RPD_ParseWideCmtyApplyAspath(&pstApply->pstAsPath, value.pos(), len, pstInst);
                break;
            case kActionCmty:
                ret = TAM_RPD_ParseWideCmtyApplyCommunity(&pstApply->pstCmty, value.pos(), len, pstInst);
                break;
            default:
                return TAM_RPD_ERR_PKT_MALFORMED;
        }
        if (ret != TAM_RPD_OK) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
        if (in.left() == 0) {
            return TAM_RPD_OK;
        }
        if (!in.U8(type) || !in.U16(len)) {
            return TAM_RPD_ERR_PKT_MALFORMED;  // one or two stray bytes
        }
    }
    return in.left() == 0 ? TAM_RPD_OK : TAM_RPD_ERR_PKT_MALFORMED;
}

uint32_t TAM_RPD_ParseWideCmtyApplyMed(TAM_RPD_MED_APPLY **ppstSlot, const uint8_t *pucData, uint16_t usLen,
                                       TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstSlot != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    if (*ppstSlot != nullptr || usLen != kMedLen) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, sizeof(TAM_RPD_MED_APPLY)));
    auto *med = block.as<TAM_RPD_MED_APPLY>();
    if (med == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    tam::BeReader in(pucData, usLen);
    if (!in.U8(med->ucOperation) || !in.U32(med->ulValue)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    *ppstSlot = static_cast<TAM_RPD_MED_APPLY *>(block.release());
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParseWideCmtyApplyAspath(TAM_RPD_ASPATH_APPLY **ppstSlot, const uint8_t *pucData, uint16_t usLen,
                                          TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstSlot != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    if (*ppstSlot != nullptr || usLen <= 4 || usLen % kAsPathEntryLen != 0) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    const uint32_t count = usLen / kAsPathEntryLen;
    // Entries beyond 255 cannot be counted in one octet; such an action can only
    // be malformed (their repeats would have to be 0 to respect the limit).
    if (count > kMaxAsPathEntries) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, tam::AsPathApplySize(count)));
    auto *action = block.as<TAM_RPD_ASPATH_APPLY>();
    if (action == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    action->ucCount = static_cast<uint8_t>(count);
    tam::BeReader in(pucData, usLen);
    uint32_t repeats = 0;
    for (uint32_t i = 0; i < count; ++i) {
        TAM_RPD_ASPATH_APPLY_ENTRY &e = action->astEntry[i];
        if (!in.U32(e.ulAsNum) || !in.U8(e.ucRepeat) || e.ulAsNum == 0) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
        repeats += e.ucRepeat;
    }
    if (repeats > kMaxAsPathRepeats) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    *ppstSlot = static_cast<TAM_RPD_ASPATH_APPLY *>(block.release());
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_ParseWideCmtyApplyCommunity(TAM_RPD_CMTY_APPLY **ppstSlot, const uint8_t *pucData, uint16_t usLen,
                                             TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ppstSlot != nullptr && pucData != nullptr, TAM_RPD_ERR_PARA);
    if (*ppstSlot != nullptr || usLen <= 4) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    // Bytes after the last whole value are ignored.
    const uint32_t count = (usLen - 1u) / 4;
    if (count > kMaxCmtyActionValues) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    tam::HostBlock block(tam::AllocZeroed(pstInst->ulModuleId, tam::CmtyApplySize(count)));
    auto *action = block.as<TAM_RPD_CMTY_APPLY>();
    if (action == nullptr) {
        return TAM_RPD_ERR_NOMEM;
    }
    tam::BeReader in(pucData, usLen);
    action->ucCount = static_cast<uint8_t>(count);
    if (!in.U8(action->ucLeadOctet)) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!in.U32(action->aulValue[i])) {
            return TAM_RPD_ERR_PKT_MALFORMED;
        }
    }
    *ppstSlot = static_cast<TAM_RPD_CMTY_APPLY *>(block.release());
    return TAM_RPD_OK;
}

}  // extern "C"
