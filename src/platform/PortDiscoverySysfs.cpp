// Reads net and tty devices straight from a sysfs tree and udev's database files below a root folder.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/PortDiscovery.h"

namespace zavro {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) {
    return {};
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.pop_back();
  }
  return line;
}

// KEY=VALUE lines (uevent) or, with a prefix such as "E:", udev database lines.
void readKeyValues(const fs::path& file, const std::string& prefix, std::map<std::string, std::string>& into) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    auto eq = line.find('=', prefix.size());
    if (eq == std::string::npos) {
      continue;
    }
    into[line.substr(prefix.size(), eq - prefix.size())] = line.substr(eq + 1);
  }
}

std::string linkLeaf(const fs::path& link) {
  std::error_code ec;
  fs::path target = fs::read_symlink(link, ec);
  return ec ? std::string() : target.filename().string();
}

class SysfsPortDiscovery : public PortDiscovery {
 public:
  explicit SysfsPortDiscovery(std::string root) : mRoot(root.empty() ? std::string("/") : std::move(root)) {}

  std::optional<std::vector<PortDevice>> devices() const override {
    std::error_code ec;
    fs::path sys = fs::path(mRoot) / "sys";
    fs::path sysReal = fs::canonical(sys, ec);
    if (ec || !fs::is_directory(sysReal / "class", ec)) {
      return std::nullopt;
    }
    std::vector<PortDevice> out;
    for (const char* subsystem : {"net", "tty"}) {
      fs::path classDir = sysReal / "class" / subsystem;
      if (!fs::is_directory(classDir, ec)) {
        continue;
      }
      std::vector<fs::path> entries;
      for (const auto& entry : fs::directory_iterator(classDir, ec)) {
        entries.push_back(entry.path());
      }
      std::sort(entries.begin(), entries.end());
      for (const auto& entry : entries) {
        fs::path real = fs::canonical(entry, ec);
        if (ec || !isBelow(real, sysReal / "devices")) {
          continue;
        }
        PortDevice port;
        port.device = readDevice(real, sysReal);
        if (port.device.subsystem.empty()) {
          port.device.subsystem = subsystem;
        }
        for (fs::path up = real.parent_path(); isBelow(up, sysReal / "devices"); up = up.parent_path()) {
          if (fs::exists(up / "uevent", ec)) {
            port.parents.push_back(readDevice(up, sysReal));
          }
        }
        out.push_back(std::move(port));
      }
    }
    return out;
  }

  std::map<std::string, std::string> pciSlots() const override {
    std::map<std::string, std::string> slots;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(mRoot) / "sys/bus/pci/slots", ec)) {
      std::string address = firstLine(entry.path() / "address");
      if (!address.empty()) {
        slots[address] = entry.path().filename().string();
      }
    }
    return slots;
  }

 private:
  static bool isBelow(const fs::path& path, const fs::path& top) {
    auto rel = path.lexically_relative(top);
    return !rel.empty() && *rel.begin() != ".." && rel != ".";
  }

  DeviceInfo readDevice(const fs::path& dir, const fs::path& sysReal) const {
    DeviceInfo info;
    info.sysname = dir.filename().string();
    info.devpath = "/" + dir.lexically_relative(sysReal).string();
    info.subsystem = linkLeaf(dir / "subsystem");
    info.driver = linkLeaf(dir / "driver");
    readKeyValues(dir / "uevent", "", info.properties);
    if (!info.driver.empty()) {
      info.properties.emplace("DRIVER", info.driver);
    }
    readKeyValues(fs::path(mRoot) / "run/udev/data" / udevDatabaseId(info), "E:", info.properties);
    std::error_code ec;
    for (const auto& name : attributeNames()) {
      fs::path file = dir / name;
      if (fs::is_regular_file(file, ec)) {
        info.attributes[name] = firstLine(file);
      }
    }
    for (const auto& name : entryNames()) {
      if (fs::exists(dir / name, ec)) {
        info.entries.insert(name);
      }
    }
    return info;
  }

  // The file name udev gives a device in its database.
  static std::string udevDatabaseId(const DeviceInfo& info) {
    std::string major = info.property("MAJOR");
    std::string minor = info.property("MINOR");
    if (!major.empty() && !minor.empty()) {
      return (info.subsystem == "block" ? "b" : "c") + major + ":" + minor;
    }
    std::string ifindex = info.property("IFINDEX");
    if (!ifindex.empty()) {
      return "n" + ifindex;
    }
    return "+" + info.subsystem + ":" + info.sysname;
  }

  std::string mRoot;
};

}  // namespace

std::shared_ptr<PortDiscovery> PortDiscovery::makeSysfs(std::string root) {
  return std::make_shared<SysfsPortDiscovery>(std::move(root));
}

}  // namespace zavro
