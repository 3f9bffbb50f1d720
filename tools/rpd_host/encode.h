// rpd-host encode: BGP UPDATE messages carrying RPD routes and policies, built
// from a JSON description with the shared wire writers.
#pragma once

#include <string>
#include <vector>

#include "bgp_writer.h"

namespace rpdhost {

struct EncodeJob {
    std::vector<rpdwire::Bytes> messages;
    rpdwire::Endpoints endpoints;
    uint32_t mss = 1400;
};

// Parses the description; false with `err` naming the offending field.
bool BuildFromJson(const std::string &text, EncodeJob &job, std::string &err);

}  // namespace rpdhost
