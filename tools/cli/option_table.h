// The table every option of rpd-host is one row of.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace rpdhost {

// Where --help lists an option.
enum class Section { Input, Output, Filters, Other, Live, Publish, Encode };

struct Option {
    const char *name;
    const char *alias;  // a short spelling, or null
    const char *value;  // the value it takes ("N"), or null for none
    unsigned modes;     // the Mode bits that take it
    Section section;
    const char *group;  // options of one group cannot be used together; null for none
    const char *help;
    // Sets what the option says; false with the usage error. Null for --help and --version.
    bool (*apply)(Settings &s, const char *value, std::string &err);
};

const std::vector<Option> &Options();

}  // namespace rpdhost
