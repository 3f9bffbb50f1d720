#include "address.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>

namespace rpdwire {

std::string AddressText(bool v6, const uint8_t *addr) {
    // inet_ntop's IPv4 text, at a tenth of its cost: every MRT record names its peer.
    if (!v6) return Ipv4Text(uint32_t{addr[0]} << 24 | uint32_t{addr[1]} << 16 | uint32_t{addr[2]} << 8 | addr[3]);
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

namespace {

// Writes the dotted text of a host-order address at `p` (at most 15 characters); returns its end.
char *PutIpv4(char *p, uint32_t a) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = a >> shift & 255;
        if (octet >= 100) *p++ = static_cast<char>('0' + octet / 100);
        if (octet >= 10) *p++ = static_cast<char>('0' + octet / 10 % 10);
        *p++ = static_cast<char>('0' + octet % 10);
        if (shift != 0) *p++ = '.';
    }
    return p;
}

}  // namespace

std::string Ipv4Text(uint32_t a) {
    char text[16];
    return std::string(text, static_cast<size_t>(PutIpv4(text, a) - text));
}

std::string Ipv4PrefixText(uint32_t a, unsigned length) {
    char text[32];
    char *p = PutIpv4(text, a);
    *p++ = '/';
    p = std::to_chars(p, text + sizeof(text), length).ptr;
    return std::string(text, static_cast<size_t>(p - text));
}

}  // namespace rpdwire
