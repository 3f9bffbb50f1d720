// Shared pieces of the text renderers: the write cursor and the table of a
// policy's pieces.
#ifndef TAM_RPD_RENDER_INTERNAL_H
#define TAM_RPD_RENDER_INTERNAL_H

#include "../widecmty/wc_internal.h"

namespace tam {

// A write position in a caller's text room: where the next text goes, the
// room left and the length counted so far. The renderers differ only in the
// rules its operations name.
class TextCursor {
public:
    TextCursor(char *buf, uint32_t room) noexcept : start_(buf), cur_(buf), room_(room) {}
    char *at() const noexcept { return cur_; }
    uint32_t room() const noexcept { return room_; }
    uint32_t length() const noexcept { return static_cast<uint32_t>(cur_ - start_); }

    // Formats at the cursor (at most room - 1 characters and a NUL, through
    // the host's formatter) and counts it; false, with nothing counted, when
    // it does not fit.
    template <typename... Args> bool Put(const char *format, Args... args) noexcept {
        if (room_ == 0) {
            return false;
        }
        const int r = snprintf_s(cur_, room_, room_ - 1, format, args...);
        if (r <= 0) {
            return false;
        }
        Skip(static_cast<uint32_t>(r));
        return true;
    }
    // Counts `n` bytes another writer left at the cursor, no further than the room.
    void Skip(uint32_t n) noexcept {
        if (n > room_) {
            n = room_;
        }
        cur_ += n;
        room_ -= n;
    }
    // The longest part of an `n`-byte text that fits with a NUL after it: a
    // text that does not fit is cut.
    uint32_t Fit(uint32_t n) const noexcept { return room_ < n + 1 ? room_ - 1 : n; }
    // A NUL after the text, counted as part of it (needs room for one byte).
    void CountedNul() noexcept {
        *cur_ = '\0';
        Skip(1);
    }
    // The last counted character becomes `c` and stays counted.
    void EndLastWith(char c) noexcept {
        if (cur_ != start_) {
            cur_[-1] = c;
        }
    }
    // The last counted character stays in the buffer but is no longer
    // counted, so a following text replaces it (a trailing blank).
    void Uncount() noexcept {
        if (cur_ != start_) {
            --cur_;
            ++room_;
        }
    }
    // A NUL at the cursor, not counted, when there is room for it.
    void Terminate() noexcept {
        if (room_ != 0) {
            *cur_ = '\0';
        }
    }

private:
    char *start_;
    char *cur_;
    uint32_t room_;
};

// One piece of a policy: its display code, whether a decoded record holds it,
// and its renderer. `Part` is the record the piece lives in.
template <typename Part> struct Piece {
    uint32_t code;
    bool (*present)(const Part &) noexcept;
    void (*render)(char *buf, uint32_t room, const Part &part, uint32_t *len) noexcept;
};

// The seven pieces in the order the policy text shows them: the container,
// the Target section's match conditions, the Parameter section's actions.
// The composite text and the display handlers both render from this table.
struct PolicyPieces {
    Piece<TAM_RPD_WC_ATTR> container;
    Piece<TAM_RPD_WC_MATCH> match[3];
    Piece<TAM_RPD_WC_APPLY> apply[3];
};
extern const PolicyPieces kPieces;

template <typename Part> const Part &PartOf(const TAM_RPD_WC_ATTR &a) noexcept;
template <> inline const TAM_RPD_WC_ATTR &PartOf(const TAM_RPD_WC_ATTR &a) noexcept { return a; }
template <> inline const TAM_RPD_WC_MATCH &PartOf(const TAM_RPD_WC_ATTR &a) noexcept { return a.stMatch; }
template <> inline const TAM_RPD_WC_APPLY &PartOf(const TAM_RPD_WC_ATTR &a) noexcept { return a.stApply; }

// A section of the composite text: its header, then each piece its part
// holds. False, with nothing counted, when there is no room or the header
// does not fit; the text already before the section then ends in a line feed.
template <typename Part, size_t N>
bool RenderSection(TextCursor &t, const char *header, const Piece<Part> (&pieces)[N], const Part &part) noexcept {
    if (t.room() == 0) {
        return false;
    }
    if (!t.Put("%s", header)) {
        t.EndLastWith('\n');
        return false;
    }
    for (const Piece<Part> &p : pieces) {
        if (p.present(part)) {
            uint32_t len = 0;
            p.render(t.at(), t.room(), part, &len);
            t.Skip(len);
        }
    }
    return true;
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
