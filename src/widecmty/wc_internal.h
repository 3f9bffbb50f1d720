// Helpers shared by everything that works on Wide Community records.
#ifndef TAM_RPD_WC_INTERNAL_H
#define TAM_RPD_WC_INTERNAL_H

#include "../frame/internal.h"

namespace tam {

// Sizes of the sub-record blocks, from their layouts: the fixed part up to
// the element array, then `count` elements (the AS-path filter's text counts
// in bytes beyond its whole fixed record).
constexpr uint32_t PrefixListSize(uint32_t count) noexcept {
    return static_cast<uint32_t>(offsetof(TAM_RPD_PREFIX_LIST, astEntry) + count * sizeof(TAM_RPD_PREFIX_ENTRY));
}
constexpr uint32_t AsPathFilterSize(uint32_t textLen) noexcept {
    return static_cast<uint32_t>(sizeof(TAM_RPD_ASPATH_FILTER) + textLen);
}
constexpr uint32_t CmtyFilterSize(uint32_t count) noexcept {
    return static_cast<uint32_t>(offsetof(TAM_RPD_CMTY_FILTER, aulValue) + count * sizeof(uint32_t));
}
constexpr uint32_t AsPathApplySize(uint32_t count) noexcept {
    return static_cast<uint32_t>(offsetof(TAM_RPD_ASPATH_APPLY, astEntry) + count * sizeof(TAM_RPD_ASPATH_APPLY_ENTRY));
}
constexpr uint32_t CmtyApplySize(uint32_t count) noexcept {
    return static_cast<uint32_t>(offsetof(TAM_RPD_CMTY_APPLY, aulValue) + count * sizeof(uint32_t));
}
// The host sees these blocks' sizes: they are fixed.
static_assert(PrefixListSize(3) == 4 + 8 * 3, "prefix list block");
static_assert(AsPathFilterSize(5) == 5 + 32, "AS-path filter block");
static_assert(CmtyFilterSize(3) == 28 + 4 * 3, "community filter block");
static_assert(AsPathApplySize(3) == 4 + 8 * 3, "AS-path action block");
static_assert(CmtyApplySize(3) == (3 + 1) * 4, "community action block");
static_assert(sizeof(TAM_RPD_MED_APPLY) == 8, "MED action block");

inline constexpr uint32_t kWcHeaderLen = 18;  // container header
inline constexpr uint32_t kTlvHeaderLen = 3;

inline const uint8_t *RawData(const TAM_RPD_WC_ATTR *rec) noexcept {
    return reinterpret_cast<const uint8_t *>(rec) + TAM_RPD_WC_RAW_OFFSET;
}
inline uint8_t *RawData(TAM_RPD_WC_ATTR *rec) noexcept {
    return reinterpret_cast<uint8_t *>(rec) + TAM_RPD_WC_RAW_OFFSET;
}

// The stored record of a route view, when its length is the one the record
// itself claims (usRawLen + 136, compared on the low 16 bits as the host's
// attribute length is kept). A length below the fixed part cannot satisfy the
// relation, so the record is not read at all then.
inline const TAM_RPD_WC_ATTR *StoredRecord(const uint8_t *attr, uint32_t attrLen) noexcept {
    if (attr == nullptr) {
        return nullptr;
    }
    const uint32_t low = attrLen & 0xFFFFu;
    if (low < TAM_RPD_WC_FIXED_LEN) {
        return nullptr;
    }
    const auto *rec = reinterpret_cast<const TAM_RPD_WC_ATTR *>(attr);
    return static_cast<uint32_t>(rec->usRawLen) + TAM_RPD_WC_FIXED_LEN == low ? rec : nullptr;
}

// A fixed part on the stack into which stored raw bytes are decoded again; its
// sub-records are released on every way out of the scope.
class TempRecord {
public:
    TempRecord() noexcept { Zero(rec_); }
    TempRecord(const TempRecord &) = delete;
    TempRecord &operator=(const TempRecord &) = delete;
    ~TempRecord() { TAM_RPD_FreeWideCmtyData(&rec_); }

    // Decodes the raw bytes of a stored record, charging its owner.
    uint32_t DecodeFrom(const TAM_RPD_WC_ATTR *stored) noexcept {
        return TAM_RPD_ParsePktWideCommunity(&rec_, RawData(stored), stored->usRawLen, stored->pOwner);
    }
    TAM_RPD_WC_ATTR &rec() noexcept { return rec_; }

private:
    TAM_RPD_WC_ATTR rec_;
};

// A freshly allocated record block (fixed part + raw bytes) and its sub-records,
// released together on every path once the host has its copy.
class RecordBlock {
public:
    RecordBlock(const RecordBlock &) = delete;
    RecordBlock &operator=(const RecordBlock &) = delete;
    // Allocates and zeroes len + 136 bytes; the raw bytes and owner are set.
    RecordBlock(const uint8_t *raw, uint16_t len, TAM_RPD_INSTANCE *inst) noexcept
        : block_(AllocZeroed(inst->ulModuleId, len + TAM_RPD_WC_FIXED_LEN)) {
        if (TAM_RPD_WC_ATTR *r = rec()) {
            r->usRawLen = len;
            r->pOwner = inst;
            (void)memcpy_s(RawData(r), len, raw, len);
        }
    }
    ~RecordBlock() {
        TAM_RPD_FreeWideCmtyData(rec());
    }
    TAM_RPD_WC_ATTR *rec() const noexcept { return block_.as<TAM_RPD_WC_ATTR>(); }

    // Hands a byte copy of the whole record to the host as a type-11 attribute.
    uint32_t Output(TAM_RPD_OUTPUT_BUF **ppstOut, uint64_t moduleId) const noexcept;

private:
    HostBlock block_;
};

// Descriptor of an attribute-only output buffer with flag 0 and type 11.
inline void DescribeAttr(TAM_RPD_OUTPUT_DESC &desc, const uint8_t *attr, uint16_t len) noexcept {
    ClearLocal(desc);
    desc.ucAttrFlag = 0;
    desc.ucAttrType = TAM_RPD_ATTR_TYPE_WC;
    desc.usAttrLen = len;
    desc.pucAttr = attr;
}

// Writes the raw value of a route's stored record at the write position.
inline uint32_t WriteStoredRaw(const TAM_RPD_ROUTE_VIEW &view, uint8_t **ppucCursor, uint32_t room) noexcept {
    const TAM_RPD_WC_ATTR *rec = StoredRecord(view.pucAttr, view.ulAttrLen);
    if (rec == nullptr) {
        return TAM_RPD_ERR_PKT_MALFORMED;
    }
    if (rec->usRawLen > room) {
        return TAM_RPD_ERR_BUF_SHORT;
    }
    (void)memcpy_s(*ppucCursor, room, RawData(rec), rec->usRawLen);
    *ppucCursor += rec->usRawLen;
    return TAM_RPD_OK;
}

inline uint32_t RecordBlock::Output(TAM_RPD_OUTPUT_BUF **ppstOut, uint64_t moduleId) const noexcept {
    TAM_RPD_OUTPUT_DESC desc;
    DescribeAttr(desc, reinterpret_cast<const uint8_t *>(rec()),
                 static_cast<uint16_t>(rec()->usRawLen + TAM_RPD_WC_FIXED_LEN));
    return TAM_RPD_OutputData(ppstOut, &desc, moduleId);
}

}  // namespace tam

#endif
