// Writer of RPD Wide Community attribute values from a structured description.
// The plug-in only reads this format; tests and the host tool build it here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "wire.h"

namespace rpdwire {

// One generic TLV (type octet, 16-bit length, value).
struct Tlv {
    uint8_t type = 0;
    Bytes value;
    // When set, written instead of value.size() (for malformed inputs).
    int32_t lengthOverride = -1;
};

struct PrefixEntry {
    uint32_t addr = 0;  // host order
    uint8_t mask = 0;
    uint8_t ge = 0;
    uint8_t le = 0;
    uint8_t matchType = 0;
    uint8_t lowNibble = 0;  // not interpreted by the decoder
};

struct AsPathRepeat {
    uint32_t asNum = 0;
    uint8_t repeat = 1;
};

// Match atoms (inside the route-attribute sub-TLV).
Tlv PrefixAtom(const std::vector<PrefixEntry> &entries);
Tlv AsPathAtom(const std::string &text);
Tlv CmtyAtom(const std::vector<uint32_t> &values, uint8_t lead = 0);
// Actions (inside the Parameter TLV).
Tlv MedAction(uint8_t op, uint32_t value);
Tlv AsPathAction(const std::vector<AsPathRepeat> &entries);
Tlv CmtyAction(const std::vector<uint32_t> &values, uint8_t lead = 0);

struct Policy {
    uint16_t containerType = 1;
    uint8_t flags = 0;
    uint8_t hopCount = 0;
    int32_t containerLen = -1;  // -1: length of what follows the 6-byte container header
    uint32_t community = kMatchAndSet;
    uint32_t srcAs = 0;
    uint32_t contextAs = 0;
    std::vector<Tlv> atoms;
    std::vector<Tlv> actions;

    // Framing knobs, for building refused shapes.
    uint8_t targetType = 1;
    uint8_t subTlvType = 0x30;
    int32_t subTlvLenDelta = 0;  // added to the correct sub-TLV length
    uint8_t excludeType = 2;
    Bytes excludeValue;
    uint8_t parameterType = 3;
    Bytes trailing;  // stray bytes after the Parameter TLV
};

void AppendTlv(Bytes &out, const Tlv &tlv);
Bytes Encode(const Policy &policy);
// The same into `out`, whose storage is kept.
void Encode(const Policy &policy, Bytes &out);

// The smallest attribute value that decodes: one AS-path atom of one character, MATCH AND NOADV.
Policy MinimalPolicy();
// A MATCH AND SET policy using every atom and action kind.
Policy FullPolicy();

}  // namespace rpdwire
