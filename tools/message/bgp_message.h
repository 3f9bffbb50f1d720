// BGP messages read for what they say to a person: an OPEN field by field
// (RFC 4271 section 4.2, RFC 5492 capabilities), and a NOTIFICATION's code,
// subcode and data as text. The live session and the BMP reader share them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rpdhost {

struct OpenInfo {
    uint8_t version = 0;
    uint32_t as = 0;  // the 4-octet AS capability's, else the 2-octet field's
    uint16_t holdTime = 0;
    uint32_t id = 0;
    bool rpd = false;  // offers multiprotocol AFI 1 / SAFI 75
    bool extended = false;  // offers messages longer than 4096 bytes (RFC 8654)
};

enum class OpenRead {
    Ok,
    Short,      // the fixed fields are cut short: nothing is filled in
    BadParams,  // fixed fields filled in; the optional parameters are broken (`subcode`, `why`)
};

// `m` is the whole message, header included.
OpenRead ReadOpen(const uint8_t *m, size_t len, OpenInfo &info, uint8_t &subcode, uint8_t &data, std::string &why);

// A whole NOTIFICATION message (at least 21 bytes) as text: its code and
// subcode, then what its data says.
std::string NotificationMessageText(const uint8_t *m, size_t len);
// "Cease / Administrative Shutdown (6/2)" and the like.
std::string NotificationText(uint8_t code, uint8_t subcode);
// What a NOTIFICATION's data says, to follow that text: a quoted text when it
// is one (a shutdown communication too), else hex; "" when there is none.
std::string NotificationData(uint8_t code, uint8_t subcode, const uint8_t *data, size_t len);

}  // namespace rpdhost
