// Renderers of single match conditions and actions.
#include "render_internal.h"

namespace {

// Longest text of one prefix entry by match type (exact, ge, le, ge+le).
const uint8_t kPrefixMaxLen[4] = {38, 55, 52, 68};

constexpr uint32_t kWorkLen = 256;

// "<n> <n> ... additive": the numbers are gathered in a work area of 256
// bytes; those that no longer fit there are left out whole, never cut.
template <typename NextNumber>
void RenderAdditive(char *buf, uint32_t room, uint32_t *len, NextNumber next) noexcept {
    char work[kWorkLen];
    (void)memset_s(work, sizeof(work), 0, sizeof(work));
    tam::TextCursor numbers(work, kWorkLen);
    uint32_t value = 0;
    while (next(value)) {
        if (!numbers.Put("%u ", value)) {
            numbers.Terminate();
            break;
        }
    }
    tam::TextCursor t(buf, room);
    (void)t.Put("%sadditive", work);
    *len = t.length();
}

}  // namespace

extern "C" {

uint8_t TAM_RPD_GetIfmatchPFMaxStrLenByType(uint8_t ucMatchType) {
    return ucMatchType < sizeof(kPrefixMaxLen) ? kPrefixMaxLen[ucMatchType] : 0;
}

uint32_t TAM_RPD_UCHAR2Str(char *pcDest, uint32_t ulRoom, const uint8_t *pucBytes, uint16_t usCount) {
    TAM_REQUIRE(pcDest != nullptr && pucBytes != nullptr, 0);
    uint32_t written = 0;
    for (uint16_t i = 0; i < usCount && written < ulRoom; ++i) {
        const uint32_t left = ulRoom - written;
        int r = snprintf_s(pcDest + written, left, left, "%c", pucBytes[i]);
        if (r <= 0) {
            break;
        }
        written += static_cast<uint32_t>(r);
    }
    return written;
}

void TAM_RPD_OutputAspathFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                    uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (pstMatch == nullptr || pcBuf == nullptr) {
        *pulLen = 0;
        return;
    }
    const TAM_RPD_DLL_LIST &list = pstMatch->stAsPathList;
    if (list.ulCount == 0 || list.stHead.pNext == nullptr) {
        return;
    }
    tam::TextCursor t(pcBuf, ulRoom);
    tam::ForEachNode<TAM_RPD_ASPATH_FILTER>(list, [&](const TAM_RPD_ASPATH_FILTER &f) {
        if (t.room() == 0) {
            return false;
        }
        // Each expression is followed by a counted NUL; in too little room it is cut.
        const uint16_t n = static_cast<uint16_t>(t.Fit(f.usLen));
        (void)TAM_RPD_UCHAR2Str(t.at(), t.room(), reinterpret_cast<const uint8_t *>(f.acText), n);
        t.Skip(n);
        t.CountedNul();
        *pulLen = t.length();
        return true;
    });
}

void TAM_RPD_OutputCmtyFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch, uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (ulRoom == 0 || pstMatch == nullptr || pcBuf == nullptr) {
        *pulLen = 0;
        return;
    }
    const TAM_RPD_DLL_LIST &list = pstMatch->stCmtyList;
    if (list.ulCount == 0 || list.stHead.pNext == nullptr) {
        *pulLen = 0;
        return;
    }
    tam::TextCursor t(pcBuf, ulRoom);
    const bool complete = tam::ForEachNode<TAM_RPD_CMTY_FILTER>(list, [&](const TAM_RPD_CMTY_FILTER &f) {
        for (uint16_t i = 0; i < f.usCount; ++i) {
            if (!t.Put("%u:%u ", f.aulValue[i] >> 16, f.aulValue[i] & 0xFFFFu)) {
                return false;
            }
        }
        return true;
    });
    if (complete) {
        // The final blank stays but is not counted, so a following text replaces it.
        t.Uncount();
    } else {
        // The text ends at the last complete value: its blank becomes the NUL.
        t.EndLastWith('\0');
    }
    *pulLen = t.length();
}

void TAM_RPD_OutputPrefixFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_PREFIX_LIST *pstList,
                                    uint32_t *pulLen) {
    TAM_REQUIRE(pulLen != nullptr, );
    *pulLen = 0;
    if (pstList == nullptr || pcBuf == nullptr || pstList->usCount == 0) {
        return;
    }
    tam::TextCursor t(pcBuf, ulRoom);
    // Entries with bounds end on a digit; a blank keeps the next entry apart.
    const char *sep = "";
    for (uint16_t i = 0; i < pstList->usCount; ++i) {
        const TAM_RPD_PREFIX_ENTRY &e = pstList->astEntry[i];
        // An entry whose longest form does not fit is left out, with all after it.
        if (TAM_RPD_GetIfmatchPFMaxStrLenByType(e.ucMatchType) + 1u + PEX_StrLen(sep) > t.room()) {
            break;
        }
        char addr[16];
        addr[0] = '\0';
        (void)PEX_IpAddrToStr(e.ulAddr, addr);
        if (!t.Put("%s%s %u", sep, addr, e.ucMaskLen)) {
            break;
        }
        sep = " ";
        switch (e.ucMatchType) {
            case 1:
                (void)t.Put(" greater-equal %u", e.ucGreaterEqual);
                break;
            case 2:
                (void)t.Put(" less-equal %u", e.ucLessEqual);
                break;
            case 3:
                (void)t.Put(" greater-equal %u less-equal %u", e.ucGreaterEqual, e.ucLessEqual);
                break;
            case 0:  // the NUL behind an exact entry is counted
                t.CountedNul();
                sep = "";
                break;
            default:
                sep = "";
                break;
        }
    }
    *pulLen = t.length();
}

void TAM_RPD_OutputApplyCmtyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_MED_APPLY *pstMed, uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (pcBuf == nullptr || pstMed == nullptr || ulRoom < PEX_StrLen("+ 4294967295") + 1) {
        *pulLen = 0;
        return;
    }
    static const char *const kForms[] = {"%u", "+ %u", "- %u"};
    tam::TextCursor t(pcBuf, ulRoom);
    (void)t.Put(kForms[pstMed->ucOperation <= 2 ? pstMed->ucOperation : 0], pstMed->ulValue);
    *pulLen = t.length();
}

void TAM_RPD_OutputAsPathApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_ASPATH_APPLY *pstAsPath,
                                   uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (pcBuf == nullptr || pstAsPath == nullptr || pstAsPath->ucCount == 0) {
        *pulLen = 0;
        return;
    }
    uint32_t entry = 0;
    uint32_t repeat = 0;
    RenderAdditive(pcBuf, ulRoom, pulLen, [&](uint32_t &value) {
        while (entry < pstAsPath->ucCount && repeat >= pstAsPath->astEntry[entry].ucRepeat) {
            ++entry;
            repeat = 0;
        }
        if (entry >= pstAsPath->ucCount) {
            return false;
        }
        ++repeat;
        value = pstAsPath->astEntry[entry].ulAsNum;
        return true;
    });
}

void TAM_RPD_OutputCommunityApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_CMTY_APPLY *pstCmty,
                                      uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (pcBuf == nullptr || pstCmty == nullptr || pstCmty->ucCount == 0) {
        *pulLen = 0;
        return;
    }
    uint32_t i = 0;
    RenderAdditive(pcBuf, ulRoom, pulLen, [&](uint32_t &value) {
        if (i >= pstCmty->ucCount) {
            return false;
        }
        value = pstCmty->aulValue[i++];
        return true;
    });
}

}  // extern "C"
