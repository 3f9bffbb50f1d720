// Piece-by-piece display of a stored Wide Community policy.
#include "render_internal.h"

namespace {

// Argument and attribute tests shared by every handler. Returns false with
// `status` set when the handler is done.
bool DispPrecheck(const TAM_RPD_ROUTE_VIEW *view, char **holder, uint32_t room, uint32_t *c1, uint32_t *c2,
                  uint32_t &status) noexcept {
    status = TAM_RPD_ERR_PARA;
    TAM_REQUIRE(room != 0, false);
    TAM_REQUIRE(holder != nullptr, false);
    TAM_REQUIRE(c1 != nullptr, false);
    TAM_REQUIRE(view != nullptr, false);
    TAM_REQUIRE(c2 != nullptr, false);
    if (*holder == nullptr) {
        return false;
    }
    if (view->pucAttr == nullptr) {
        *c2 = 0;
        status = TAM_RPD_OK;
        return false;
    }
    if (view->ulAttrLen < tam::kWcHeaderLen) {
        *c2 = 0;
        status = TAM_RPD_ERR;
        return false;
    }
    return true;
}

// The decoding handlers: the stored record carries no usable decoded form,
// so its raw bytes are decoded again for the one piece asked for.
template <typename Part>
uint32_t DisplayDecoded(const TAM_RPD_ROUTE_VIEW *view, char **holder, uint32_t room, uint32_t *c1, uint32_t *c2,
                        const tam::Piece<Part> &piece) noexcept {
    uint32_t status = TAM_RPD_OK;
    if (!DispPrecheck(view, holder, room, c1, c2, status)) {
        return status;
    }
    tam::TempRecord tmp;
    if (tmp.DecodeFrom(reinterpret_cast<const TAM_RPD_WC_ATTR *>(view->pucAttr)) != TAM_RPD_OK) {
        return TAM_RPD_ERR;
    }
    const Part &part = tam::PartOf<Part>(tmp.rec());
    if (piece.present(part)) {
        uint32_t itemLen = 0;
        piece.render(*holder, room, part, &itemLen);
    }
    *c2 = 0;
    return TAM_RPD_OK;
}

}  // namespace

extern "C" {

const TAM_RPD_TBL_ENTRY *TAM_RPD_GetDispFormatEntry(uint32_t ulCode) {
    return tam::FindEntry(g_astTAM_RPD_FORMAT_DISP_TBL, ulCode);
}

uint32_t TAM_RPD_FormatDisp(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulCode, char **ppcCursor, uint32_t ulRoom,
                            uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(ulRoom != 0, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(ppcCursor != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_DISP_FORMATTER>(g_astTAM_RPD_FORMAT_DISP_TBL, ulCode, TAM_RPD_ERR_NO_HANDLER,
                                                     pstView, ppcCursor, ulRoom, pulCont1, pulCont2, pstInst);
}

// The container block needs no decoding: the stored header fields are used.
uint32_t TAM_RPD_FormatDispWideCmtyPublic(const TAM_RPD_ROUTE_VIEW *pstView, char **ppcCursor, uint32_t ulRoom,
                                          uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {
    (void)pstInst;
    uint32_t status = TAM_RPD_OK;
    if (!DispPrecheck(pstView, ppcCursor, ulRoom, pulCont1, pulCont2, status)) {
        return status;
    }
    uint32_t len = 0;
    tam::kPieces.container.render(*ppcCursor, ulRoom, *reinterpret_cast<const TAM_RPD_WC_ATTR *>(pstView->pucAttr),
                                  &len);
    *pulCont2 = 0;
    return TAM_RPD_OK;
}

#define TAM_DISP_HANDLER(name, piece)                                                                           \
    uint32_t name(const TAM_RPD_ROUTE_VIEW *pstView, char **ppcCursor, uint32_t ulRoom, uint32_t *pulCont1,     \
                  uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {                                              \
        (void)pstInst;                                                                                          \
        return DisplayDecoded(pstView, ppcCursor, ulRoom, pulCont1, pulCont2, piece);                           \
    }

TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyAspathFilter, tam::kPieces.match[0])
TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyCommunity, tam::kPieces.match[1])
TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyIpPrefix, tam::kPieces.match[2])
TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyMed, tam::kPieces.apply[0])
TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyAsPath, tam::kPieces.apply[1])
TAM_DISP_HANDLER(TAM_RPD_FormatDispWideCmtyApplyCommunity, tam::kPieces.apply[2])

}  // extern "C"
