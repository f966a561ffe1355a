// Reachability on Linux: name resolution, then the kernel's route choice through a connected UDP socket.
#pragma once

#include "platform/Reachability.h"

namespace zavro {

// For each address of the host, a UDP socket is connected to it (this sends nothing; the kernel only
// picks the route and the source address) and the interface holding that source address decides:
// an interface that is up and running gives Reachable, one that is not up or has no carrier (a link
// still associating, a PPP link whose peer is not up) gives Reachable + ConnectionRequired.
class LinuxReachability final : public Reachability {
 public:
  std::optional<std::uint32_t> checkReachabilityByName(const std::string& host) override;

  // The flags for a route through an interface with these IFF_* flags.
  static std::uint32_t flagsForInterface(unsigned int interfaceFlags);
};

}  // namespace zavro
