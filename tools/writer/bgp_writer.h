// Writers of BGP messages carrying RPD routes, shared by rpd-host, the
// tests, the fuzz seeds and the benchmarks.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "byte_writer.h"
#include "wc_writer.h"
#include "wire.h"

namespace rpdwire {

struct RpdNlri {
    uint32_t distinguisher = 0;
    uint32_t peer = 0;  // host order
    uint8_t policyType = kRpdExportPolicy;
};

struct Update {
    std::vector<RpdNlri> announce;
    std::vector<RpdNlri> withdraw;
    bool hasPolicy = false;
    Bytes wideCommunity;  // attribute value (built by Encode, or raw bytes)
    uint32_t nextHop = 0;
    uint32_t originAs = 0;  // AS_PATH of one AS when non-zero
    uint8_t wcAttrCode = kAttrWideCommunity;
    // IPv4 unicast prefixes the message announces beside (its NLRI field), as address and length.
    std::vector<std::pair<uint32_t, uint8_t>> ipv4;
};

// A whole BGP message: marker, length and type before `body`.
Bytes BgpMessage(uint8_t type, const Bytes &body);
void AppendNlri(Bytes &out, const RpdNlri &n);
// A path attribute; the extended-length flag follows the value's size.
void AppendPathAttr(Bytes &out, uint8_t flags, uint8_t code, const Bytes &value);
Bytes BuildUpdate(const Update &u);

}  // namespace rpdwire
