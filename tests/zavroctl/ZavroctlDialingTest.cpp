// zavroctl dial strings, netconfig arguments, login and connection names and prefs, end to end on a
// fixture installation, a fixture device tree and preferences prepared by `zavroctl prefs set`.
#include <gtest/gtest.h>

#include <filesystem>

#include "../dialing/FakeSystemTree.h"
#include "common/ZavroEncryptedData.h"
#include "runtime/PersistentDomain.h"
#include "runtime/Process.h"
#include "settings/Preferences.h"
#include "settings/UserPrefs.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class ZavroctlDialing : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::string(ZAVRO_TEST_DATA_DIR) + "/dialing/config", install.mkdir("Configuration"),
                          std::filesystem::copy_options::recursive);
    // One UART, one wired interface; a modem script in the user's folder and one in the system's.
    system.device("pnp0/00:05", "pnp", {}, "serial");
    system.classDevice("pnp0/00:05", "tty", "ttyS0", {{"type", "4"}});
    system.device("pci0000:00/0000:00:19.0", "pci", {}, "e1000e");
    system.classDevice("pci0000:00/0000:00:19.0", "net", "eth0", {{"type", "1"}});
    userScripts = env.env().dataHome() + "/ZavroConnect/Modem Scripts";
    system.write("etc/chatscripts/Hayes", "ABORT BUSY\n");
    std::filesystem::create_directories(userScripts);
    test::writeFile(userScripts + "/Hayes", "ABORT BUSY\n");
  }

  Result run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--install-dir", install.path()});
    Process::Options options;
    options.pipeStdout = true;
    options.pipeStderr = true;
    options.extraEnvironment = env.childEnvironment();
    options.extraEnvironment.push_back("ZAVRO_SYSTEM_ROOT=" + system.root());
    options.extraEnvironment.push_back("ZAVRO_PLATFORM=sim");
    Result r;
    auto process = Process::start(std::string(ZAVRO_STAGE_DIR) + "/bin/zavroctl", args, options);
    if (!process) {
      return r;
    }
    r.out = process->readAllStdout();
    r.err = process->readAllStderr();
    r.status = process->wait();
    return r;
  }

  void set(const std::string& section, const std::string& key, const std::string& value) const {
    Result r = run({"prefs", "set", section, key, value});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out, "");
  }

  // A dialing location in New York and a login, as a helpdesk script would prepare them.
  void prepareUser() const {
    set("Prefix", "FromCountryCode", "US");
    set("Prefix", "FromAreaCode", "212");
    set("Prefix", "Follow", "NO");
    set("Prefix", "Access", "9");
    set("Login", "UserName", "ann");
    set("Login", "Domain", "corp");
    set("Connect", "WaitToDial", "NO");
  }

  test::TestEnvironment env;
  test::TempDir install;
  test::FakeSystemTree system;
  std::string userScripts;
};

TEST_F(ZavroctlDialing, DialStringsLoginsAndConnectNames) {
  prepareUser();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* out;
  };
  const Case cases[] = {
      {"same_area", {"dialstring", "M212"}, "9, 5551234\n"},
      {"other_area", {"dialstring", "M415"}, "9, 1 415 5551234\n"},
      {"abroad", {"dialstring", "GB20"}, "9, 011 44 20 71234567\n"},
      {"isdn_pop_from_the_us", {"dialstring", "DE30I"}, "9, 1 30 1234567\n"},
      {"access_option", {"dialstring", "M415", "--access", "0x4"}, "9, 1 415 5551234\n"},
      {"login_service_pop", {"login", "GB20"}, "ZZ/ann@corp-uk\n"},
      {"login_customer_pop", {"login", "C212"}, "CORP\\cp/ann\n"},
      {"connectname_dialup", {"connectname", "M415"}, "San Francisco, 9, 1 415 5551234\n"},
      {"connectname_broadband", {"connectname", "WL1"}, "Fresno, Fresno Inn Lobby\n"},
      // Modem and ISDN bits: named as the modem list names it, like dialstring without --access.
      {"connectname_first_access_group", {"connectname", "GB20MI"}, "London, 9, 011 44 20 71234568\n"},
      {"dialstring_first_access_group", {"dialstring", "GB20MI"}, "9, 011 44 20 71234568\n"},
      {"connectname_as_broadband", {"connectname", "M212", "--access=0x8"}, "New York, \n"},
  };
  for (const auto& c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }

  // A changed location reaches the next run.
  set("Prefix", "FromAreaCode", "415");
  EXPECT_EQ(run({"dialstring", "M415"}).out, "9, 5551234\n");
  EXPECT_EQ(run({"prefs", "unset", "Prefix", "Access"}).status, 0);
  EXPECT_EQ(run({"dialstring", "M212"}).out, "1 212 5551234\n");

  // No calling code for the POP's country: not dialable.
  Result r = run({"dialstring", "ZZ1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot be dialed"), std::string::npos) << r.err;
}

TEST_F(ZavroctlDialing, ArgumentsWithTheUsersScriptAndAMaskedPassword) {
  prepareUser();
  set("Connect", "DeviceScript", "Hayes");
  // A password kept the old way in the preferences: the tool finds it as the app would, but never shows it.
  {
    PersistentDomain domain(env.env().preferencesFile());
    auto login = domain.objectForKey(ZavroSecLogin);
    ASSERT_TRUE(login && login->dictionary());
    PropertyList::Dictionary map = *login->dictionary();
    map[ZavroKeyPassword] = PropertyList(zavroEncrypt("s3cret-pw", UserPrefs::kPasswordKey));
    domain.setObject(ZavroSecLogin, PropertyList(map));
    ASSERT_TRUE(domain.synchronize());
  }
  Result r = run({"args", "M415"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "-dhcp\nyes\n-dns-address\n10.0.0.1\n-connection\nppp\n-ppp-device\nModem Port\n"
            "-ppp-account\nann@corp\n-ppp-password\n********\n-ppp-modem-script\n" +
                userScripts + "/Hayes\n-ppp-term-script\n" + install.path() +
                "/Configuration/Mac_sfo.scr\n-ppp-idle\n900\n-ppp-wait-to-dial\nno\n");
  EXPECT_EQ(r.out.find("s3cret-pw"), std::string::npos);

  r = run({"args", "WL1"});
  EXPECT_EQ(r.out,
            "-dhcp\nyes\n-dns-address\n10.0.0.1\n-connection\nairport\n-airport-ssid\nInnGuest\n"
            "-airport-wep-key\n$abcdef0123\n");
  r = run({"args", "ET1"});
  EXPECT_EQ(r.out, "-dhcp\nyes\n-dns-address\n192.0.2.53\n-connection\nethernet\n");
  r = run({"args", "C212"});
  EXPECT_EQ(r.out.substr(0, r.out.find("-connection")), "-dhcp\nyes\n-proxy\nhttp://proxy.example:3128\n");

  // The user's script gone, the system folder's copy of the same name is used.
  std::filesystem::remove(userScripts + "/Hayes");
  r = run({"args", "M212"});
  EXPECT_NE(r.out.find("-ppp-modem-script\n" + system.path("etc/chatscripts/Hayes") + "\n"), std::string::npos)
      << r.out;
}

TEST_F(ZavroctlDialing, PrefsListGetAndPasswordsHidden) {
  prepareUser();
  Result r = run({"prefs", "get", "Prefix", "FromAreaCode"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "212\n");
  r = run({"prefs", "get", "Prefix", "NoSuchKey"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");

  r = run({"prefs", "list", "Prefix"});
  EXPECT_EQ(r.status, 0);
  for (const char* line : {"Access\t9\n", "Follow\tNO\n", "FromAreaCode\t212\n", "FromCountryCode\tUS\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  }
  r = run({"prefs", "list"});
  EXPECT_NE(r.out.find("Login\tUserName\tann\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Login\tSavePassword\t"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\tPassword\t"), std::string::npos) << r.out;
  EXPECT_EQ(run({"prefs", "list", "Login"}).out.find("\nPassword\t"), std::string::npos);

  set("Test", "Note", "two\tparts");
  EXPECT_EQ(run({"prefs", "get", "Test", "Note"}).out, "\"two\\tparts\"\n");
}

TEST_F(ZavroctlDialing, BadUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"dialstring"},
      {"dialstring", "M212", "M415"},
      {"dialstring", "M212", "--access", "zz"},
      {"dialstring", "M212", "--access"},
      {"dialstring", "nope"},
      {"args"},
      {"args", "M212", "--access", "4"},
      {"login", "nope"},
      {"connectname", "--bogus", "M212"},
      {"prefs"},
      {"prefs", "frob"},
      {"prefs", "get", "Prefix"},
      {"prefs", "set", "Prefix", "Access"},
      {"prefs", "list", "Prefix", "extra"},
      {"prefs", "set", "Login", "Password", "x"},
      {"prefs", "get", "VPN", "Password"},
      {"prefs", "unset", "Login", "Password"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) {
      line += a + " ";
    }
    Result r = run(args);
    EXPECT_EQ(r.status, 2) << line << r.err;
    EXPECT_EQ(r.out, "") << line;
    EXPECT_EQ(r.err.rfind("zavroctl: ", 0), 0u) << line << r.err;
  }
}

}  // namespace
}  // namespace zavro
