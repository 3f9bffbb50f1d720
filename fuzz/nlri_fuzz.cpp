// Packet parse of an MP_REACH_NLRI / MP_UNREACH_NLRI NLRI field, walked as a
// host walks it: one NLRI per call, following the cursor and the more flag.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    fuzz::Plugin &p = fuzz::Plugin::Get();
    const uint32_t type = (data[0] & 1) ? TAM_RPD_PKT_MP_UNREACH : TAM_RPD_PKT_MP_REACH;
    const uint8_t *cur = data + 1;
    uint32_t left = static_cast<uint32_t>(size - 1);
    uint32_t more = 1;
    while (more != 0) {
        const uint8_t *start = cur;
        rpdhost::OutBuf out;
        const uint32_t st = TAM_RPD_ParsePkt(&cur, left, type, out.slot(), &more, p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_PKT_MALFORMED});
        if (cur < start || static_cast<uint32_t>(cur - start) > left) fuzz::Die("cursor left the field", st);
        if (st == TAM_RPD_OK && (out->ulFlags != TAM_RPD_OUT_KEY || out->usKeyLen != TAM_RPD_ROUTE_KEY_LEN))
            fuzz::Die("key buffer shape", out->ulFlags);
        fuzz::Settle(out, st);
        if (st != TAM_RPD_OK) break;
        left -= static_cast<uint32_t>(cur - start);
        if (more != 0 && left == 0) fuzz::Die("more flag with nothing left", more);
    }
    return 0;
}
