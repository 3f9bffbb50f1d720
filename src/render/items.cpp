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
    uint32_t used = 0;
    uint32_t value = 0;
    while (next(value)) {
        int r = TAM_FORMAT(work + used, kWorkLen - used, "%u ", value);
        if (r <= 0) {
            work[used] = '\0';
            break;
        }
        used += static_cast<uint32_t>(r);
    }
    int r = TAM_FORMAT(buf, room, "%sadditive", work);
    *len = r > 0 ? static_cast<uint32_t>(r) : 0;
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
    char *cur = pcBuf;
    uint32_t room = ulRoom;
    tam::ForEachNode<TAM_RPD_ASPATH_FILTER>(list, [&](const TAM_RPD_ASPATH_FILTER &f) {
        if (room == 0) {
            return false;
        }
        // Each expression is followed by a counted NUL; in too little room it is cut.
        const uint16_t n = room < static_cast<uint32_t>(f.usLen) + 1 ? static_cast<uint16_t>(room - 1) : f.usLen;
        (void)TAM_RPD_UCHAR2Str(cur, room, reinterpret_cast<const uint8_t *>(f.acText), n);
        cur += n;
        room -= n;
        *cur = '\0';
        cur += 1;
        room -= 1;
        *pulLen = static_cast<uint32_t>(cur - pcBuf);
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
    char *cur = pcBuf;
    uint32_t room = ulRoom;
    const bool complete = tam::ForEachNode<TAM_RPD_CMTY_FILTER>(list, [&](const TAM_RPD_CMTY_FILTER &f) {
        for (uint16_t i = 0; i < f.usCount; ++i) {
            int r = TAM_FORMAT(cur, room, "%u:%u ", f.aulValue[i] >> 16, f.aulValue[i] & 0xFFFFu);
            if (r <= 0) {
                return false;
            }
            cur += r;
            room -= static_cast<uint32_t>(r);
        }
        return true;
    });
    const uint32_t used = static_cast<uint32_t>(cur - pcBuf);
    if (!complete) {
        // The text ends at the last complete value: its blank becomes the NUL.
        *pulLen = used;
        if (used != 0) {
            cur[-1] = '\0';
        }
        return;
    }
    // The final blank stays but is not counted, so a following text replaces it.
    *pulLen = used != 0 ? used - 1 : 0;
}

void TAM_RPD_OutputPrefixFilterData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_PREFIX_LIST *pstList,
                                    uint32_t *pulLen) {
    TAM_REQUIRE(pulLen != nullptr, );
    *pulLen = 0;
    if (pstList == nullptr || pcBuf == nullptr || pstList->usCount == 0) {
        return;
    }
    char *cur = pcBuf;
    uint32_t room = ulRoom;
    // Entries with bounds end on a digit; a blank keeps the next entry apart.
    const char *sep = "";
    for (uint16_t i = 0; i < pstList->usCount; ++i) {
        const TAM_RPD_PREFIX_ENTRY &e = pstList->astEntry[i];
        const uint32_t sepLen = PEX_StrLen(sep);
        if (TAM_RPD_GetIfmatchPFMaxStrLenByType(e.ucMatchType) + 1u + sepLen > room) {
            break;
        }
        char addr[16];
        addr[0] = '\0';
        (void)PEX_IpAddrToStr(e.ulAddr, addr);
        int r = TAM_FORMAT(cur, room, "%s%s %u", sep, addr, e.ucMaskLen);
        if (r <= 0) {
            break;
        }
        cur += r;
        room -= static_cast<uint32_t>(r);
        switch (e.ucMatchType) {
            case 0:  // the NUL behind an exact entry is counted
                cur += 1;
                room -= 1;
                r = 0;
                sep = "";
                break;
            case 1:
                r = TAM_FORMAT(cur, room, " greater-equal %u", e.ucGreaterEqual);
                sep = " ";
                break;
            case 2:
                r = TAM_FORMAT(cur, room, " less-equal %u", e.ucLessEqual);
                sep = " ";
                break;
            case 3:
                r = TAM_FORMAT(cur, room, " greater-equal %u less-equal %u", e.ucGreaterEqual, e.ucLessEqual);
                sep = " ";
                break;
            default:
                r = 0;
                sep = "";
                break;
        }
        if (r > 0) {
            cur += r;
            room -= static_cast<uint32_t>(r);
        }
    }
    *pulLen = static_cast<uint32_t>(cur - pcBuf);
}

void TAM_RPD_OutputApplyCmtyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_MED_APPLY *pstMed, uint32_t *pulLen) {
    if (pulLen == nullptr) {
        return;
    }
    if (pcBuf == nullptr || pstMed == nullptr || ulRoom < PEX_StrLen("+ 4294967295") + 1) {
        *pulLen = 0;
        return;
    }
    int r;
    switch (pstMed->ucOperation) {
        case 1:
            r = TAM_FORMAT(pcBuf, ulRoom, "+ %u", pstMed->ulValue);
            break;
        case 2:
            r = TAM_FORMAT(pcBuf, ulRoom, "- %u", pstMed->ulValue);
            break;
        default:
            r = TAM_FORMAT(pcBuf, ulRoom, "%u", pstMed->ulValue);
            break;
    }
    *pulLen = r > 0 ? static_cast<uint32_t>(r) : 0;
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
