// The key's encoders and services on any stored key: NLRI (types 14, 15),
// BGPI (59) and HA (1, 3, 5) route-prefix messages and the configuration
// record (2), each written into a room the fuzzer picks and decoded back to
// the same key; the key text (with the instance's scratch area lent out or
// not) inside its room; the key compare's order; the route check and the
// counters. Input: a room byte, a flags byte, then two 24-byte keys.
#include <vector>

#include "harness.h"

namespace {

constexpr size_t kCanary = 32;
constexpr uint8_t kCanaryByte = 0xA5;

struct Fields {
    uint8_t policy, addrLen;
    uint32_t distinguisher, peer;
    bool operator==(const Fields &) const = default;
};

Fields FieldsOf(const uint8_t *key) {
    TAM_RPD_ROUTE_KEY k;
    std::memcpy(&k, key, sizeof(k));
    Fields f{k.ucPolicyType, k.ucAddrLen, k.ulDistinguisher, 0};
    std::memcpy(&f.peer, k.aucPeerAddr, 4);
    return f;
}

// A room of `room` bytes with a guard behind it.
struct Room {
    std::vector<uint8_t> bytes;
    uint32_t room;
    explicit Room(uint32_t r) : bytes(r + kCanary, kCanaryByte), room(r) {}
    uint8_t *data() { return bytes.data(); }
    void Check(const char *what) const {
        for (size_t i = room; i < bytes.size(); ++i)
            if (bytes[i] != kCanaryByte) fuzz::Die(what, room);
    }
};

// Writes the key with `format`, then, when it was accepted, reads it back with
// `parse`: an accepted key is an RPD export key and comes back unchanged.
template <typename Format, typename Parse>
void RoundTrip(const char *what, const uint8_t *key, uint32_t room, Format format, Parse parse) {
    Room r(room);
    uint8_t *cur = r.data();
    const uint32_t st = format(&cur);
    r.Check(what);
    if (st != TAM_RPD_OK) {
        if (cur != r.data()) fuzz::Die("a refused encode moved the cursor", st);
        return;
    }
    const Fields want = FieldsOf(key);
    if (want.policy != TAM_RPD_POLICY_EXPORT || want.addrLen != 4) fuzz::Die("encoded a key that is not RPD's", st);
    rpdhost::OutBuf out;
    const uint32_t back = parse(r.data(), static_cast<uint32_t>(cur - r.data()), out);
    if (back != TAM_RPD_OK || !out.hasKey() || !(FieldsOf(out.key()) == want)) fuzz::Die(what, back);
    fuzz::Settle(out, back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 + 2 * TAM_RPD_ROUTE_KEY_LEN) return 0;
    fuzz::Plugin &p = fuzz::Plugin::Get();
    const uint32_t room = data[0];
    const uint8_t flags = data[1];
    uint8_t key[TAM_RPD_ROUTE_KEY_LEN], other[TAM_RPD_ROUTE_KEY_LEN];
    std::memcpy(key, data + 2, sizeof(key));
    std::memcpy(other, data + 2 + sizeof(key), sizeof(other));
    const TAM_RPD_ROUTE_VIEW view = rpdhost::MakeView(key, sizeof(key), nullptr, 0);
    int ctx = 0;

    for (uint32_t type : {TAM_RPD_PKT_MP_REACH, TAM_RPD_PKT_MP_UNREACH}) {
        RoundTrip(
            "NLRI", key, room % 24, [&](uint8_t **cur) { return TAM_RPD_FormatPkt(&view, type, cur, room % 24, &ctx); },
            [&](const uint8_t *b, uint32_t n, rpdhost::OutBuf &out) {
                uint32_t more = 0;
                return TAM_RPD_ParsePkt(&b, n, type, out.slot(), &more, p.inst);
            });
    }
    RoundTrip(
        "BGPI message", key, room,
        [&](uint8_t **cur) {
            return TAM_RPD_FormatMsg(&view, TAM_RPD_MSG_BGPI_PREFIX_OUT, cur, static_cast<uint16_t>(room), &ctx);
        },
        [&](const uint8_t *b, uint32_t n, rpdhost::OutBuf &out) {
            return TAM_RPD_ParseMsg(b, static_cast<uint16_t>(n), TAM_RPD_MSG_BGPI_PREFIX, out.slot(), p.inst);
        });
    static const uint16_t kHa[] = {TAM_RPD_MSG_HA_PREFIX_1, TAM_RPD_MSG_HA_PREFIX, TAM_RPD_MSG_HA_PREFIX_5};
    const uint16_t ha = kHa[flags % 3];
    RoundTrip(
        "HA message", key, room,
        [&](uint8_t **cur) { return TAM_RPD_FormatHaMsg(&view, ha, cur, static_cast<uint16_t>(room), &ctx); },
        [&](const uint8_t *b, uint32_t n, rpdhost::OutBuf &out) {
            return TAM_RPD_ParseHaMsg(b, static_cast<uint16_t>(n), ha, out.slot(), p.inst);
        });
    // A configuration record is read back whole, whatever room it was written into.
    RoundTrip(
        "configuration record", key, room,
        [&](uint8_t **cur) {
            std::memset(*cur, 0, std::min<uint32_t>(room, TAM_RPD_CFG_PREFIX_LEN));
            uint32_t o1 = 0, o2 = 0;
            return room == 0 ? TAM_RPD_ERR_BUF_SHORT
                             : TAM_RPD_FormatCfg(&view, TAM_RPD_CFG_TYPE_PREFIX, cur, room, &o1, &o2);
        },
        [&](const uint8_t *b, uint32_t, rpdhost::OutBuf &out) {
            return TAM_RPD_ParseCfg(b, TAM_RPD_CFG_PREFIX_LEN, TAM_RPD_CFG_TYPE_PREFIX, out.slot(), p.inst);
        });

    // The key text stays inside its room, with the scratch area free or lent out.
    void *lent = (flags & 1) ? TAM_RPD_Malloc(p.inst, 1) : nullptr;
    {
        Room r(room + 1);
        uint32_t c1 = 0, c2 = 0;
        const uint32_t st =
            TAM_RPD_Data2Str(&view, TAM_RPD_STR_NLRI, reinterpret_cast<char *>(r.data()), r.room, &c1, &c2, p.inst);
        fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_PKT_MALFORMED});
        r.Check("key text written past its room");
    }
    if (lent != nullptr) TAM_RPD_Free(&lent, p.inst);

    // The key order is antisymmetric.
    const int32_t ab = TAM_RPD_CmpData(key, TAM_RPD_ROUTE_KEY_LEN, other, TAM_RPD_ROUTE_KEY_LEN, TAM_RPD_CMP_KEY);
    const int32_t ba = TAM_RPD_CmpData(other, TAM_RPD_ROUTE_KEY_LEN, key, TAM_RPD_ROUTE_KEY_LEN, TAM_RPD_CMP_KEY);
    if (ab == TAM_RPD_CMP_FAIL ? ba != TAM_RPD_CMP_FAIL : ab != -ba) fuzz::Die("key order", static_cast<uint32_t>(ab));
    if (TAM_RPD_CmpData(key, TAM_RPD_ROUTE_KEY_LEN, key, TAM_RPD_ROUTE_KEY_LEN, TAM_RPD_CMP_KEY) != 0)
        fuzz::Die("a key differs from itself", 0);

    // Route check and counters: an RPD export key is counted, anything else is refused.
    const bool rpd = key[0] == TAM_RPD_POLICY_EXPORT && key[1] == 4;
    uint8_t attr[18] = {};
    const TAM_RPD_ROUTE_VIEW route = rpdhost::MakeView(key, sizeof(key), attr, (flags & 2) ? 18 : 17);
    uint32_t verdict = 7;
    const uint32_t st = TAM_RPD_CheckRoute(&route, nullptr, &verdict);
    if ((st == TAM_RPD_OK) != (rpd && (flags & 2)) || (st == TAM_RPD_OK) != (verdict == 1))
        fuzz::Die("route check", st);
    uint32_t counters[2] = {0, 0}, count = 0;
    const uint32_t amount = flags >> 2;
    const uint32_t set = TAM_RPD_SetRtCount(&route, counters, 2, 1, amount);
    if ((set == TAM_RPD_OK) != (key[0] == 1) || TAM_RPD_GetRtCount(counters, 2, 1, &count) != TAM_RPD_OK ||
        count != (set == TAM_RPD_OK ? amount : 0))
        fuzz::Die("counters", count);
    if (TAMHOST_AssertCount() != 0) fuzz::Die("QOR_Assert raised", 0);
    return 0;
}
