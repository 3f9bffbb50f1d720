// What a run saw, counted: messages by type, routes, policies, events, what
// the readers skipped or found damaged, and failures by kind. The report
// layer renders it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "message.h"

namespace rpdhost {

struct Summary {
    uint64_t inputs = 0;
    uint64_t inputsWithoutMessages = 0;
    uint64_t messages = 0;
    std::map<std::string, uint64_t> byType;  // message type name -> count
    uint64_t announced = 0;
    uint64_t withdrawn = 0;
    uint64_t filtered = 0;  // routes left out by the filters
    uint64_t policies = 0;
    uint64_t sentUpdates = 0;  // what we sent (speak): UPDATEs, and the RPD routes they announce and withdraw
    uint64_t sentAnnounced = 0;
    uint64_t sentWithdrawn = 0;
    uint64_t otherAttributes = 0;
    uint64_t otherFamilies = 0;
    uint64_t ipv4Updates = 0;
    uint64_t events = 0;
    bool verify = false;
    uint64_t verified = 0;
    uint64_t warnings = 0;  // accepted, but not as a writer would put it (--verify)
    std::map<std::string, uint64_t> failures;  // by status name, or input / walk / verify
    std::map<std::string, SkipTally> skipped;  // what the readers passed over, by reason

    void Add(const InputCounts &counts);
    uint64_t Failures() const;
    // Whether the run saw anything it could not read or decode: the exit status is 1 then.
    bool Failed() const;
};

}  // namespace rpdhost
