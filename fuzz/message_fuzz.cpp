// Parse of the host's internal messages: BGPI route prefixes (53, 79, 80), HA
// route prefixes (1, 3, 5), attribute messages (29) and configuration
// prefix records (2). The first byte picks the entry point.
#include "harness.h"

namespace {

// A decoded route-prefix key carries the body's big-endian distinguisher and peer.
void CheckKey(uint32_t st, const TAM_RPD_OUTPUT_BUF *out, const uint8_t *fields) {
    if (st != TAM_RPD_OK) return;
    TAM_RPD_ROUTE_KEY k;
    std::memcpy(&k, reinterpret_cast<const uint8_t *>(out) + out->usKeyOffset, sizeof(k));
    uint32_t peer;
    std::memcpy(&peer, k.aucPeerAddr, 4);
    const uint32_t d = uint32_t{fields[1]} << 24 | uint32_t{fields[2]} << 16 | uint32_t{fields[3]} << 8 | fields[4];
    const uint32_t a = uint32_t{fields[5]} << 24 | uint32_t{fields[6]} << 16 | uint32_t{fields[7]} << 8 | fields[8];
    if (k.ucPolicyType != 1 || k.ucAddrLen != 4 || k.ulDistinguisher != d || peer != a)
        fuzz::Die("decoded key differs from the body", d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 0x10000) return 0;
    fuzz::Plugin &p = fuzz::Plugin::Get();
    const uint8_t pick = data[0] % 8;
    const uint8_t *body = data + 1;
    const uint16_t len = static_cast<uint16_t>(size - 1);
    rpdhost::OutBuf out;
    uint32_t st;
    static const uint16_t kBgpi[] = {53, 79, 80};
    static const uint16_t kHa[] = {1, 3, 5};
    if (pick < 3) {
        st = TAM_RPD_ParseMsg(body, len, kBgpi[pick], out.slot(), p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_MSG_TOO_SHORT, TAM_RPD_ERR_PKT_MALFORMED});
        CheckKey(st, out.get(), body + 1);
    } else if (pick < 6) {
        st = TAM_RPD_ParseHaMsg(body, len, kHa[pick - 3], out.slot(), p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_MSG_TOO_SHORT, TAM_RPD_ERR_PKT_MALFORMED});
        CheckKey(st, out.get(), body + 1);
    } else if (pick == 6) {
        st = TAM_RPD_ParseAttrMsg(body, len, 29, out.slot(), p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_MSG_TOO_SHORT, TAM_RPD_ERR_PKT_MALFORMED});
        if (st == TAM_RPD_OK && out->usAttrLen != TAM_RPD_WC_FIXED_LEN + len) fuzz::Die("attribute length", len);
    } else {
        // A configuration record always has the record type's full 38 bytes:
        // the fuzzer varies its content.
        uint8_t rec[sizeof(TAM_RPD_CFG_PREFIX)] = {};
        std::memcpy(rec, body, std::min<size_t>(len, sizeof(rec)));
        st = TAM_RPD_ParseCfg(rec, sizeof(rec), 2, out.slot(), p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_CFG_INVALID});
    }
    fuzz::Settle(out, st);
    return 0;
}
