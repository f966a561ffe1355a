// The fixture root chosen through the process environment.
#include "platform/SystemRoot.h"

#include <cstdlib>

namespace zavro {

std::string systemFixtureRoot() {
  const char* root = std::getenv("ZAVRO_SYSTEM_ROOT");
  std::string value = root != nullptr ? root : "";
  while (value.size() > 1 && value.back() == '/') {
    value.pop_back();
  }
  return value;
}

}  // namespace zavro
