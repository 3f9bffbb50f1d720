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

// A section on its own: its length is added to *len, which is zeroed when
// nothing could be written.
template <typename Part, size_t N>
void OutputSection(char *buf, uint32_t room, const char *header, const tam::Piece<Part> (&pieces)[N],
                   const Part *part, uint32_t *len) noexcept {
    if (len == nullptr) {
        return;
    }
    tam::TextCursor t(buf, room);
    if (part == nullptr || buf == nullptr || !tam::RenderSection(t, header, pieces, *part)) {
        *len = 0;
        return;
    }
    *len += t.length();
}

}  // namespace

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
    tam::TextCursor t(pcBuf, ulRoom);
    uint32_t len = 0;
    tam::kPieces.container.render(t.at(), t.room(), *pstAttr, &len);
    t.Skip(len);
    (void)tam::RenderSection(t, tam::text::kTargetHeader, tam::kPieces.match, pstAttr->stMatch);
    (void)tam::RenderSection(t, tam::text::kParameterHeader, tam::kPieces.apply, pstAttr->stApply);
    // A text that fills the room exactly already ends with a NUL.
    t.Terminate();
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
    tam::TextCursor t(pcBuf, ulRoom);
    t.Skip(static_cast<uint32_t>(count));
    if (pstAttr->ulCommunity == TAM_RPD_WC_MATCH_AND_NOADV) {
        (void)t.Put(tam::text::kCommunityNoAdv, pstAttr->ulCommunity);
    } else if (pstAttr->ulCommunity == TAM_RPD_WC_MATCH_AND_SET) {
        (void)t.Put(tam::text::kCommunitySet, pstAttr->ulCommunity);
    }
    (void)t.Put(tam::text::kSourceAs, pstAttr->ulSrcAsNum);
    (void)t.Put(tam::text::kContextAs, pstAttr->ulContextAsNum);
    *pulLen += t.length();
}

void TAM_RPD_OutputWideCmtyMatchData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_MATCH *pstMatch,
                                     uint32_t *pulLen) {
    OutputSection(pcBuf, ulRoom, tam::text::kTargetHeader, tam::kPieces.match, pstMatch, pulLen);
}

void TAM_RPD_OutputWideCmtyApplyData(char *pcBuf, uint32_t ulRoom, const TAM_RPD_WC_APPLY *pstApply,
                                     uint32_t *pulLen) {
    OutputSection(pcBuf, ulRoom, tam::text::kParameterHeader, tam::kPieces.apply, pstApply, pulLen);
}

}  // extern "C"
