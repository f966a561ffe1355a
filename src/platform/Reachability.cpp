// Choice of the reachability backend and the test every caller applies to its answer.
#include "platform/Reachability.h"

#include <cstdlib>
#include <cstring>

#include "platform/LinuxReachability.h"
#include "platform/ScriptedReachability.h"

namespace zavro {

std::shared_ptr<Reachability> Reachability::systemReachability() {
  const char* platform = std::getenv("ZAVRO_PLATFORM");
  if (platform && std::strcmp(platform, "sim") == 0) {
    return std::make_shared<ScriptedReachability>();
  }
  return std::make_shared<LinuxReachability>();
}

bool isReachableWithoutConnection(std::optional<std::uint32_t> flags) {
  return flags && (*flags & kReachabilityReachable) && !(*flags & kReachabilityConnectionRequired);
}

}  // namespace zavro
