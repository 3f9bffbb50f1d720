// The table of a policy's pieces: presence tests and renderers.
#include "render_internal.h"

namespace tam {

namespace {

bool Always(const TAM_RPD_WC_ATTR &) noexcept { return true; }
bool HasAsPathFilters(const TAM_RPD_WC_MATCH &m) noexcept { return m.stAsPathList.ulCount != 0; }
bool HasCmtyFilters(const TAM_RPD_WC_MATCH &m) noexcept { return m.stCmtyList.ulCount != 0; }
bool HasPrefixList(const TAM_RPD_WC_MATCH &m) noexcept {
    return m.pstPrefixList != nullptr && m.pstPrefixList->usCount != 0;
}
bool HasMed(const TAM_RPD_WC_APPLY &a) noexcept { return a.pstMed != nullptr; }
bool HasAsPathAction(const TAM_RPD_WC_APPLY &a) noexcept { return a.pstAsPath != nullptr && a.pstAsPath->ucCount != 0; }
bool HasCmtyAction(const TAM_RPD_WC_APPLY &a) noexcept { return a.pstCmty != nullptr && a.pstCmty->ucCount != 0; }

void Container(char *b, uint32_t r, const TAM_RPD_WC_ATTR &a, uint32_t *l) noexcept {
    TAM_RPD_OutputWideCmtyPublicData(b, r, &a, l);
}
void AsPathFilters(char *b, uint32_t r, const TAM_RPD_WC_MATCH &m, uint32_t *l) noexcept {
    TAM_RPD_OutputAspathFilterData(b, r, &m, l);
}
void CmtyFilters(char *b, uint32_t r, const TAM_RPD_WC_MATCH &m, uint32_t *l) noexcept {
    TAM_RPD_OutputCmtyFilterData(b, r, &m, l);
}
void PrefixList(char *b, uint32_t r, const TAM_RPD_WC_MATCH &m, uint32_t *l) noexcept {
    TAM_RPD_OutputPrefixFilterData(b, r, m.pstPrefixList, l);
}
void Med(char *b, uint32_t r, const TAM_RPD_WC_APPLY &a, uint32_t *l) noexcept {
    TAM_RPD_OutputApplyCmtyData(b, r, a.pstMed, l);
}
void AsPathAction(char *b, uint32_t r, const TAM_RPD_WC_APPLY &a, uint32_t *l) noexcept {
    TAM_RPD_OutputAsPathApplyData(b, r, a.pstAsPath, l);
}
void CmtyAction(char *b, uint32_t r, const TAM_RPD_WC_APPLY &a, uint32_t *l) noexcept {
    TAM_RPD_OutputCommunityApplyData(b, r, a.pstCmty, l);
}

}  // namespace

constexpr PolicyPieces kPieces = {
    {TAM_RPD_DISP_PUBLIC, Always, Container},
    {{TAM_RPD_DISP_ASPATH_FILTER, HasAsPathFilters, AsPathFilters},
     {TAM_RPD_DISP_CMTY_FILTER, HasCmtyFilters, CmtyFilters},
     {TAM_RPD_DISP_IP_PREFIX, HasPrefixList, PrefixList}},
    {{TAM_RPD_DISP_MED, HasMed, Med},
     {TAM_RPD_DISP_ASPATH_APPLY, HasAsPathAction, AsPathAction},
     {TAM_RPD_DISP_CMTY_APPLY, HasCmtyAction, CmtyAction}},
};

// The table follows the order of the public list of pieces.
#define TAM_PIECE_CODE(code, handler, name) code,
constexpr uint32_t kListed[] = {TAM_RPD_POLICY_PIECES(TAM_PIECE_CODE)};
#undef TAM_PIECE_CODE
static_assert(sizeof(kListed) / sizeof(kListed[0]) == 7);
static_assert(kPieces.container.code == kListed[0] && kPieces.match[0].code == kListed[1] &&
              kPieces.match[1].code == kListed[2] && kPieces.match[2].code == kListed[3] &&
              kPieces.apply[0].code == kListed[4] && kPieces.apply[1].code == kListed[5] &&
              kPieces.apply[2].code == kListed[6]);

}  // namespace tam
