// A policy as JSON, losslessly: what the wire holds, in the form `encode`
// takes back, so that decode -> encode -> decode gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "json_writer.h"
#include "wc_explain.h"

namespace rpdhost {

void WritePolicyJson(JsonWriter &j, const WcPolicy &p, const uint8_t *raw, size_t n);

}  // namespace rpdhost
