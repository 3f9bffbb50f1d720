// Takes a BGP UPDATE apart into what the RPD plug-in handles: the NLRI fields
// of MP_REACH_NLRI / MP_UNREACH_NLRI for AFI 1 / SAFI 75 and the Wide
// Community attribute value. Everything else is counted and skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rpdhost {

// A byte range of the message.
struct Span {
    size_t offset = 0;
    size_t length = 0;
    bool present = false;
};

struct UpdateParts {
    uint8_t type = 0;    // BGP message type
    Span reach;          // RPD NLRI field of MP_REACH_NLRI
    Span unreach;        // RPD NLRI field of MP_UNREACH_NLRI
    Span wideCommunity;  // Wide Community attribute value
    Span ipv4Nlri;       // the UPDATE's own NLRI field: the IPv4 unicast prefixes it announces
    uint32_t otherAttributes = 0;
    uint32_t otherFamilies = 0;  // MP_REACH / MP_UNREACH of another AFI/SAFI
    bool ipv4Routes = false;     // plain IPv4 withdrawn routes or NLRI present
};

struct WalkError {
    size_t offset = 0;  // in the message
    std::string what;
};

// `msg` is a whole BGP message whose header the reader already checked;
// `wcCode` the Wide Community attribute's code.
bool SplitMessage(const uint8_t *msg, size_t len, uint8_t wcCode, UpdateParts &out, WalkError &err);

}  // namespace rpdhost
