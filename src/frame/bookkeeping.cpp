// Route check, route type and the host's per-route-type counters.
#include "internal.h"

namespace {

constexpr uint32_t kRouteTypeExport = 1;
constexpr uint32_t kMinAttrLen = 18;  // Wide Community container header

}  // namespace

extern "C" {

uint32_t TAM_RPD_CheckRoute(const TAM_RPD_ROUTE_VIEW *pstView, void *pIgnored, uint32_t *pulVerdict) {
    (void)pIgnored;
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulVerdict != nullptr, TAM_RPD_ERR_PARA);
    const uint8_t *key = pstView->pucKey;
    if (key == nullptr || pstView->ulKeyLen != TAM_RPD_ROUTE_KEY_LEN) {
        return TAM_RPD_ERR;
    }
    *pulVerdict = 1;
    if (key[0] != TAM_RPD_POLICY_EXPORT || key[1] != 4 || pstView->pucAttr == nullptr ||
        pstView->ulAttrLen < kMinAttrLen) {
        *pulVerdict = 0;
        return TAM_RPD_ERR;
    }
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_GetRouteType(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t *pulRtType) {
    TAM_REQUIRE(pulRtType != nullptr, TAM_RPD_ERR_PARA);
    if (pstView == nullptr || pstView->pucKey == nullptr) {
        TAM_ASSERT();
        *pulRtType = 0;
        return TAM_RPD_ERR_PARA;
    }
    *pulRtType = (pstView->pucKey[0] == kRouteTypeExport) ? kRouteTypeExport : 0;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_SetRtCount(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t *pulCounters, uint32_t ulNum, uint32_t ulAdd,
                            uint32_t ulAmount) {
    if (pstView == nullptr || pstView->pucKey == nullptr) {
        return TAM_RPD_ERR_PARA;
    }
    uint32_t type = pstView->pucKey[0];
    if (!(type < ulNum && type == kRouteTypeExport)) {
        return TAM_RPD_ERR_PARA;
    }
    // Unsigned wrap-around is the host's contract: no clamp at zero.
    if (ulAdd != 0) {
        pulCounters[kRouteTypeExport] += ulAmount;
    } else {
        pulCounters[kRouteTypeExport] -= ulAmount;
    }
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_GetRtCount(const uint32_t *pulCounters, uint32_t ulNum, uint32_t ulRtType, uint32_t *pulCount) {
    if (static_cast<uint64_t>(ulRtType) + 1 > ulNum) {
        return TAM_RPD_ERR_PARA;
    }
    if (ulRtType != kRouteTypeExport) {
        return TAM_RPD_OK;
    }
    *pulCount = pulCounters[kRouteTypeExport];
    return TAM_RPD_OK;
}

}  // extern "C"
