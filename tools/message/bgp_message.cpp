#include "bgp_message.h"

#include "byte_reader.h"
#include "hex.h"
#include "wire.h"

namespace rpdhost {

using namespace rpdwire;

OpenRead ReadOpen(const uint8_t *m, size_t len, OpenInfo &info, uint8_t &subcode, uint8_t &data, std::string &why) {
    if (len < kBgpHeaderLen) return OpenRead::Short;
    ByteReader r(m + kBgpHeaderLen, len - kBgpHeaderLen);
    uint8_t optLen = 0;
    uint16_t as2 = 0;
    if (!r.U8(info.version) || !r.U16(as2) || !r.U16(info.holdTime) || !r.U32(info.id) || !r.U8(optLen))
        return OpenRead::Short;
    info.as = as2;
    auto bad = [&](uint8_t sub, const std::string &what) {
        subcode = sub;
        why = what;
        return OpenRead::BadParams;
    };
    data = 0;
    ByteReader params;
    if (!r.Sub(optLen, params) || r.Left() != 0) return bad(0, "optional parameters' length");
    while (params.Left() > 0) {
        uint8_t type = 0, plen = 0;
        ByteReader value;
        if (!params.U8(type) || !params.U8(plen) || !params.Sub(plen, value))
            return bad(0, "optional parameter cut short");
        if (type != kParamCapabilities) {
            data = type;
            return bad(4, "optional parameter " + std::to_string(type));
        }
        while (value.Left() > 0) {
            uint8_t code = 0, clen = 0;
            ByteReader cap;
            if (!value.U8(code) || !value.U8(clen) || !value.Sub(clen, cap)) return bad(0, "capability cut short");
            uint16_t afi = 0;
            uint8_t reserved = 0, safi = 0;
            uint32_t as4 = 0;
            if (code == kCapMultiprotocol && cap.U16(afi) && cap.U8(reserved) && cap.U8(safi) && afi == kAfiIpv4 &&
                safi == kSafiRpd) {
                info.rpd = true;
            } else if (code == kCapAs4 && cap.U32(as4)) {
                info.as = as4;
            } else if (code == kCapExtendedMessage) {
                info.extended = true;
            }
        }
    }
    return OpenRead::Ok;
}

std::string NotificationMessageText(const uint8_t *m, size_t len) {
    const uint8_t code = m[kBgpHeaderLen], subcode = m[kBgpHeaderLen + 1];
    return NotificationText(code, subcode) + NotificationData(code, subcode, m + kBgpHeaderLen + 2, len - kBgpHeaderLen - 2);
}

std::string NotificationText(uint8_t code, uint8_t subcode) {
    static const char *const kCodes[] = {"",           "Message Header Error", "OPEN Message Error",
                                         "UPDATE Message Error", "Hold Timer Expired", "Finite State Machine Error",
                                         "Cease"};
    struct Sub {
        uint8_t code, subcode;
        const char *name;
    };
    static const Sub kSubs[] = {
        {1, 1, "Connection Not Synchronized"}, {1, 2, "Bad Message Length"},  {1, 3, "Bad Message Type"},
        {2, 1, "Unsupported Version Number"},  {2, 2, "Bad Peer AS"},         {2, 3, "Bad BGP Identifier"},
        {2, 4, "Unsupported Optional Parameter"}, {2, 6, "Unacceptable Hold Time"},
        {3, 1, "Malformed Attribute List"},    {5, 1, "unexpected message in OpenSent"},
        {5, 2, "unexpected message in OpenConfirm"}, {5, 3, "unexpected message in Established"},
        {6, 2, "Administrative Shutdown"},     {6, 4, "Administrative Reset"}, {6, 5, "Connection Rejected"},
        {6, 6, "Other Configuration Change"}, {6, 8, "Out of Resources"},
    };
    std::string text = code >= 1 && code <= 6 ? kCodes[code] : "error code " + std::to_string(code);
    for (const Sub &s : kSubs)
        if (s.code == code && s.subcode == subcode) return text + " / " + s.name + " (" + std::to_string(code) + "/" +
                                                       std::to_string(subcode) + ")";
    return text + " (" + std::to_string(code) + "/" + std::to_string(subcode) + ")";
}

std::string NotificationData(uint8_t code, uint8_t subcode, const uint8_t *data, size_t len) {
    if (len == 0) return "";
    // A Cease may carry a shutdown communication: a length, then UTF-8 (RFC 9003).
    if (code == kErrCease && (subcode == kCeaseShutdown || subcode == kCeaseReset) && data[0] == len - 1) {
        ++data;
        --len;
    }
    bool text = len > 0;
    for (size_t i = 0; i < len; ++i) text = text && data[i] >= 0x20 && data[i] < 0x7F;
    constexpr size_t kShown = 128;
    const size_t shown = len < kShown ? len : kShown;
    std::string out = text ? ": \"" + std::string(reinterpret_cast<const char *>(data), shown) + "\""
                           : ", data " + ToHex(std::vector<uint8_t>(data, data + shown));
    if (shown < len) out += " (" + std::to_string(len) + " bytes)";
    return out;
}

}  // namespace rpdhost
