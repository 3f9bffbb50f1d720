// Packet parse of a Wide Community attribute value (type 11), and rpd-host's
// diagnostic reading of the same bytes, which must reach the same verdict.
#include "harness.h"
#include "wc_explain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::Plugin &p = fuzz::Plugin::Get();
    const uint8_t *cur = data;
    uint32_t more = 7;
    rpdhost::OutBuf out;
    const uint32_t st =
        TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(size), TAM_RPD_PKT_WIDE_CMTY, out.slot(), &more, p.inst);
    fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_PKT_MALFORMED});
    if (static_cast<size_t>(cur - data) > size) fuzz::Die("cursor past the value", st);
    if (st == TAM_RPD_OK && (out->usAttrLen != TAM_RPD_WC_FIXED_LEN + size || more != 0))
        fuzz::Die("attribute buffer shape", out->usAttrLen);
    fuzz::Settle(out, st);
    rpdhost::WcPolicy wire;
    if (size > 0 && rpdhost::ExplainWideCommunity(data, size, wire).accepted != (st == TAM_RPD_OK))
        fuzz::Die("the diagnostic reading disagrees with the plug-in", st);
    return 0;
}
