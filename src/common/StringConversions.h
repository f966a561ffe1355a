// Numeric conversions of text fields (hexadecimal fields of version records and the like).
#pragma once

#include <cstdint>
#include <string_view>

namespace zavro::strings {

// The hexadecimal number at the start of the first 50 bytes: leading whitespace, an optional sign
// and an optional "0x"/"0X" allowed, as strtoul reads it; 0 when nothing parses. A value above the
// 32-bit range gives 0xFFFFFFFF; a minus sign negates modulo 2^32.
uint32_t hexValue(std::string_view s);

}  // namespace zavro::strings
