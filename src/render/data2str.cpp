// Route-to-string: the NLRI line, the Wide Community block and its sections.
#include "render_internal.h"
#include "texts.h"

namespace {

constexpr uint32_t kNlriWorkLen = 256;
constexpr uint32_t kContainerScratchLen = 1000;
constexpr uint32_t kHeaderScratchLen = 256;

// Borrows the instance's work buffer (or host memory) for one call.
class ScratchLease {
public:
    ScratchLease(TAM_RPD_INSTANCE *inst, uint32_t size) noexcept : inst_(inst), p_(TAM_RPD_Malloc(inst, size)) {}
    ScratchLease(const ScratchLease &) = delete;
    ScratchLease &operator=(const ScratchLease &) = delete;
    ~ScratchLease() {
        if (p_ != nullptr) {
            TAM_RPD_Free(&p_, inst_);
        }
    }
    char *get() const noexcept { return static_cast<char *>(p_); }

private:
    TAM_RPD_INSTANCE *inst_;
    void *p_;
};

// A section header that does not fit ends the text before it: inside the
// composite text the character just before the section becomes a line feed.
bool SectionHeader(char *buf, uint32_t room, const char *header, uint32_t *len, bool follows, int &count) noexcept {
    count = TAM_FORMAT(buf, room, "%s", header);
    if (count <= 0) {
        *len = 0;
        if (follows) {
            buf[-1] = '\n';
        }
        return false;
    }
    return true;
}

// Renders one item at the cursor and moves the cursor past what it counted.
template <typename Item, typename Renderer>
void Step(char *&cur, uint32_t &room, uint32_t &total, const Item *item, Renderer render) noexcept {
    uint32_t itemLen = 0;
    render(cur, room, item, &itemLen);
    if (itemLen > room) {
        itemLen = room;
    }
    total += itemLen;
    cur += itemLen;
    room -= itemLen;
}

}  // namespace

namespace tam {

void OutputMatchSection(char *buf, uint32_t room, const TAM_RPD_WC_MATCH *match, uint32_t *len,
                        bool follows) noexcept {
    if (len == nullptr) {
        return;
    }
    if (match == nullptr || buf == nullptr || room == 0) {
        *len = 0;
        return;
    }
    int count = 0;
    if (!SectionHeader(buf, room, text::kTargetHeader, len, follows, count)) {
        return;
    }
    char *cur = buf + count;
    uint32_t left = room - static_cast<uint32_t>(count);
    uint32_t total = static_cast<uint32_t>(count);
    if (match->stAsPathList.ulCount != 0) {
        Step(cur, left, total, match, TAM_RPD_OutputAspathFilterData);
    }
    if (match->stCmtyList.ulCount != 0) {
        Step(cur, left, total, match, TAM_RPD_OutputCmtyFilterData);
    }
    if (match->pstPrefixList != nullptr && match->pstPrefixList->usCount != 0) {
        Step(cur, left, total, match->pstPrefixList, TAM_RPD_OutputPrefixFilterData);
    }
    *len += total;
}

void OutputApplySection(char *buf, uint32_t room, const TAM_RPD_WC_APPLY *apply, uint32_t *len,
                        bool follows) noexcept {
    if (len == nullptr) {
        return;
    }
    if (apply == nullptr || buf == nullptr || room == 0) {
        *len = 0;
        return;
    }
    int count = 0;
    if (!SectionHeader(buf, room, text::kParameterHeader, len, follows, count)) {
        return;
    }
    char *cur = buf + count;
    uint32_t left = room - static_cast<uint32_t>(count);
    uint32_t total = static_cast<uint32_t>(count);
    if (apply->pstMed != nullptr) {
        Step(cur, left, total, apply->pstMed, TAM_RPD_OutputApplyCmtyData);
    }
    if (apply->pstAsPath != nullptr && apply->pstAsPath->ucCount != 0) {
        Step(cur, left, total, apply->pstAsPath, TAM_RPD_OutputAsPathApplyData);
    }
    if (apply->pstCmty != nullptr && apply->pstCmty->ucCount != 0) {
        Step(cur, left, total, apply->pstCmty, TAM_RPD_OutputCommunityApplyData);
    }
    *len += total;
}

}  // namespace tam

extern "C" {

const TAM_RPD_TBL_ENTRY *TAM_RPD_GetData2StrEntry(uint32_t ulType) {
    return tam::FindEntry(g_astTAM_RPD_DATA2STR_TBL, ulType);
}

uint32_t TAM_RPD_Data2Str(const TAM_RPD_ROUTE_VIEW *pstView, uint32_t ulType, char *pcBuf, uint32_t ulRoom,
                          uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pcBuf != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont2 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    return tam::Dispatch<TAM_RPD_PFN_STR_RENDERER>(g_astTAM_RPD_DATA2STR_TBL, ulType, TAM_RPD_ERR_NO_DATA2STR, pstView,
                                                   pcBuf, ulRoom, pulCont1, pulCont2, pstInst);
}

uint32_t TAM_RPD_MpNlriData2Str(const TAM_RPD_ROUTE_VIEW *pstView, char *pcBuf, uint32_t ulRoom, uint32_t *pulCont1,
                                uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pcBuf != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont2 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pstInst != nullptr, TAM_RPD_ERR_PARA);
    if (pstView->pucKey == nullptr || pstView->ulKeyLen != TAM_RPD_ROUTE_KEY_LEN) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    TAM_RPD_ROUTE_KEY key;
    tam::ReadKey(pstView->pucKey, key);
    if (key.ucPolicyType != TAM_RPD_POLICY_EXPORT || key.ucAddrLen != 4) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    ScratchLease work(pstInst, kNlriWorkLen);
    TAM_REQUIRE(work.get() != nullptr, TAM_RPD_ERR_NOMEM);
    (void)memset_s(work.get(), kNlriWorkLen, 0, kNlriWorkLen);
    char addr[16];
    (void)memset_s(addr, sizeof(addr), 0, sizeof(addr));
    (void)PEX_IpAddrToStr(tam::PeerWord(key), addr);
    int count = snprintf_s(work.get(), kNlriWorkLen, kNlriWorkLen - 1, tam::text::kNlriLine, addr,
                           key.ulDistinguisher);
    if (count < 0) {
        return TAM_RPD_ERR;
    }
    // No terminator is copied; a text longer than the room is refused by the copy service.
    (void)memcpy_s(pcBuf, ulRoom, work.get(), static_cast<size_t>(count));
    *pulCont1 = 0;
    *pulCont2 = 0;
    return TAM_RPD_OK;
}

uint32_t TAM_RPD_WideCommunity2Str(const TAM_RPD_ROUTE_VIEW *pstView, char *pcBuf, uint32_t ulRoom,
                                   uint32_t *pulCont1, uint32_t *pulCont2, TAM_RPD_INSTANCE *pstInst) {
    (void)pstInst;
    TAM_REQUIRE(pstView != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pcBuf != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont1 != nullptr, TAM_RPD_ERR_PARA);
    TAM_REQUIRE(pulCont2 != nullptr, TAM_RPD_ERR_PARA);
    const TAM_RPD_WC_ATTR *stored = tam::StoredRecord(pstView->pucAttr, pstView->ulAttrLen);
    if (stored == nullptr || pstView->ulAttrLen > 0xFFFFu) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    tam::TempRecord tmp;
    if (tmp.DecodeFrom(stored) != TAM_RPD_OK) {
        return TAM_RPD_ERR;
    }
    TAM_RPD_OutputWideCmtyData(pcBuf, ulRoom, &tmp.rec());
    *pulCont2 = 0;
    return TAM_RPD_OK;
}

void TAM_RPD_OutputWideCmtyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_ATTR *pstAttr) {
    if (pcBuf == nullptr || ulRoom == 0) {
        return;
    }
    if (pstAttr == nullptr) {
        pcBuf[0] = '\0';
        return;
    }
    char *cur = pcBuf;
    uint32_t room = ulRoom;
    auto advance = [&](uint32_t len) {
        if (len > room) {
            len = room;
        }
        cur += len;
        room -= len;
    };
    uint32_t len = 0;
    TAM_RPD_OutputWideCmtyPublicData(cur, room, pstAttr, &len);
    advance(len);
    len = 0;
    tam::OutputMatchSection(cur, room, &pstAttr->stMatch, &len, cur != pcBuf);
    advance(len);
    len = 0;
    tam::OutputApplySection(cur, room, &pstAttr->stApply, &len, cur != pcBuf);
    advance(len);
    // A text that fills the room exactly already ends with a NUL.
    if (room != 0) {
        *cur = '\0';
    }
}

void TAM_RPD_OutputWideCmtyPublicData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_ATTR *pstAttr, uint32_t *pulLen) {
    TAM_REQUIRE(pulLen != nullptr, );
    if (pstAttr == nullptr || pcBuf == nullptr) {
        *pulLen = 0;
        return;
    }
    char scratch[kContainerScratchLen];
    (void)memset_s(scratch, sizeof(scratch), 0, sizeof(scratch));
    // The block is written only when its longest possible form fits.
    int worst = snprintf_s(scratch, sizeof(scratch), sizeof(scratch) - 1, "%s", tam::text::kContainerWorstCase);
    if (worst <= 0 || static_cast<uint32_t>(worst) > ulRoom) {
        *pulLen = 0;
        return;
    }
    int count = snprintf_s(scratch, kHeaderScratchLen, kHeaderScratchLen - 1, tam::text::kContainerHeader,
                           pstAttr->ucFlags, pstAttr->ucHopCount);
    if (count <= 0) {
        *pulLen = 0;
        return;
    }
    (void)memcpy_s(pcBuf, ulRoom, scratch, static_cast<size_t>(count));
    char *cur = pcBuf + count;
    uint32_t room = ulRoom - static_cast<uint32_t>(count);
    uint32_t total = static_cast<uint32_t>(count);
    auto line = [&](int r) {
        if (r > 0) {
            total += static_cast<uint32_t>(r);
            cur += r;
            room -= static_cast<uint32_t>(r);
        }
    };
    if (pstAttr->ulCommunity == TAM_RPD_WC_MATCH_AND_NOADV) {
        line(TAM_FORMAT(cur, room, tam::text::kCommunityNoAdv, pstAttr->ulCommunity));
    } else if (pstAttr->ulCommunity == TAM_RPD_WC_MATCH_AND_SET) {
        line(TAM_FORMAT(cur, room, tam::text::kCommunitySet, pstAttr->ulCommunity));
    }
    line(TAM_FORMAT(cur, room, tam::text::kSourceAs, pstAttr->ulSrcAsNum));
    line(TAM_FORMAT(cur, room, tam::text::kContextAs, pstAttr->ulContextAsNum));
    *pulLen += total;
}

void TAM_RPD_OutputWideCmtyMatchData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                     uint32_t *pulLen) {
    tam::OutputMatchSection(pcBuf, ulRoom, pstMatch, pulLen, false);
}

void TAM_RPD_OutputWideCmtyApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_APPLY *pstApply,
                                     uint32_t *pulLen) {
    tam::OutputApplySection(pcBuf, ulRoom, pstApply, pulLen, false);
}

}  // extern "C"
