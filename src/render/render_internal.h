// Shared pieces of the text renderers.
#ifndef TAM_RPD_RENDER_INTERNAL_H
#define TAM_RPD_RENDER_INTERNAL_H

#include "../widecmty/wc_internal.h"

namespace tam {

// Formats at `dest` within `room` bytes (at most room - 1 characters and a
// NUL). Returns the characters written, or a negative value when the text
// did not fit or there is no room at all.
#define TAM_FORMAT(dest, room, ...) \
    ((room) == 0 ? -1 : snprintf_s((dest), (room), (room) - 1, __VA_ARGS__))

// Target and Parameter sections, for use inside the composite text: when
// `follows` is set the section comes after text already in the caller's
// buffer, and a header that does not fit turns the character before it into
// a line feed.
void OutputMatchSection(char *buf, uint32_t room, const TAM_RPD_WC_MATCH *match, uint32_t *len,
                        bool follows) noexcept;
void OutputApplySection(char *buf, uint32_t room, const TAM_RPD_WC_APPLY *apply, uint32_t *len,
                        bool follows) noexcept;

inline bool HasAsPathFilters(const TAM_RPD_WC_ATTR &a) noexcept { return a.stMatch.stAsPathList.ulCount != 0; }
inline bool HasCmtyFilters(const TAM_RPD_WC_ATTR &a) noexcept { return a.stMatch.stCmtyList.ulCount != 0; }
inline bool HasPrefixList(const TAM_RPD_WC_ATTR &a) noexcept {
    return a.stMatch.pstPrefixList != nullptr && a.stMatch.pstPrefixList->usCount != 0;
}
inline bool HasMed(const TAM_RPD_WC_ATTR &a) noexcept { return a.stApply.pstMed != nullptr; }
inline bool HasAsPathAction(const TAM_RPD_WC_ATTR &a) noexcept {
    return a.stApply.pstAsPath != nullptr && a.stApply.pstAsPath->ucCount != 0;
}
inline bool HasCmtyAction(const TAM_RPD_WC_ATTR &a) noexcept {
    return a.stApply.pstCmty != nullptr && a.stApply.pstCmty->ucCount != 0;
}

// Walks the nodes of a host list in order until the head comes round again or a link is null.
template <typename Node, typename Fn> inline bool ForEachNode(const TAM_RPD_DLL_LIST &list, Fn fn) noexcept {
    for (const TAM_RPD_DLL_NODE *n = list.stHead.pNext; n != nullptr && n != &list.stHead; n = n->pNext) {
        if (!fn(*reinterpret_cast<const Node *>(n))) {
            return false;
        }
    }
    return true;
}

}  // namespace tam

#endif
