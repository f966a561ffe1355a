// Whether a host can be reached by name, and whether reaching it first needs a connection to come up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zavro {

// Answer flags of a reachability check.
constexpr std::uint32_t kReachabilityReachable = 0x2;           // a route to the host exists
constexpr std::uint32_t kReachabilityConnectionRequired = 0x4;  // ... but over a link that is not up yet

class Reachability {
 public:
  virtual ~Reachability() = default;

  // The flags for `host`; 0 when the name does not resolve or no route leads to it; nullopt when the
  // check itself could not be made. May block (name resolution): call it off the main thread.
  virtual std::optional<std::uint32_t> checkReachabilityByName(const std::string& host) = 0;

  // The system's backend, or the scripted one (always reachable) when ZAVRO_PLATFORM=sim.
  static std::shared_ptr<Reachability> systemReachability();
};

// True when the check succeeded with Reachable set and ConnectionRequired clear.
bool isReachableWithoutConnection(std::optional<std::uint32_t> flags);

}  // namespace zavro
