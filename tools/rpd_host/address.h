// Transitional: address text moved to the wire layer.
#pragma once
#include "../wire/address.h"
namespace rpdhost {
using rpdwire::AddressText;
using rpdwire::EndpointText;
}  // namespace rpdhost
