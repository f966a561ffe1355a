// Port records, names and their order from fixture device trees, and the live udev backend.
#include <gtest/gtest.h>

#include <utility>

#include "FakeSystemTree.h"
#include "net/NetworkPorts.h"
#include "platform/PortDiscovery.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::FakeSystemTree;

std::vector<std::pair<std::string, std::string>> namesAndDevices(const std::vector<PortRecord>& ports) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& p : ports) {
    out.emplace_back(p.at("UserDefinedName"), p.at("DeviceName"));
  }
  return out;
}

const PortRecord* find(const std::vector<PortRecord>& ports, const std::string& device) {
  for (const auto& p : ports) {
    if (p.at("DeviceName") == device) {
      return &p;
    }
  }
  return nullptr;
}

// A laptop with most kinds of port, plus the devices that must not be listed.
void buildLaptop(const FakeSystemTree& t) {
  // On-board wired interface; udev names it onboard although its ifindex is not the lowest.
  t.device("pci0000:00/0000:00:19.0", "pci", {{"class", "0x020000"}}, "e1000e");
  t.classDevice("pci0000:00/0000:00:19.0", "net", "eno1",
                {{"type", "1"}, {"address", "00:11:22:33:44:55"}, {"ifindex", "3"}}, {{"IFINDEX", "3"}});
  t.udevData("n3", {{"ID_NET_NAME_ONBOARD", "eno1"}});
  // A dual-port card in a named slot.
  t.device("pci0000:00/0000:00:1c.0/0000:03:00.0", "pci", {{"class", "0x020000"}}, "igb");
  t.device("pci0000:00/0000:00:1c.0/0000:03:00.1", "pci", {{"class", "0x020000"}}, "igb");
  t.classDevice("pci0000:00/0000:00:1c.0/0000:03:00.1", "net", "enp3s0f1", {{"type", "1"}, {"ifindex", "2"}});
  t.classDevice("pci0000:00/0000:00:1c.0/0000:03:00.0", "net", "enp3s0f0", {{"type", "1"}, {"ifindex", "5"}});
  t.pciSlot("SLOT-B1", "0000:03:00");
  // Built-in and USB wireless.
  t.device("pci0000:00/0000:00:14.3", "pci", {}, "iwlwifi");
  t.classDevice("pci0000:00/0000:00:14.3", "net", "wlp0s20f3", {{"type", "1"}}, {{"DEVTYPE", "wlan"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-4", "usb", {{"product", "Dongle"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0", "usb", {}, "rt2800usb");
  t.classDevice("pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0", "net", "wlx001122", {{"type", "1"}});
  t.mkdirEntry("pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/net/wlx001122/phy80211");
  // USB Ethernet adaptor.
  t.device("pci0000:00/0000:00:14.0/usb1/1-3", "usb", {{"product", "USB 10/100 LAN"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0", "usb", {}, "r8152");
  t.classDevice("pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0", "net", "enx00e04c", {{"type", "1"}, {"ifindex", "1"}});
  // Not listed: loopback, a bridge, an infiniband link (not Ethernet family).
  t.classDevice("virtual", "net", "lo", {{"type", "772"}});
  t.classDevice("virtual", "net", "br0", {{"type", "1"}});
  t.device("pci0000:00/0000:00:1d.0", "pci", {}, "mlx4_core");
  t.classDevice("pci0000:00/0000:00:1d.0", "net", "ib0", {{"type", "32"}});

  // PCI modem on its own UART.
  t.device("pci0000:00/0000:00:1b.0", "pci", {{"class", "0x070300"}}, "serial");
  t.classDevice("pci0000:00/0000:00:1b.0", "tty", "ttyS4", {{"type", "4"}}, {{"MAJOR", "4"}, {"MINOR", "68"}});
  // CDC-ACM modems: one with a product string, one known only to the hwdb, one with no name at all.
  t.device("pci0000:00/0000:00:14.0/usb1/1-2", "usb", {{"product", "ZX 56K USB Modem"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", "usb", {}, "cdc_acm");
  t.classDevice("pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", "tty", "ttyACM0", {}, {{"MAJOR", "166"}, {"MINOR", "0"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-5", "usb");
  t.device("pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0", "usb", {}, "cdc_acm");
  t.classDevice("pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0", "tty", "ttyACM1", {}, {{"MAJOR", "166"}, {"MINOR", "1"}});
  t.udevData("c166:1", {{"ID_MODEL_FROM_DATABASE", "Data Modem 336"}});
  t.device("pci0000:00/0000:00:14.0/usb1/1-6", "usb");
  t.device("pci0000:00/0000:00:14.0/usb1/1-6/1-6:1.0", "usb", {}, "cdc_acm");
  t.classDevice("pci0000:00/0000:00:14.0/usb1/1-6/1-6:1.0", "tty", "ttyACM2", {}, {{"MAJOR", "166"}, {"MINOR", "2"}});
  // Motherboard UARTs: ttyS0 and ttyS2 have one, ttyS1 does not.
  t.device("pnp0/00:05", "pnp", {}, "serial");
  t.classDevice("pnp0/00:05", "tty", "ttyS0", {{"type", "4"}});
  t.device("platform/serial8250", "platform", {}, "serial8250");
  t.classDevice("platform/serial8250", "tty", "ttyS1", {{"type", "0"}});
  t.classDevice("platform/serial8250", "tty", "ttyS2", {{"type", "4"}});
  // Infrared: the raw IrDA port is left out, its IrCOMM tty is listed.
  t.device("pnp0/00:07", "pnp", {}, "nsc-ircc");
  t.classDevice("pnp0/00:07", "tty", "ttyS3", {{"type", "4"}});
  t.classDevice("virtual", "tty", "ircomm0");
  // Consoles and ptys.
  t.classDevice("virtual", "tty", "tty0");
  t.classDevice("virtual", "tty", "ptmx");
}

TEST(PortList, LaptopOrderNamesAndRecords) {
  test::TestEnvironment env;
  FakeSystemTree tree;
  buildLaptop(tree);
  std::vector<PortRecord> ports;
  ASSERT_EQ(MoreSCCreatePortArray(ports, *PortDiscovery::makeSysfs(tree.root())), 0);

  std::vector<std::pair<std::string, std::string>> expected = {
      {"Internal Modem", "ttyS4"},
      {"Data Modem 336", "ttyACM1"},
      {"USB Modem", "ttyACM2"},
      {"ZX 56K USB Modem", "ttyACM0"},
      {"IrDA Modem Port", "ircomm0"},
      {"Modem Port", "ttyS0"},
      {"ttys2-port", "ttyS2"},
      {"Built-in Ethernet", "eno1"},
      {"PCI Ethernet Slot 2, Port 1", "enp3s0f0"},
      {"PCI Ethernet Slot 2, Port 2", "enp3s0f1"},
      {"AirPort", "wlp0s20f3"},
      {"Wireless Network Adaptor", "wlx001122"},
      {"Ethernet Adaptor (enx00e04c)", "enx00e04c"},
  };
  EXPECT_EQ(namesAndDevices(ports), expected);

  const PortRecord* eth = find(ports, "eno1");
  ASSERT_NE(eth, nullptr);
  EXPECT_EQ(*eth, (PortRecord{{"Hardware", "Ethernet"},
                              {"Type", "Ethernet"},
                              {"DeviceName", "eno1"},
                              {"UserDefinedName", "Built-in Ethernet"},
                              {"SortOrder", "5"},
                              {"MACAddress", "00:11:22:33:44:55"}}));
  EXPECT_EQ(find(ports, "wlx001122")->at("Hardware"), "AirPort");
  EXPECT_EQ(find(ports, "wlp0s20f3")->at("Hardware"), "AirPort");
  EXPECT_EQ(*find(ports, "ttyS4"), (PortRecord{{"Hardware", "Modem"},
                                               {"Type", "PPP"},
                                               {"SubType", "PPPSerial"},
                                               {"DeviceName", "ttyS4"},
                                               {"UserDefinedName", "Internal Modem"},
                                               {"SortOrder", "0"}}));
  EXPECT_EQ(portSortOrder(*find(ports, "ttyACM0")), 1);
  EXPECT_EQ(portSortOrder(*find(ports, "ttyS2")), 4);
  EXPECT_EQ(find(ports, "ircomm0")->at("HardwareVariant"), "IrDA-IrCOMM");
  EXPECT_EQ(portSortOrder(*find(ports, "ircomm0")), 3);
  EXPECT_EQ(portSortOrder(PortRecord{}), 100);

  EXPECT_EQ(SCF::getPortUserNameArray("Modem", *PortDiscovery::makeSysfs(tree.root())),
            (std::vector<std::string>{"Internal Modem", "Data Modem 336", "USB Modem", "ZX 56K USB Modem",
                                      "IrDA Modem Port", "Modem Port", "ttys2-port"}));
  EXPECT_EQ(SCF::deviceNameForPort("USB Modem", "Modem", *PortDiscovery::makeSysfs(tree.root())), "ttyACM2");
  EXPECT_EQ(SCF::deviceNameForPort("USB Modem", "Ethernet", *PortDiscovery::makeSysfs(tree.root())), "");
}

TEST(PortList, WithoutSerialPortsTheModemListIsEmpty) {
  test::TestEnvironment env;
  FakeSystemTree tree;
  tree.device("pci0000:00/0000:00:03.0", "pci", {}, "virtio-pci");
  tree.classDevice("pci0000:00/0000:00:03.0", "net", "eth0", {{"type", "1"}, {"address", "52:54:00:12:34:56"}});
  tree.classDevice("virtual", "tty", "console");
  tree.classDevice("platform/serial8250", "tty", "ttyS0", {{"type", "0"}});
  auto discovery = PortDiscovery::makeSysfs(tree.root());
  EXPECT_TRUE(SCF::getPortUserNameArray("Modem", *discovery).empty());
  EXPECT_EQ(SCF::getPortUserNameArray("Ethernet", *discovery), std::vector<std::string>{"Built-in Ethernet"});
}

TEST(PortList, UnreadableTreeFailsAndListsNothing) {
  test::TestEnvironment env;
  test::TempDir empty;
  auto discovery = PortDiscovery::makeSysfs(empty.path() + "/missing");
  std::vector<PortRecord> ports{PortRecord{{"DeviceName", "stale"}}};
  EXPECT_EQ(MoreSCCreatePortArray(ports, *discovery), kMoreSCErrCreate);
  EXPECT_TRUE(ports.empty());
  EXPECT_TRUE(SCF::getPortUserNameArray("Modem", *discovery).empty());
}

TEST(PortList, NamingCallbackSeesProposedNamesAndItsPlaceholdersAreFilled) {
  test::TestEnvironment env;
  FakeSystemTree tree;
  buildLaptop(tree);
  std::vector<std::string> asked;
  MoreSCFSetPortNameCallback([&](const PortRecord& record, const std::string& proposed) {
    asked.push_back(proposed);
    if (record.at("DeviceName") == "ttyS0") {
      return std::string("Dock %4$@ on %1$@");
    }
    return proposed;
  });
  std::vector<PortRecord> ports;
  ASSERT_EQ(MoreSCCreatePortArray(ports, *PortDiscovery::makeSysfs(tree.root())), 0);
  EXPECT_EQ(find(ports, "ttyS0")->at("UserDefinedName"), "Dock modem on ");
  EXPECT_NE(std::find(asked.begin(), asked.end(), "PCI Ethernet Slot %2$@, Port %3$@"), asked.end());
  EXPECT_NE(std::find(asked.begin(), asked.end(), "%4$@-port"), asked.end());

  // A new environment drops the callback.
  test::TestEnvironment fresh;
  ASSERT_EQ(MoreSCCreatePortArray(ports, *PortDiscovery::makeSysfs(tree.root())), 0);
  EXPECT_EQ(find(ports, "ttyS0")->at("UserDefinedName"), "Modem Port");
}

TEST(PortList, PciSlotNamesAndSingleInterfaceCards) {
  test::TestEnvironment env;
  struct Row {
    const char* slot;
    const char* expected;
  };
  for (const Row& row : {Row{"SLOT-J11", "PCI Ethernet Slot 2"}, Row{"C", "PCI Ethernet Slot 3"},
                         Row{"7", "PCI Ethernet Slot 7"}, Row{nullptr, "PCI Ethernet Slot unknown"}}) {
    FakeSystemTree tree;
    tree.device("pci0000:00/0000:00:19.0", "pci", {}, "e1000e");
    tree.classDevice("pci0000:00/0000:00:19.0", "net", "eth0", {{"type", "1"}, {"ifindex", "2"}});
    tree.device("pci0000:00/0000:00:1c.0/0000:04:00.0", "pci", {}, "r8169");
    tree.classDevice("pci0000:00/0000:00:1c.0/0000:04:00.0", "net", "eth1", {{"type", "1"}, {"ifindex", "3"}});
    if (row.slot != nullptr) {
      tree.pciSlot(row.slot, "0000:04:00");
    }
    std::vector<PortRecord> ports;
    ASSERT_EQ(MoreSCCreatePortArray(ports, *PortDiscovery::makeSysfs(tree.root())), 0);
    EXPECT_EQ(namesAndDevices(ports),
              (std::vector<std::pair<std::string, std::string>>{{"Built-in Ethernet", "eth0"}, {row.expected, "eth1"}}))
        << (row.slot ? row.slot : "no slot");
  }
}

// libudev reads the real /sys, the fixture reader can too: both must describe this machine alike.
TEST(PortList, UdevAndSysfsAgreeOnThisMachine) {
  test::TestEnvironment env;
  std::vector<PortRecord> viaUdev, viaSysfs;
  ASSERT_EQ(MoreSCCreatePortArray(viaUdev, *PortDiscovery::makeUdev()), 0);
  ASSERT_EQ(MoreSCCreatePortArray(viaSysfs, *PortDiscovery::makeSysfs("")), 0);
  EXPECT_EQ(namesAndDevices(viaUdev), namesAndDevices(viaSysfs));
}

}  // namespace
}  // namespace zavro
