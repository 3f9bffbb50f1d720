// Release of a decoded Wide Community record's sub-records.
#include "wc_internal.h"

namespace {

// Unlinks and frees every node of a host list, in list order.
void ReleaseList(TAM_RPD_DLL_LIST &list) noexcept {
    if (list.ulCount == 0 || list.stHead.pNext == nullptr) {
        return;
    }
    TAM_RPD_DLL_NODE *node = list.stHead.pNext;
    while (node != nullptr && node != &list.stHead) {
        TAM_RPD_DLL_NODE *next = node->pNext;
        DLL_Delete(&list, node);
        TAM_HOST_FREE(node);
        node = next;
    }
}

template <typename T> void ReleaseBlock(T *&p) noexcept {
    if (p != nullptr) {
        TAM_HOST_FREE(p);
        p = nullptr;
    }
}

}  // namespace

extern "C" {

void TAM_RPD_FreeWideCmtyMatchData(TAM_RPD_WC_MATCH *pstMatch) {
    if (pstMatch == nullptr) {
        return;
    }
    ReleaseList(pstMatch->stAsPathList);
    ReleaseList(pstMatch->stCmtyList);
    ReleaseBlock(pstMatch->pstPrefixList);
}

void TAM_RPD_FreeWideCmtyApplyData(TAM_RPD_WC_APPLY *pstApply) {
    if (pstApply == nullptr) {
        return;
    }
    ReleaseBlock(pstApply->pstAsPath);
    ReleaseBlock(pstApply->pstMed);
    ReleaseBlock(pstApply->pstCmty);
}

void TAM_RPD_FreeWideCmtyData(TAM_RPD_WC_ATTR *pstAttr) {
    if (pstAttr == nullptr) {
        return;
    }
    TAM_RPD_FreeWideCmtyMatchData(&pstAttr->stMatch);
    TAM_RPD_FreeWideCmtyApplyData(&pstAttr->stApply);
}

}  // extern "C"
