// Access-type bits of a POP record and of a POP list.
#pragma once

#include <cstdint>

namespace zavro {

inline constexpr uint32_t kAccessISDN = 0x3;
inline constexpr uint32_t kAccessModem = 0x4;
inline constexpr uint32_t kAccessWired = 0x8;
inline constexpr uint32_t kAccessWireless = 0x10;
inline constexpr uint32_t kAccessWirelessAny = 0x70;
inline constexpr uint32_t kAccessBroadband = 0x78;
inline constexpr uint32_t kAccessPHS = 0x180;
inline constexpr uint32_t kAccessDialup = 0x187;
inline constexpr uint32_t kAccessAll = 0xFFFFFFFF;

inline constexpr bool isDialupAccess(uint32_t access) {
  return (access & kAccessDialup) != 0;
}
inline constexpr bool isBroadbandAccess(uint32_t access) {
  return (access & kAccessBroadband) != 0;
}

}  // namespace zavro
