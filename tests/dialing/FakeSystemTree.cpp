// FakeSystemTree.
#include "FakeSystemTree.h"

#include <filesystem>

namespace zavro::test {

namespace fs = std::filesystem;

void FakeSystemTree::link(const std::string& target, const std::string& linkPath) const {
  fs::create_directories(fs::path(linkPath).parent_path());
  fs::create_directories(target);
  std::error_code ec;
  fs::remove(linkPath, ec);
  fs::create_directory_symlink(target, linkPath);
}

void FakeSystemTree::device(const std::string& devpath, const std::string& subsystem, const Values& attributes,
                            const std::string& driver, const Values& uevent) const {
  std::string dir = mDir.mkdir("sys/devices/" + devpath);
  bool isClass = subsystem == "net" || subsystem == "tty";
  link(mDir.file((isClass ? "sys/class/" : "sys/bus/") + subsystem), dir + "/subsystem");
  if (!driver.empty()) {
    link(mDir.file("sys/bus/" + subsystem + "/drivers/" + driver), dir + "/driver");
  }
  std::string ueventText;
  for (const auto& [key, value] : uevent) {
    ueventText += key + "=" + value + "\n";
  }
  mDir.write("sys/devices/" + devpath + "/uevent", ueventText);
  for (const auto& [name, value] : attributes) {
    mDir.write("sys/devices/" + devpath + "/" + name, value + "\n");
  }
}

void FakeSystemTree::classDevice(const std::string& parentDevpath, const std::string& subsystem,
                                 const std::string& name, const Values& attributes, const Values& uevent) const {
  std::string devpath = parentDevpath + "/" + subsystem + "/" + name;
  device(devpath, subsystem, attributes, {}, uevent);
  link(mDir.file("sys/devices/" + devpath), mDir.file("sys/class/" + subsystem + "/" + name));
}

void FakeSystemTree::udevData(const std::string& id, const Values& properties) const {
  std::string text;
  for (const auto& [key, value] : properties) {
    text += "E:" + key + "=" + value + "\n";
  }
  mDir.write("run/udev/data/" + id, text);
}

void FakeSystemTree::pciSlot(const std::string& name, const std::string& address) const {
  mDir.write("sys/bus/pci/slots/" + name + "/address", address + "\n");
}

}  // namespace zavro::test
