// Transitional: the reader moved to the wire layer.
#pragma once
#include "../wire/byte_reader.h"
namespace rpdhost {
using rpdwire::Be16;
using rpdwire::Be32;
using rpdwire::ByteReader;
}  // namespace rpdhost
