// The folder that stands in for "/" when the machine's devices and system folders come from a fixture tree.
#pragma once

#include <string>

namespace zavro {

// $ZAVRO_SYSTEM_ROOT, or "" on a live system. A non-empty root selects the fixture backends explicitly:
// devices are read from <root>/sys and <root>/run/udev, system script folders from below <root>.
std::string systemFixtureRoot();

}  // namespace zavro
