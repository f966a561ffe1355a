// The live machine's net and tty devices through libudev (properties include the hwdb names).
#include <libudev.h>

#include <filesystem>
#include <fstream>

#include "platform/PortDiscovery.h"

namespace zavro {

namespace {

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string text(const char* value) {
  return value != nullptr ? std::string(value) : std::string();
}

std::string trimmed(std::string value) {
  auto nl = value.find('\n');
  if (nl != std::string::npos) {
    value.erase(nl);
  }
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
    value.pop_back();
  }
  return value;
}

DeviceInfo describe(udev_device* device) {
  DeviceInfo info;
  info.subsystem = text(udev_device_get_subsystem(device));
  info.sysname = text(udev_device_get_sysname(device));
  info.devpath = text(udev_device_get_devpath(device));
  info.driver = text(udev_device_get_driver(device));
  for (udev_list_entry* e = udev_device_get_properties_list_entry(device); e != nullptr;
       e = udev_list_entry_get_next(e)) {
    info.properties[text(udev_list_entry_get_name(e))] = text(udev_list_entry_get_value(e));
  }
  for (const auto& name : PortDiscovery::attributeNames()) {
    if (const char* value = udev_device_get_sysattr_value(device, name.c_str()); value != nullptr) {
      info.attributes[name] = trimmed(value);
    }
  }
  std::string syspath = text(udev_device_get_syspath(device));
  std::error_code ec;
  for (const auto& name : PortDiscovery::entryNames()) {
    if (!syspath.empty() && std::filesystem::exists(syspath + "/" + name, ec)) {
      info.entries.insert(name);
    }
  }
  return info;
}

class UdevPortDiscovery : public PortDiscovery {
 public:
  std::optional<std::vector<PortDevice>> devices() const override {
    UdevPtr<udev> context(udev_new());
    if (!context) {
      return std::nullopt;
    }
    std::vector<PortDevice> out;
    for (const char* subsystem : {"net", "tty"}) {
      UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
      if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), subsystem) < 0 ||
          udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return std::nullopt;
      }
      for (udev_list_entry* e = udev_enumerate_get_list_entry(enumerate.get()); e != nullptr;
           e = udev_list_entry_get_next(e)) {
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(e)));
        if (!device) {
          continue;
        }
        PortDevice port;
        port.device = describe(device.get());
        // Parents belong to the child; they must not be unreferenced here.
        for (udev_device* up = udev_device_get_parent(device.get()); up != nullptr; up = udev_device_get_parent(up)) {
          port.parents.push_back(describe(up));
        }
        out.push_back(std::move(port));
      }
    }
    return out;
  }

  // Slots are not udev devices: they are read from sysfs as they stand.
  std::map<std::string, std::string> pciSlots() const override {
    std::map<std::string, std::string> slots;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/slots", ec)) {
      std::ifstream in(entry.path() / "address");
      std::string address;
      if (std::getline(in, address) && !trimmed(address).empty()) {
        slots[trimmed(address)] = entry.path().filename().string();
      }
    }
    return slots;
  }
};

}  // namespace

std::shared_ptr<PortDiscovery> PortDiscovery::makeUdev() {
  return std::make_shared<UdevPortDiscovery>();
}

}  // namespace zavro
