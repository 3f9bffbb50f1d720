// Fields of a JSON record read back (nlohmann's json or ordered_json): one
// absent, or of another type, reads as empty or 0, as a record of an older
// or newer schema may well have it.
#pragma once

#include <cstdint>
#include <string>

namespace rpdhost {

template <typename Json> std::string TextField(const Json &r, const char *field) {
    const auto it = r.find(field);
    return it != r.end() && it->is_string() ? it->template get<std::string>() : "";
}

template <typename Json> uint64_t NumberField(const Json &r, const char *field) {
    const auto it = r.find(field);
    return it != r.end() && it->is_number_unsigned() ? it->template get<uint64_t>() : 0;
}

}  // namespace rpdhost
