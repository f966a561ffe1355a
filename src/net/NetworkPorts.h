// The machine's network and serial ports as port records with user-visible names, in display order.
//
// How Linux devices map onto port records (first matching row wins):
//
//   net devices: only ARPHRD_ETHER interfaces (sysfs type 1) with a parent device; /devices/virtual
//   (lo, bridges, veth, tun, ifb ...) is left out. "Type" "Ethernet", "MACAddress" the address.
//     wireless (DEVTYPE=wlan or a wireless/phy80211 entry), not on USB  → "AirPort", class 7
//     wireless on USB                                                    → "Wireless Network Adaptor", 8
//       (both with "Hardware" "AirPort"; wired interfaces keep "Ethernet")
//     the built-in wired interface: the one udev names onboard (ID_NET_NAME_ONBOARD), else the wired
//       non-USB interface with the lowest ifindex                       → "Built-in Ethernet", class 5
//     other wired interfaces on a PCI device                             → "PCI Ethernet Slot %2$@" or,
//       when that PCI device carries several interfaces, "PCI Ethernet Slot %2$@, Port %3$@"      6
//     anything else (USB adaptors ...)                                   → "Ethernet Adaptor (%1$@)", 9
//   tty devices: "Hardware" "Modem", "Type" "PPP", "SubType" "PPPSerial", "DeviceName" the tty name.
//     Left out: /devices/virtual (consoles, ptys), ttyS ports without a UART (type 0), and infrared
//     ports (ttyIR*, irda*, or under an IrDA driver: the base name "irda").
//     Modem type (class 2): a tty under cdc_acm or a USB modem driver (option, qcserial, sierra),
//     or on a PCI device of class 0x0703 (modem).
//     Base names (%4$@): a PCI modem → "modem"; other modem-type ports → "usbmodem"; the first ttyS
//     with a UART that is not a modem → "modem"; ircomm* → "IrDA-IrCOMM" (class 3, "HardwareVariant"
//     "IrDA-IrCOMM"); anything else its tty name.
//     modem type and base "modem"       → "Internal Modem", class 0
//     base "modem"                      → "Modem Port"
//     base "IrDA-IrCOMM"                → "IrDA Modem Port"
//     base "usbmodem" or a product name → the product name, else "USB Modem"; class 1 when modem type
//       (product name: nearest first, a device's USB "product" string, then udev's ID_MODEL_ENC, then
//       the hwdb's ID_MODEL_FROM_DATABASE)
//     anything else                     → "%4$@-port" with the tty name in lower case
//   Serial ports start in class 4. The list is sorted by class, then by name ignoring case.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/PortDiscovery.h"

namespace zavro {

// Keys: "Hardware", "Type", "SubType", "DeviceName", "UserDefinedName", "SortOrder" (decimal text),
// "MACAddress", "HardwareVariant".
using PortRecord = std::map<std::string, std::string>;

// "SortOrder" of a record as a number; 100 when absent.
int portSortOrder(const PortRecord& record);

// Asked for every port with its record (no "UserDefinedName" yet) and the proposed name, which may
// still hold the %1$@ … %4$@ placeholders; returns the name to use.
using PortNameCallback = std::function<std::string(const PortRecord& record, const std::string& proposedName)>;

// Status: 0, or kMoreSCErrCreate when the devices cannot be enumerated (`ports` is then empty).
constexpr int kMoreSCErrCreate = -4960;

int MoreSCCreatePortArray(std::vector<PortRecord>& ports, const PortDiscovery& discovery);
int MoreSCCreatePortArray(std::vector<PortRecord>& ports);  // the shared discovery

// Installs the naming callback for this process (an empty function keeps the proposed names).
// A newly installed Environment drops it.
void MoreSCFSetPortNameCallback(PortNameCallback callback);

class SCF {
 public:
  // "UserDefinedName" of every port whose "Hardware" is `kind`, in list order; empty when discovery fails.
  static std::vector<std::string> getPortUserNameArray(const std::string& kind, const PortDiscovery& discovery);
  static std::vector<std::string> getPortUserNameArray(const std::string& kind);
  // The "DeviceName" of the port listed under that user-visible name and kind, "" when there is none.
  static std::string deviceNameForPort(const std::string& userName, const std::string& kind,
                                       const PortDiscovery& discovery);
};

}  // namespace zavro
