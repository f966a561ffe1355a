// The shared discovery and the parts both backends use.
#include "platform/PortDiscovery.h"

#include <filesystem>
#include <fstream>

#include "platform/SystemRoot.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

ProcessWide<const PortDiscovery> gShared([]() -> std::shared_ptr<const PortDiscovery> {
  std::string root = systemFixtureRoot();
  if (!root.empty()) {
    return PortDiscovery::makeSysfs(root);
  }
  return PortDiscovery::makeUdev();
});

}  // namespace

std::string DeviceInfo::property(const std::string& key) const {
  auto it = properties.find(key);
  return it == properties.end() ? std::string() : it->second;
}

std::string DeviceInfo::attribute(const std::string& key) const {
  auto it = attributes.find(key);
  return it == attributes.end() ? std::string() : it->second;
}

std::shared_ptr<const PortDiscovery> PortDiscovery::shared() {
  return gShared.get();
}

const std::vector<std::string>& PortDiscovery::attributeNames() {
  // type: ARPHRD of a net device, UART type of a serial port (0: no UART); product: USB string
  // descriptor; class: PCI class code (0x0703xx is a modem).
  static const std::vector<std::string> names = {"type", "address", "ifindex", "dev_port", "product", "class"};
  return names;
}

const std::vector<std::string>& PortDiscovery::entryNames() {
  static const std::vector<std::string> names = {"wireless", "phy80211"};
  return names;
}

}  // namespace zavro
