// Whatever decodes as a Wide Community attribute formats back to the same
// bytes (as a packet attribute and as an attribute message), compares equal
// to itself, to its set-attribute copy and to the attribute message decoded
// again, and renders as text, as every display piece and as configuration
// policy text into rooms the fuzzer picks, never writing past the room.
#include <vector>

#include "harness.h"

namespace {

constexpr size_t kCanary = 64;
constexpr uint8_t kCanaryByte = 0xA5;

void CheckCanary(const std::vector<char> &buf, size_t room, const char *what) {
    for (size_t i = room; i < room + kCanary; ++i)
        if (static_cast<uint8_t>(buf[i]) != kCanaryByte) fuzz::Die(what, static_cast<uint32_t>(room));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    fuzz::Plugin &p = fuzz::Plugin::Get();
    const uint32_t textRoom = 1u + (static_cast<uint32_t>(data[0]) << 8 | data[1]);
    const uint32_t dispRoom = 1u + (static_cast<uint32_t>(data[2]) << 8 | data[3]);
    data += 4;
    size -= 4;
    const uint8_t *cur = data;
    uint32_t more = 0;
    rpdhost::OutBuf out;
    uint32_t st = TAM_RPD_ParsePkt(&cur, static_cast<uint32_t>(size), TAM_RPD_PKT_WIDE_CMTY, out.slot(), &more, p.inst);
    fuzz::Expect(st, {TAM_RPD_OK, TAM_RPD_ERR_PKT_MALFORMED});
    if (st != TAM_RPD_OK) {
        fuzz::Settle(out, st);
        return 0;
    }
    const TAM_RPD_ROUTE_VIEW view = rpdhost::ViewOf(out);

    // Back to the wire, byte for byte.
    std::vector<uint8_t> wire(size + 16);
    uint8_t *w = wire.data();
    int ctx = 0;
    st = TAM_RPD_FormatPkt(&view, TAM_RPD_PKT_WIDE_CMTY, &w, static_cast<uint32_t>(wire.size()), &ctx);
    if (st != TAM_RPD_OK || static_cast<size_t>(w - wire.data()) != size || std::memcmp(wire.data(), data, size) != 0)
        fuzz::Die("format does not give the value back", st);

    const uint16_t len = out->usAttrLen;
    if (TAM_RPD_CmpData(view.pucAttr, len, view.pucAttr, len, TAM_RPD_CMP_ATTR) != 0) fuzz::Die("self compare", 0);
    rpdhost::OutBuf again;
    st = TAM_RPD_SetAttr(&view, TAM_RPD_ATTR_TYPE_WC, 0, again.slot(), p.inst);
    if (st != TAM_RPD_OK) fuzz::Die("set attribute", st);
    if (TAM_RPD_CmpData(again.attr(), again.attrLen(), view.pucAttr, len, TAM_RPD_CMP_ATTR) != 0)
        fuzz::Die("set attribute copy compares unequal", 0);
    again.reset();

    std::vector<char> buf(std::max(textRoom, dispRoom) + kCanary);
    uint32_t c1 = 0, c2 = 0;
    std::memset(buf.data(), kCanaryByte, buf.size());
    st = TAM_RPD_Data2Str(&view, 0x40, buf.data(), textRoom, &c1, &c2, p.inst);
    fuzz::Expect(st, {TAM_RPD_OK});
    CheckCanary(buf, textRoom, "text written past its room");
    for (uint32_t code = 1; code <= 0x40; code <<= 1) {
        std::memset(buf.data(), kCanaryByte, buf.size());
        char *pc = buf.data();
        st = TAM_RPD_FormatDisp(&view, code, &pc, dispRoom, &c1, &c2, p.inst);
        fuzz::Expect(st, {TAM_RPD_OK});
        CheckCanary(buf, dispRoom, "display piece written past its room");
    }
    // The policy text of a configuration message, in the same room.
    std::memset(buf.data(), kCanaryByte, buf.size());
    uint8_t *text = reinterpret_cast<uint8_t *>(buf.data());
    st = TAM_RPD_FormatCfg(&view, TAM_RPD_CFG_TYPE_POLICY_TEXT, &text, textRoom, &c1, &c2);
    fuzz::Expect(st, {TAM_RPD_OK});
    CheckCanary(buf, textRoom, "policy text written past its room");

    // An attribute message carries the value back unchanged.
    if (size <= 0xFFFF) {
        std::vector<uint8_t> msg(size);
        uint8_t *m = msg.data();
        st = TAM_RPD_FormatAttrMsg(&view, TAM_RPD_MSG_ATTR_WIDE_CMTY, &m, static_cast<uint16_t>(size), &ctx);
        if (st != TAM_RPD_OK || m != msg.data() + size || std::memcmp(msg.data(), data, size) != 0)
            fuzz::Die("attribute message does not carry the value", st);
        rpdhost::OutBuf back;
        st = TAM_RPD_ParseAttrMsg(msg.data(), static_cast<uint16_t>(size), TAM_RPD_MSG_ATTR_WIDE_CMTY, back.slot(),
                                  p.inst);
        if (st != TAM_RPD_OK ||
            TAM_RPD_CmpData(back.attr(), back.attrLen(), view.pucAttr, len, TAM_RPD_CMP_ATTR) != 0)
            fuzz::Die("attribute message decodes to another policy", st);
    }
    fuzz::Settle(out, TAM_RPD_OK);
    return 0;
}
