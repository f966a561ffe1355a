// The machine's network interfaces and serial devices as udev and sysfs describe them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zavro {

// One sysfs device with what the port naming needs of it.
struct DeviceInfo {
  std::string subsystem;  // "net", "tty", "pci", "usb", ...
  std::string sysname;    // eth0, ttyS0, 0000:00:19.0, 1-2
  std::string devpath;    // below /sys, beginning with "/devices/"
  std::string driver;     // the driver bound to this device itself, "" when none
  // udev properties: the uevent keys and, where udev has run, its database (ID_MODEL_FROM_DATABASE ...).
  std::map<std::string, std::string> properties;
  // Those of PortDiscovery::attributeNames() the device has, first line without trailing white space.
  std::map<std::string, std::string> attributes;
  // Those of PortDiscovery::entryNames() present in the device's folder.
  std::set<std::string> entries;

  std::string property(const std::string& key) const;
  std::string attribute(const std::string& key) const;
  bool isVirtual() const { return devpath.rfind("/devices/virtual/", 0) == 0; }
};

// A net or tty device and the devices above it, nearest first.
struct PortDevice {
  DeviceInfo device;
  std::vector<DeviceInfo> parents;
};

class PortDiscovery {
 public:
  virtual ~PortDiscovery() = default;

  // Every device of the subsystems "net" and "tty" (virtual ones included: the caller decides), or
  // nullopt when the devices cannot be enumerated at all.
  virtual std::optional<std::vector<PortDevice>> devices() const = 0;
  // PCI slot address ("0000:03:00") → slot name, from bus/pci/slots/*/address.
  virtual std::map<std::string, std::string> pciSlots() const = 0;

  // The live machine through libudev.
  static std::shared_ptr<PortDiscovery> makeUdev();
  // A tree laid out like the live one below `root`: <root>/sys (class/net, class/tty, devices, bus)
  // and <root>/run/udev/data for udev's database. libudev always reads the real /sys, so fixture trees
  // and the fallback on machines without libudev go through this reader.
  static std::shared_ptr<PortDiscovery> makeSysfs(std::string root);
  // The process-wide discovery: the sysfs reader over systemFixtureRoot() when one is set, else udev.
  static std::shared_ptr<const PortDiscovery> shared();

  static const std::vector<std::string>& attributeNames();
  static const std::vector<std::string>& entryNames();
};

}  // namespace zavro
