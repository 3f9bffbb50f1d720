// rpd-host encode: BGP UPDATE messages carrying RPD routes and policies, built
// from a JSON description with the shared wire writers.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "bgp_writer.h"
#include "file_writer.h"

namespace rpdhost {

struct EncodeJob {
    std::vector<rpdwire::Bytes> messages;
    rpdwire::Endpoints endpoints;
    uint32_t mss = 1400;
    uint8_t wcCode = rpdwire::kAttrWideCommunity;  // the Wide Community attribute's code in the UPDATEs
    uint32_t senderAs = 0;  // set before building: the AS that sends (origin_as by default), over session.peer_as
    std::vector<rpdwire::RpdNlri> standing;  // routes announced and not withdrawn by the end
};

// UPDATEs that withdraw `routes`, as many to a message as fit comfortably.
std::vector<rpdwire::Bytes> Withdrawals(const std::vector<rpdwire::RpdNlri> &routes);

// Parses the description; false with `err` naming the offending field.
bool BuildFromJson(const std::string &text, EncodeJob &job, std::string &err);
// rpd-host's own JSON records, already parsed: the records of one message
// (same file and message number) become one UPDATE.
bool BuildFromRecords(const std::vector<nlohmann::json> &records, EncodeJob &job, std::string &err);

}  // namespace rpdhost
