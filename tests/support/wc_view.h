// Test helpers that decode Wide Community values and read decoded records back.
#pragma once

#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "hex.h"
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
    EXPECT_TRUE(rpdwire::FromHex(text, out)) << text;
    return out;
}

}  // namespace tamtest
