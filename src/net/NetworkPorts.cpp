// Port records from the discovered devices: kinds, names, sort classes and the display order.
#include "net/NetworkPorts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>

#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

struct NamingState {
  std::mutex mutex;
  PortNameCallback callback;
};
ProcessWide<NamingState> gNaming([] { return std::make_shared<NamingState>(); });

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool startsWith(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool anyParent(const PortDevice& port, const std::function<bool(const DeviceInfo&)>& test) {
  return std::any_of(port.parents.begin(), port.parents.end(), test);
}

const DeviceInfo* nearestParent(const PortDevice& port, const std::string& subsystem) {
  for (const auto& parent : port.parents) {
    if (parent.subsystem == subsystem) {
      return &parent;
    }
  }
  return nullptr;
}

bool onUsb(const PortDevice& port) {
  return anyParent(port, [](const DeviceInfo& d) { return d.subsystem == "usb"; });
}

long numberOr(const std::string& text, long fallback) {
  if (text.empty()) {
    return fallback;
  }
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  return end == text.c_str() ? fallback : value;
}

// udev's ID_*_ENC values escape bytes as \xNN.
std::string decodeUdevString(const std::string& enc) {
  std::string out;
  for (size_t i = 0; i < enc.size(); ++i) {
    if (enc[i] == '\\' && i + 3 < enc.size() && enc[i + 1] == 'x' &&
        std::isxdigit(static_cast<unsigned char>(enc[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(enc[i + 3]))) {
      out.push_back(static_cast<char>(std::strtol(enc.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(enc[i]);
    }
  }
  while (!out.empty() && out.back() == ' ') {
    out.pop_back();
  }
  return out;
}

std::string productName(const PortDevice& port) {
  auto fromDevice = [](const DeviceInfo& d) -> std::string {
    if (auto product = d.attribute("product"); !product.empty()) {
      return product;
    }
    if (auto enc = decodeUdevString(d.property("ID_MODEL_ENC")); !enc.empty()) {
      return enc;
    }
    return d.property("ID_MODEL_FROM_DATABASE");
  };
  if (auto name = fromDevice(port.device); !name.empty()) {
    return name;
  }
  for (const auto& parent : port.parents) {
    if (auto name = fromDevice(parent); !name.empty()) {
      return name;
    }
  }
  return {};
}

// One port on its way to a record: the record so far, the name template and the placeholder values.
struct Candidate {
  PortRecord record;
  int sortClass = 100;
  std::string proposedName;
  std::string interfaceName;  // %1$@
  std::string slotName;       // %2$@
  std::string portIndex;      // %3$@
  std::string baseName;       // %4$@
};

// ---- network interfaces

bool isWireless(const PortDevice& port) {
  return port.device.property("DEVTYPE") == "wlan" || port.device.entries.count("wireless") != 0 ||
         port.device.entries.count("phy80211") != 0;
}

std::string slotNumber(std::string slot) {
  if (slot.empty()) {
    return "unknown";
  }
  if (startsWith(slot, "SLOT-")) {
    slot.erase(0, 5);
  }
  static const std::map<std::string, std::string> renames = {{"A1", "1"},  {"B1", "2"},  {"C1", "3"}, {"J12", "1"},
                                                             {"J11", "2"}, {"J10", "3"}, {"J9", "4"}, {"A", "1"},
                                                             {"B", "2"},   {"C", "3"},   {"D", "4"}};
  auto it = renames.find(slot);
  return it == renames.end() ? slot : it->second;
}

// "0000:03:00.1" → "0000:03:00"
std::string pciSlotAddress(const std::string& pciName) {
  auto dot = pciName.rfind('.');
  return dot == std::string::npos ? pciName : pciName.substr(0, dot);
}

void addNetworkCandidates(const std::vector<const PortDevice*>& nets, const PortDiscovery& discovery,
                          std::vector<Candidate>& out) {
  // The built-in wired interface: onboard by udev's naming, else the lowest ifindex not on USB.
  const PortDevice* builtIn = nullptr;
  auto ifindex = [](const PortDevice* p) {
    return numberOr(p->device.attribute("ifindex"), numberOr(p->device.property("IFINDEX"), 1L << 30));
  };
  for (const PortDevice* p : nets) {
    if (isWireless(*p) || onUsb(*p)) {
      continue;
    }
    bool onboard = !p->device.property("ID_NET_NAME_ONBOARD").empty();
    bool builtInOnboard = builtIn != nullptr && !builtIn->device.property("ID_NET_NAME_ONBOARD").empty();
    if (builtIn == nullptr || (onboard && !builtInOnboard) ||
        (onboard == builtInOnboard && ifindex(p) < ifindex(builtIn))) {
      builtIn = p;
    }
  }

  // Interfaces per PCI device (bus:device), for the port index of multi-port cards.
  std::map<std::string, std::vector<const PortDevice*>> perPciDevice;
  for (const PortDevice* p : nets) {
    const DeviceInfo* pci = nearestParent(*p, "pci");
    if (p != builtIn && !isWireless(*p) && !onUsb(*p) && pci != nullptr) {
      perPciDevice[pciSlotAddress(pci->sysname)].push_back(p);
    }
  }
  for (auto& [address, group] : perPciDevice) {
    std::sort(group.begin(), group.end(), [](const PortDevice* a, const PortDevice* b) {
      auto key = [](const PortDevice* p) {
        return std::make_tuple(nearestParent(*p, "pci")->sysname, numberOr(p->device.attribute("dev_port"), 0),
                               p->device.sysname);
      };
      return key(a) < key(b);
    });
  }
  std::map<std::string, std::string> slots;
  if (!perPciDevice.empty()) {
    slots = discovery.pciSlots();
  }

  for (const PortDevice* p : nets) {
    Candidate c;
    c.interfaceName = p->device.sysname;
    c.record["Hardware"] = "Ethernet";
    c.record["Type"] = "Ethernet";
    c.record["DeviceName"] = p->device.sysname;
    if (auto mac = p->device.attribute("address"); !mac.empty()) {
      c.record["MACAddress"] = mac;
    }
    const DeviceInfo* pci = nearestParent(*p, "pci");
    if (isWireless(*p)) {
      c.record["Hardware"] = "AirPort";
      if (onUsb(*p)) {
        c.proposedName = "Wireless Network Adaptor";
        c.sortClass = 8;
      } else {
        c.proposedName = "AirPort";
        c.sortClass = 7;
      }
    } else if (p == builtIn) {
      c.proposedName = "Built-in Ethernet";
      c.sortClass = 5;
    } else if (pci != nullptr && !onUsb(*p)) {
      std::string address = pciSlotAddress(pci->sysname);
      auto slot = slots.find(address);
      c.slotName = slotNumber(slot == slots.end() ? std::string() : slot->second);
      const auto& group = perPciDevice[address];
      if (group.size() > 1) {
        auto pos = std::find(group.begin(), group.end(), p) - group.begin();
        c.portIndex = std::to_string(pos + 1);
        c.proposedName = "PCI Ethernet Slot %2$@, Port %3$@";
      } else {
        c.proposedName = "PCI Ethernet Slot %2$@";
      }
      c.sortClass = 6;
    } else {
      c.proposedName = "Ethernet Adaptor (%1$@)";
      c.sortClass = 9;
    }
    out.push_back(std::move(c));
  }
}

// ---- serial ports

bool isInfrared(const PortDevice& port) {
  const std::string& name = port.device.sysname;
  if (startsWith(name, "ttyIR") || startsWith(lower(name), "irda")) {
    return true;
  }
  static const std::set<std::string> irDrivers = {"irtty-sir", "nsc-ircc", "smsc-ircc2", "ali-ircc", "via-ircc"};
  return anyParent(port, [](const DeviceInfo& d) { return irDrivers.count(d.driver) != 0; });
}

bool isPciModem(const PortDevice& port) {
  return anyParent(
      port, [](const DeviceInfo& d) { return d.subsystem == "pci" && startsWith(d.attribute("class"), "0x0703"); });
}

bool isModemType(const PortDevice& port) {
  static const std::set<std::string> modemDrivers = {"cdc_acm", "option", "option1", "qcserial", "sierra"};
  return isPciModem(port) || anyParent(port, [](const DeviceInfo& d) { return modemDrivers.count(d.driver) != 0; });
}

bool isUartPort(const PortDevice& port) {
  return startsWith(port.device.sysname, "ttyS");
}

bool hasUart(const PortDevice& port) {
  return numberOr(port.device.attribute("type"), 0) != 0;
}

// Which serial devices are ports at all, in the order the listing wants them: modem type, then the rest.
std::vector<const PortDevice*> listedSerialPorts(const std::vector<const PortDevice*>& ttys) {
  std::vector<const PortDevice*> modems, others;
  for (const PortDevice* p : ttys) {
    const bool ircomm = startsWith(p->device.sysname, "ircomm");
    if (!ircomm && (p->device.isVirtual() || p->parents.empty())) {
      continue;
    }
    if (isUartPort(*p) && !hasUart(*p)) {
      continue;
    }
    if (isInfrared(*p)) {
      continue;
    }
    (isModemType(*p) ? modems : others).push_back(p);
  }
  modems.insert(modems.end(), others.begin(), others.end());
  return modems;
}

long ttyNumber(const std::string& name) {
  auto digits = name.find_first_of("0123456789");
  return digits == std::string::npos ? 0 : std::strtol(name.c_str() + digits, nullptr, 10);
}

void addSerialCandidates(const std::vector<const PortDevice*>& ttys, std::vector<Candidate>& out) {
  std::vector<const PortDevice*> ports = listedSerialPorts(ttys);
  // The motherboard's first UART plays the part of the classic modem port.
  const PortDevice* firstUart = nullptr;
  for (const PortDevice* p : ports) {
    if (isUartPort(*p) && !isModemType(*p) &&
        (firstUart == nullptr || ttyNumber(p->device.sysname) < ttyNumber(firstUart->device.sysname))) {
      firstUart = p;
    }
  }
  for (const PortDevice* p : ports) {
    Candidate c;
    c.record["Hardware"] = "Modem";
    c.record["Type"] = "PPP";
    c.record["SubType"] = "PPPSerial";
    c.record["DeviceName"] = p->device.sysname;
    const bool modemType = isModemType(*p);
    if (startsWith(p->device.sysname, "ircomm")) {
      c.baseName = "IrDA-IrCOMM";
    } else if (modemType) {
      c.baseName = isPciModem(*p) ? "modem" : "usbmodem";
    } else if (p == firstUart) {
      c.baseName = "modem";
    } else {
      c.baseName = p->device.sysname;
    }
    c.sortClass = 4;
    if (startsWith(c.baseName, "IrDA-IrCOMM")) {
      c.sortClass = 3;
      c.record["HardwareVariant"] = "IrDA-IrCOMM";
    }
    if (modemType) {
      c.sortClass = 2;
    }
    std::string product = productName(*p);
    if (modemType && c.baseName == "modem") {
      c.proposedName = "Internal Modem";
      c.sortClass = 0;
    } else if (c.baseName == "modem") {
      c.proposedName = "Modem Port";
    } else if (c.baseName == "printer") {
      c.proposedName = "Printer Port";
    } else if (c.baseName == "modem-printer") {
      c.proposedName = "Modem/Printer Port";
    } else if (c.baseName == "IrDA-IrCOMM") {
      c.proposedName = "IrDA Modem Port";
    } else if (c.baseName == "usbmodem" || !product.empty()) {
      c.proposedName = product.empty() ? "USB Modem" : product;
      if (modemType) {
        c.sortClass = 1;
      }
    } else {
      c.proposedName = "%4$@-port";
      c.baseName = lower(c.baseName);
    }
    out.push_back(std::move(c));
  }
}

// Placeholder values are substituted in one pass so that a value holding "%2$@" stays as it is.
std::string substitutePlaceholders(const std::string& name, const Candidate& c) {
  const std::pair<const char*, const std::string*> values[] = {
      {"%1$@", &c.interfaceName}, {"%2$@", &c.slotName}, {"%3$@", &c.portIndex}, {"%4$@", &c.baseName}};
  std::string out;
  for (size_t i = 0; i < name.size();) {
    bool replaced = false;
    for (const auto& [placeholder, value] : values) {
      if (name.compare(i, 4, placeholder) == 0) {
        out += *value;
        i += 4;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      out.push_back(name[i++]);
    }
  }
  return out;
}

int compareIgnoringCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

int portSortOrder(const PortRecord& record) {
  auto it = record.find("SortOrder");
  return it == record.end() ? 100 : static_cast<int>(numberOr(it->second, 100));
}

void MoreSCFSetPortNameCallback(PortNameCallback callback) {
  auto state = gNaming.get();
  std::lock_guard lock(state->mutex);
  state->callback = std::move(callback);
}

int MoreSCCreatePortArray(std::vector<PortRecord>& ports, const PortDiscovery& discovery) {
  ports.clear();
  auto devices = discovery.devices();
  if (!devices) {
    return kMoreSCErrCreate;
  }
  std::vector<const PortDevice*> nets, ttys;
  for (const auto& d : *devices) {
    if (d.device.subsystem == "net") {
      // Ethernet-family interfaces with real hardware behind them.
      if (!d.device.isVirtual() && !d.parents.empty() && d.device.attribute("type") == "1") {
        nets.push_back(&d);
      }
    } else if (d.device.subsystem == "tty") {
      ttys.push_back(&d);
    }
  }
  std::vector<Candidate> candidates;
  addNetworkCandidates(nets, discovery, candidates);
  addSerialCandidates(ttys, candidates);

  PortNameCallback callback;
  {
    auto state = gNaming.get();
    std::lock_guard lock(state->mutex);
    callback = state->callback;
  }
  std::vector<std::pair<int, PortRecord>> sorted;
  for (auto& c : candidates) {
    c.record["SortOrder"] = std::to_string(c.sortClass);
    std::string name = callback ? callback(c.record, c.proposedName) : c.proposedName;
    c.record["UserDefinedName"] = substitutePlaceholders(name, c);
    sorted.emplace_back(c.sortClass, std::move(c.record));
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) {
      return a.first < b.first;
    }
    return compareIgnoringCase(a.second.at("UserDefinedName"), b.second.at("UserDefinedName")) < 0;
  });
  for (auto& [order, record] : sorted) {
    ports.push_back(std::move(record));
  }
  return 0;
}

int MoreSCCreatePortArray(std::vector<PortRecord>& ports) {
  return MoreSCCreatePortArray(ports, *PortDiscovery::shared());
}

std::vector<std::string> SCF::getPortUserNameArray(const std::string& kind, const PortDiscovery& discovery) {
  std::vector<PortRecord> ports;
  std::vector<std::string> names;
  if (MoreSCCreatePortArray(ports, discovery) != 0) {
    return names;
  }
  for (const auto& port : ports) {
    if (auto it = port.find("Hardware"); it != port.end() && it->second == kind) {
      names.push_back(port.at("UserDefinedName"));
    }
  }
  return names;
}

std::vector<std::string> SCF::getPortUserNameArray(const std::string& kind) {
  return getPortUserNameArray(kind, *PortDiscovery::shared());
}

std::string SCF::deviceNameForPort(const std::string& userName, const std::string& kind,
                                   const PortDiscovery& discovery) {
  std::vector<PortRecord> ports;
  MoreSCCreatePortArray(ports, discovery);
  for (const auto& port : ports) {
    auto hardware = port.find("Hardware");
    if (hardware != port.end() && hardware->second == kind && port.at("UserDefinedName") == userName) {
      return port.at("DeviceName");
    }
  }
  return {};
}

}  // namespace zavro
