#include "address.h"

#include <arpa/inet.h>

#include <cstdio>

namespace rpdwire {

std::string AddressText(bool v6, const uint8_t *addr) {
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(v6 ? AF_INET6 : AF_INET, addr, text, sizeof(text));
    return text;
}

std::string EndpointText(bool v6, const uint8_t *addr, uint16_t port) {
    char out[INET6_ADDRSTRLEN + 16];
    std::snprintf(out, sizeof(out), v6 ? "[%s]:%u" : "%s:%u", AddressText(v6, addr).c_str(),
                  static_cast<unsigned>(port));
    return out;
}

std::string Ipv4Text(uint32_t a) {
    char text[16];
    char *p = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = a >> shift & 255;
        if (octet >= 100) *p++ = static_cast<char>('0' + octet / 100);
        if (octet >= 10) *p++ = static_cast<char>('0' + octet / 10 % 10);
        *p++ = static_cast<char>('0' + octet % 10);
        if (shift != 0) *p++ = '.';
    }
    return std::string(text, static_cast<size_t>(p - text));
}

}  // namespace rpdwire
