// Shared checks of the fuzz targets: after every input no assertion was
// raised, the status is one the entry point may return, and the only live
// blocks are the output buffers handed over, which are then freed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "route_buffers.h"
#include "tam_host.h"
#include "tam_rpd.h"

namespace fuzz {

constexpr uint64_t kModule = 0xF022;

[[noreturn]] inline void Die(const char *what, uint32_t value) {
    std::fprintf(stderr, "fuzz check failed: %s (0x%x)\n", what, value);
    std::abort();
}

struct Plugin {
    TAM_RPD_PLUGIN_OPS ops;
    TAM_RPD_INSTANCE *inst;
    uint64_t base;
    Plugin() {
        std::memset(&ops, 0, sizeof(ops));
        inst = TAM_RPD_Construct(&ops, kModule);
        if (inst == nullptr) Die("construct", 0);
        base = TAMHOST_LiveBlocks(kModule);
        TAMHOST_Reset();
    }
    static Plugin &Get() {
        static Plugin p;
        return p;
    }
};

inline void Expect(uint32_t status, std::initializer_list<uint32_t> allowed) {
    for (uint32_t a : allowed)
        if (a == status) return;
    Die("status not allowed for this entry point", status);
}

// Checks the invariants and frees what was handed over.
inline void Settle(rpdhost::OutBuf &out, uint32_t status) {
    if (TAMHOST_AssertCount() != 0) {
        std::fprintf(stderr, "assertion at %s:%u\n", TAMHOST_LastAssertFile(), TAMHOST_LastAssertLine());
        Die("QOR_Assert raised", static_cast<uint32_t>(TAMHOST_AssertCount()));
    }
    if ((status == TAM_RPD_OK) != static_cast<bool>(out)) Die("output buffer does not match the status", status);
    const uint64_t live = TAMHOST_LiveBlocks(kModule) - Plugin::Get().base;
    if (live != (out ? 1u : 0u)) Die("live blocks besides the output buffer", static_cast<uint32_t>(live));
    out.reset();
    if (TAMHOST_LiveBlocks(kModule) != Plugin::Get().base) Die("leak", 0);
}

}  // namespace fuzz
