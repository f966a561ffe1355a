// netconfig arguments, login names and connection names of POPs.
#include <gtest/gtest.h>

#include "DialingFixtures.h"
#include "FakeSystemTree.h"
#include "net/ModemScriptList.h"
#include "phonebook/DialRules.h"
#include "phonebook/POP.h"
#include "phonebook/POPConnection.h"
#include "platform/CredentialStoreBackends.h"
#include "platform/ModemScripts.h"
#include "platform/PortDiscovery.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"

namespace zavro {
namespace {

using Args = std::vector<std::string>;
using test::popLine;

class POPConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One UART (so one modem port, "Modem Port") and a wired interface.
    ports.device("pnp0/00:05", "pnp", {}, "serial");
    ports.classDevice("pnp0/00:05", "tty", "ttyS0", {{"type", "4"}});
    env.writeConfig("pop_ssid.txt", "WL2,HotelNet\nWL3,CafeNet\n");
    env.writeConfig("pop_wep.txt", "WL3,0123456789\n");
    book = test::loadDialingBook(
        env,
        popLine("US", "Albany", "518", "5550101", "M1", "0x4") +
            popLine("US", "Albany", "518", "5550102", "M2", "0x4", {{6, "login.scr"}, {20, "192.0.2.53"}}) +
            popLine("US", "Albany", "518", "5550103", "M3", "0x4", {{20, "1"}, {7, "ZZ/"}, {8, "-x"}}) +
            popLine("US", "Fresno", "", "", "WL1", "0x10", {{31, "Fresno Inn Lobby"}}) +
            popLine("US", "Fresno", "", "", "WL2", "0x10") + popLine("US", "Fresno", "", "", "WL3", "0x10") +
            popLine("US", "Boston", "", "", "ET1", "0x8", {{31, "Conference Centre"}}),
        popLine("US", "Albany", "518", "5550199", "C1", "0x4", {{7, "cp/"}}));
  }

  // The administrator files as they stand now, and a user with a saved login.
  POPConnection connection(const std::string& config = "", const std::string& raspref = "") {
    env.writeConfig("config.ini", config);
    env.writeConfig("raspref.ini", raspref);
    auto admin = std::make_shared<AdminPrefs>();
    admin->load();
    user = std::make_shared<UserPrefs>(std::make_shared<PersistentDomain>(env.env().preferencesFile()), admin,
                                       std::make_shared<MemoryCredentialStore>());
    user->setUserName("ann", "s3cret");
    user->setDomain("corp");
    user->setFromCountry("US");
    user->setFromAreaCode("212");
    return POPConnection(
        {user, admin, std::make_shared<DialRules>(env.configDir()), PortDiscovery::makeSysfs(ports.root()),
         std::make_shared<ModemScripts>(ModemScripts({scriptDir.mkdir("user"), scriptDir.mkdir("system")}))});
  }
  const POP& pop(const std::string& id) const {
    auto p = book->popForID(id);
    EXPECT_TRUE(p) << id;
    return *p;
  }

  test::TestEnvironment env;
  test::FakeSystemTree ports;
  test::TempDir scriptDir;
  std::shared_ptr<PhoneBook> book;
  std::shared_ptr<UserPrefs> user;
};

TEST_F(POPConnectionTest, ModemPopWithNothingOptional) {
  auto c = connection("", "[Zavro]\nLoginFormat=%u:%d\n");
  user->setWaitToDial(false);
  EXPECT_EQ(c.configArguments(pop("M1")),
            (Args{"-dhcp", "yes", "-connection", "ppp", "-ppp-device", "Modem Port", "-ppp-account", "ann:corp",
                  "-ppp-password", "s3cret", "-ppp-wait-to-dial", "no"}));
}

TEST_F(POPConnectionTest, ModemPopWithEverything) {
  scriptDir.write("system/" + std::string(kDefaultModemScriptName), "ABORT BUSY\n");
  auto c = connection("[Profile]\nProxyZavroPop=1\nProxyServer=proxy.example:8080\nIdleTimeout=600,30,0\n",
                      "[Zavro]\nLoginFormat=%u\nFlagSpecificNameServers=1\nIpAddrDns=10.0.0.1\nIpAddrDnsAlt=0.0.0.0\n");
  user->setDialDevice("USB Modem");
  user->setWaitToDial(true);
  auto pulse = test::settingsMap({{"TonePulse", "1"}});
  EXPECT_EQ(c.configArguments(pop("M1"), &pulse),
            (Args{"-dhcp",
                  "yes",
                  "-proxy",
                  "http://proxy.example:8080",
                  "-dns-address",
                  "10.0.0.1",
                  "-connection",
                  "ppp",
                  "-ppp-device",
                  "USB Modem",
                  "-ppp-account",
                  "ann",
                  "-ppp-password",
                  "s3cret",
                  "-ppp-modem-script",
                  scriptDir.file("system/" + std::string(kDefaultModemScriptName)),
                  "-ppp-idle",
                  "600",
                  "-ppp-pulse",
                  "1",
                  "-ppp-wait-to-dial",
                  "yes"}));

  // The POP's own DNS server replaces the administrator's; its terminal script lives in the
  // configuration folder. The user's chosen script is found in the first folder that has it.
  scriptDir.write("user/Hayes", "x");
  scriptDir.write("system/Hayes", "x");
  user->setDialDeviceScript("Hayes");
  user->setTonePulse(0);
  EXPECT_EQ(c.configArguments(pop("M2")), (Args{"-dhcp",
                                                "yes",
                                                "-proxy",
                                                "http://proxy.example:8080",
                                                "-dns-address",
                                                "192.0.2.53",
                                                "-connection",
                                                "ppp",
                                                "-ppp-device",
                                                "USB Modem",
                                                "-ppp-account",
                                                "ann",
                                                "-ppp-password",
                                                "s3cret",
                                                "-ppp-modem-script",
                                                scriptDir.file("user/Hayes"),
                                                "-ppp-term-script",
                                                env.configDir() + "/Mac_login.scr",
                                                "-ppp-idle",
                                                "600",
                                                "-ppp-wait-to-dial",
                                                "yes"}));

  // A chosen script that is not installed is left out; the "Prefix" section gives pulse dialing.
  user->setDialDeviceScript("Gone");
  user->setTonePulse(1);
  Args args = c.configArguments(pop("M1"));
  EXPECT_EQ(std::count(args.begin(), args.end(), "-ppp-modem-script"), 0);
  EXPECT_NE(std::find(args.begin(), args.end(), "-ppp-pulse"), args.end());
}

TEST_F(POPConnectionTest, DnsServers) {
  struct Row {
    const char* name;
    std::string raspref;
    const char* pop;
    Args dns;
  };
  const Row rows[] = {
      {"off", "[Zavro]\nFlagSpecificNameServers=0\nIpAddrDns=10.0.0.1\n", "M1", {}},
      {"zero_and_empty_left_out", "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=0.0.0.0\nIpAddrDnsAlt=\n", "M1", {}},
      {"alternate_alone",
       "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=\nIpAddrDnsAlt=10.0.0.2\n",
       "M1",
       {"-alt-dns", "10.0.0.2"}},
      {"both",
       "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=10.0.0.1\nIpAddrDnsAlt=10.0.0.2\n",
       "M1",
       {"-dns-address", "10.0.0.1", "-alt-dns", "10.0.0.2"}},
      {"not_an_address_goes_through",
       "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=dns.example\n",
       "M1",
       {"-dns-address", "dns.example"}},
      {"pop_needs_dns_without_address", "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=10.0.0.1\n", "M3", {}},
      {"customer_pop_reads_its_own_section",
       "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=10.0.0.1\n[customer]\nFlagSpecificNameServers=1\nIpAddrDns=10.9."
       "9.9\n",
       "C1",
       {"-dns-address", "10.9.9.9"}},
      {"customer_pop_without_its_own", "[Zavro]\nFlagSpecificNameServers=1\nIpAddrDns=10.0.0.1\n", "C1", {}},
  };
  for (const Row& row : rows) {
    auto c = connection("", row.raspref);
    Args args = c.configArguments(pop(row.pop));
    Args expected = {"-dhcp", "yes"};
    expected.insert(expected.end(), row.dns.begin(), row.dns.end());
    expected.insert(expected.end(), {"-connection", "ppp"});
    ASSERT_GE(args.size(), expected.size()) << row.name;
    EXPECT_EQ(Args(args.begin(), args.begin() + static_cast<long>(expected.size())), expected) << row.name;
  }
}

TEST_F(POPConnectionTest, BroadbandInterfacesAndProxyChoice) {
  auto c = connection("[Profile]\nProxyCustomerPop=1\nProxyServer=proxy.example\n");
  EXPECT_EQ(c.configArguments(pop("WL1")), (Args{"-dhcp", "yes", "-connection", "airport"}));
  EXPECT_EQ(c.configArguments(pop("WL2")),
            (Args{"-dhcp", "yes", "-connection", "airport", "-airport-ssid", "HotelNet"}));
  EXPECT_EQ(c.configArguments(pop("WL3")), (Args{"-dhcp", "yes", "-connection", "airport", "-airport-ssid", "CafeNet",
                                                 "-airport-wep-key", "$0123456789"}));
  EXPECT_EQ(c.configArguments(pop("ET1")), (Args{"-dhcp", "yes", "-connection", "ethernet"}));
  // Only customer POPs go through the proxy here.
  Args customer = c.configArguments(pop("C1"));
  EXPECT_EQ(Args(customer.begin(), customer.begin() + 4), (Args{"-dhcp", "yes", "-proxy", "http://proxy.example"}));
}

TEST_F(POPConnectionTest, LoginNames) {
  struct Row {
    const char* name;
    std::string config, raspref;
    const char* pop;
    std::string user, domain;
    const char* expected;
  };
  const Row rows[] = {
      {"default_format", "[Domain]\nAuthPrefix=AP!\n", "", "M1", "ann", "corp", "AP!ann@corp"},
      {"prefix_user_suffix", "", "[Zavro]\nLoginFormat=%p%u%s\n", "M3", "ann", "corp", "ZZ/ann-x"},
      {"customer_default_format", "", "", "C1", "ann", "corp", "cp/ann"},
      {"customer_nt_domain_off", "", "[customer]\nLoginFormat=%t\\%u\nNTDomain=CORP\n", "C1", "ann", "corp", "\\ann"},
      {"customer_nt_domain_on", "", "[customer]\nLoginFormat=%t\\%u\nNTDomain=CORP\nUseNTDomain=1\n", "C1", "ann",
       "corp", "CORP\\ann"},
      {"nt_domain_only_for_customers", "", "[Zavro]\nLoginFormat=%t%u\n[customer]\nNTDomain=CORP\nUseNTDomain=1\n",
       "M1", "ann", "corp", "ann"},
      {"user_holding_a_later_placeholder", "", "[Zavro]\nLoginFormat=%u\n", "M1", "a%db", "corp", "acorpb"},
      {"domain_holding_an_earlier_placeholder", "", "[Zavro]\nLoginFormat=%d\n", "M1", "ann", "x%u", "x%u"},
      {"case_sensitive", "", "[Zavro]\nLoginFormat=%U%u\n", "M1", "ann", "corp", "%Uann"},
  };
  for (const Row& row : rows) {
    auto c = connection(row.config, row.raspref);
    user->setUserName(row.user);
    user->setDomain(row.domain);
    EXPECT_EQ(c.loginString(pop(row.pop)), row.expected) << row.name;
  }
}

TEST_F(POPConnectionTest, ConnectNames) {
  auto c = connection();
  user->setFollow(false);
  user->setLineAccess("9");
  EXPECT_EQ(c.connectName(pop("WL1"), kAccessWireless), "Fresno, Fresno Inn Lobby");
  EXPECT_EQ(c.connectName(pop("ET1"), kAccessBroadband), "Boston, Conference Centre");
  EXPECT_EQ(c.connectName(pop("M1"), kAccessModem), "Albany, 9, 1 518 5550101");
  auto bookmark = test::settingsMap({{"FromCountryCode", "US"}, {"FromAreaCode", "518"}});
  EXPECT_EQ(c.connectName(pop("M1"), kAccessModem, &bookmark), "Albany, 5550101");
  // The list's mask is the access type the rules see.
  EXPECT_EQ(c.connectName(pop("M1"), kAccessISDN, &bookmark), "Albany, 1 518 5550101");
}

TEST_F(POPConnectionTest, NoModemPortLeavesTheDeviceEmpty) {
  auto c = connection("", "[Zavro]\nLoginFormat=%u\n");
  POPConnection bare({user, nullptr, std::make_shared<DialRules>(env.configDir()),
                      PortDiscovery::makeSysfs(scriptDir.path()), std::make_shared<ModemScripts>(ModemScripts({}))});
  Args args = bare.configArguments(pop("M1"));
  auto device = std::find(args.begin(), args.end(), "-ppp-device");
  ASSERT_NE(device, args.end());
  EXPECT_EQ(*(device + 1), "");
}

}  // namespace
}  // namespace zavro
