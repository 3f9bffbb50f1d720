// Addresses as the host side writes them in reports and records.
#pragma once

#include <cstdint>
#include <string>

namespace rpdwire {

// "192.0.2.1" or "2001:db8::1", from 4 or 16 bytes in network order.
std::string AddressText(bool v6, const uint8_t *addr);
// With a port: "192.0.2.1:179" or "[2001:db8::1]:179".
std::string EndpointText(bool v6, const uint8_t *addr, uint16_t port);
// An IPv4 address held as a host-order word.
std::string Ipv4Text(uint32_t hostOrder);
// "10.0.0.0/8".
std::string Ipv4PrefixText(uint32_t hostOrder, unsigned length);

}  // namespace rpdwire
