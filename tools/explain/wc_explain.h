// A second reading of Wide Community attribute values, by the same acceptance
// rules as the plug-in's decoder, for what the plug-in's status cannot say:
// which rule a refused value breaks and at which byte, and the structure of
// an accepted one as it stands on the wire (atom and action order, community
// filters as groups, leading octets, the bytes the decoder passes over).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rpdhost {

struct WcPrefixEntry {
    uint8_t firstOctet = 0;  // match type in the high nibble; the low nibble is not interpreted
    uint32_t addr = 0;
    uint8_t mask = 0, ge = 0, le = 0;
    uint8_t MatchType() const { return firstOctet >> 4; }
};

struct WcCommunities {
    uint8_t lead = 0;  // leading octet, carried but not interpreted
    std::vector<uint32_t> values;
    void Clear() {
        lead = 0;
        values.clear();
    }
};

// One match atom of the route-attribute sub-TLV, in wire order.
struct WcAtom {
    enum Kind : uint8_t { Prefixes = 1, AsPath = 2, Communities = 3 } kind = AsPath;
    size_t offset = 0;  // of its header, in the attribute value
    std::vector<WcPrefixEntry> prefixes;
    std::string asPath;
    WcCommunities communities;
    // As new, the storage of its lists kept for the next reading.
    void Clear() {
        kind = AsPath;
        offset = 0;
        prefixes.clear();
        asPath.clear();
        communities.Clear();
    }
};

struct WcAsPathAdd {
    uint32_t as = 0;
    uint8_t repeat = 0;
};

// One action of the Parameter TLV, in wire order.
struct WcAction {
    enum Kind : uint8_t { Med = 1, AsPathAdd = 2, CommunityAdd = 3 } kind = Med;
    size_t offset = 0;
    uint8_t medOperation = 0;  // 1 add, 2 subtract, anything else set
    uint32_t medValue = 0;
    std::vector<WcAsPathAdd> asPath;
    WcCommunities communities;
    size_t ignoredBytes = 0;  // after the last whole community value
    void Clear() {
        kind = Med;
        offset = 0;
        medOperation = 0;
        medValue = 0;
        asPath.clear();
        communities.Clear();
        ignoredBytes = 0;
    }
};

struct WcPolicy {
    uint16_t containerType = 0;
    uint8_t flags = 0, hopCount = 0;
    uint16_t containerLength = 0;
    uint32_t community = 0, sourceAs = 0, contextAs = 0;
    std::vector<WcAtom> atoms;
    std::vector<WcAction> actions;
    // Accepted, though not as a writer would put it: a last action header whose value is absent.
    bool trailingActionHeader = false;
};

struct WcVerdict {
    bool accepted = false;
    std::string rule;  // for a refusal: the rule broken and the value that broke it
    size_t at = 0;     // the byte of the attribute value where it shows
};

// Reads `n` bytes of an attribute value. The verdict is the plug-in's: a
// value this accepts is one its decoder accepts, and the reverse.
WcVerdict ExplainWideCommunity(const uint8_t *value, size_t n, WcPolicy &out);

}  // namespace rpdhost
