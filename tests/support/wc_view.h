// Test helpers that decode Wide Community values and read decoded records back.
#pragma once

#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "wc_writer.h"

namespace tamtest {

// A zeroed fixed part decoded in place; sub-records released on destruction.
struct Decoded {
    TAM_RPD_WC_ATTR rec;
    uint32_t status;
    Decoded(const rpdwire::Bytes &bytes, TAM_RPD_INSTANCE *inst) {
        std::memset(&rec, 0, sizeof(rec));
        status = TAM_RPD_ParsePktWideCommunity(&rec, bytes.data(), static_cast<uint32_t>(bytes.size()), inst);
    }
    ~Decoded() { TAM_RPD_FreeWideCmtyData(&rec); }
};

inline std::vector<std::string> AsPathTexts(const TAM_RPD_WC_MATCH &m) {
    std::vector<std::string> out;
    if (m.stAsPathList.ulCount == 0) return out;
    for (const TAM_RPD_DLL_NODE *n = m.stAsPathList.stHead.pNext; n != nullptr && n != &m.stAsPathList.stHead;
         n = n->pNext) {
        const auto *f = reinterpret_cast<const TAM_RPD_ASPATH_FILTER *>(n);
        out.emplace_back(f->acText, f->usLen);
    }
    return out;
}

inline std::vector<std::vector<uint32_t>> CmtyFilters(const TAM_RPD_WC_MATCH &m) {
    std::vector<std::vector<uint32_t>> out;
    if (m.stCmtyList.ulCount == 0) return out;
    for (const TAM_RPD_DLL_NODE *n = m.stCmtyList.stHead.pNext; n != nullptr && n != &m.stCmtyList.stHead;
         n = n->pNext) {
        const auto *f = reinterpret_cast<const TAM_RPD_CMTY_FILTER *>(n);
        out.emplace_back(f->aulValue, f->aulValue + f->usCount);
    }
    return out;
}

inline rpdwire::Bytes Hex(const char *text) {
    rpdwire::Bytes out;
    int nibble = -1;
    for (const char *p = text; *p; ++p) {
        int v;
        if (*p >= '0' && *p <= '9') v = *p - '0';
        else if (*p >= 'a' && *p <= 'f') v = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') v = *p - 'A' + 10;
        else continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<uint8_t>(nibble << 4 | v));
            nibble = -1;
        }
    }
    return out;
}

}  // namespace tamtest
