// Builds small sysfs and udev-database trees in a temporary folder, laid out like the live ones.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <utility>

#include "support/TempDir.h"

namespace zavro::test {

class FakeSystemTree {
 public:
  using Values = std::map<std::string, std::string>;

  const std::string& root() const { return mDir.path(); }
  std::string path(const std::string& relative) const { return mDir.file(relative); }

  // A device folder sys/devices/<devpath> with its subsystem link (class/<s> for net and tty, else
  // bus/<s>), optional driver link, uevent keys and attribute files.
  void device(const std::string& devpath, const std::string& subsystem, const Values& attributes = {},
              const std::string& driver = {}, const Values& uevent = {}) const;
  // A net or tty device below a parent, listed in sys/class/<subsystem>/<name>.
  void classDevice(const std::string& parentDevpath, const std::string& subsystem, const std::string& name,
                   const Values& attributes = {}, const Values& uevent = {}) const;
  // udev's database entry run/udev/data/<id> with E: properties.
  void udevData(const std::string& id, const Values& properties) const;
  void pciSlot(const std::string& name, const std::string& address) const;
  // Any other file below the root (script folders ...), folders created.
  std::string write(const std::string& relative, const std::string& bytes) const { return mDir.write(relative, bytes); }
  // An empty folder sys/devices/<devpath> (entries such as phy80211).
  void mkdirEntry(const std::string& devpath) const { mDir.mkdir("sys/devices/" + devpath); }

 private:
  void link(const std::string& target, const std::string& linkPath) const;
  TempDir mDir;
};

}  // namespace zavro::test
