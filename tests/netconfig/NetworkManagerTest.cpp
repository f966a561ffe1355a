// netconfig against a fake nmcli: the profile it creates, busy and failure statuses, restore and delete.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "netconfig/NetconfigRun.h"
#include "support/FakeProgram.h"
#include "support/TestEnvironment.h"

namespace zavro::test {
namespace {

const char* const kDevices =
    "lo:loopback:unmanaged\neth9:ethernet:unmanaged\neth0:ethernet:connected\n"
    "wlan0:wifi:connected\nwlan1:wifi:disconnected\n";
// The previous wireless connection has a ':' in its name, escaped in nmcli's terse output.
const char* const kActiveBefore = "Home\\:Net:1111-aaaa:wlan0\nOffice LAN:2222-bbbb:eth0\n";
const char* const kActiveOurs = "Zavro:9999-zzzz:wlan0\nOffice LAN:2222-bbbb:eth0\n";
const char* const kProfiles = "Home\\:Net:1111-aaaa\nOffice LAN:2222-bbbb\n";

class NetconfigNetworkManager : public ::testing::Test {
 protected:
  void SetUp() override {
    mNmcli.captureFileAfter("passwd-file");
    healthy(kActiveBefore, kProfiles);
  }

  // NetworkManager up and idle, with the given active connections and profiles.
  void healthy(const std::string& active, const std::string& profiles) {
    mNmcli.clearRules();
    mNmcli.on("-t -f RUNNING,STARTUP general", "running:started\n")
        .on("-t -f DEVICE,TYPE,STATE device", kDevices)
        .on("-t -f NAME,UUID,DEVICE connection show --active", active)
        .on("-t -f NAME,UUID connection show", profiles)
        .on("connection add *", "Connection 'Zavro' (9999-zzzz) successfully added.\n")
        .on("--wait * connection up *", "Connection successfully activated.\n");
  }

  NetconfigResult run(const std::vector<std::string>& args) {
    auto env = mEnv.childEnvironment();
    env.push_back(mNmcli.pathVariable());
    return runNetconfig(args, env);
  }

  // The call that starts with `prefix`, or "" when there is none.
  std::string callStarting(const std::string& prefix) const {
    for (const auto& line : mNmcli.callLines()) {
      if (line.rfind(prefix, 0) == 0) {
        return line;
      }
    }
    return "";
  }
  std::vector<std::string> changingCalls() const {
    std::vector<std::string> out;
    for (const auto& line : mNmcli.callLines()) {
      if (line.rfind("-t ", 0) != 0) {
        out.push_back(line);
      }
    }
    return out;
  }
  std::string stateFile() const { return mEnv.supportDir() + "/netconfig-previous"; }

  TestEnvironment mEnv;
  FakeProgram mNmcli{mEnv.root().file("fake-nmcli"), "nmcli"};
};

TEST_F(NetconfigNetworkManager, WirelessProfileWithTheKeyHandedOverInAPrivateFile) {
  auto result = run({"-dhcp", "yes", "-connection", "airport", "-airport-ssid", "Caf\xc3\xa9 Net", "-airport-wep-key",
                     "$0123456789"});
  ASSERT_EQ(result.status, 0) << result.err;

  auto calls = mNmcli.calls();
  auto add = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.size() > 1 && c[1] == "add"; });
  ASSERT_NE(add, calls.end());
  EXPECT_EQ(*add, (std::vector<std::string>{"connection",
                                            "add",
                                            "save",
                                            "no",
                                            "type",
                                            "wifi",
                                            "con-name",
                                            "Zavro",
                                            "ifname",
                                            "wlan0",
                                            "ssid",
                                            "Caf\xc3\xa9 Net",
                                            "connection.autoconnect",
                                            "no",
                                            "ipv4.method",
                                            "auto",
                                            "wifi-sec.key-mgmt",
                                            "none",
                                            "wifi-sec.wep-key-type",
                                            "key"}));
  std::string up = callStarting("--wait 45 connection up id Zavro passwd-file ");
  ASSERT_FALSE(up.empty()) << "activation with the key in a file";

  size_t upIndex = 0;
  for (; upIndex < calls.size(); ++upIndex) {
    if (calls[upIndex].size() > 3 && calls[upIndex][3] == "up") {
      break;
    }
  }
  EXPECT_EQ(mNmcli.capturedFile(upIndex), "802-11-wireless-security.wep-key0:0123456789\n");
  for (const auto& line : mNmcli.callLines()) {
    EXPECT_EQ(line.find("0123456789"), std::string::npos) << "key on a command line: " << line;
  }
  // The key file is gone once nmcli is done with it.
  for (const auto& entry : std::filesystem::directory_iterator(mEnv.supportDir())) {
    EXPECT_EQ(entry.path().filename().string().find("netconfig-secrets"), std::string::npos);
  }
  // The connection that was on the device is remembered.
  std::string state = readFile(stateFile());
  EXPECT_NE(state.find("device\twlan0\n"), std::string::npos) << state;
  EXPECT_NE(state.find("uuid\t1111-aaaa\n"), std::string::npos) << state;
  EXPECT_NE(state.find("name\tHome:Net\n"), std::string::npos) << state;
  EXPECT_EQ(std::filesystem::status(stateFile()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(NetconfigNetworkManager, WiredProfileWithNameServersAndProxy) {
  auto result = run({"-dhcp", "yes", "-proxy", "http://proxy.example:8080", "-dns-address", "10.0.0.53", "-alt-dns",
                     "2001:db8::53", "-connection", "ethernet"});
  ASSERT_EQ(result.status, 0) << result.err;
  auto calls = mNmcli.calls();
  auto add = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.size() > 1 && c[1] == "add"; });
  ASSERT_NE(add, calls.end());
  // The first managed wired device; the unmanaged one listed before it is passed over.
  EXPECT_EQ(*add,
            (std::vector<std::string>{"connection",
                                      "add",
                                      "save",
                                      "no",
                                      "type",
                                      "ethernet",
                                      "con-name",
                                      "Zavro",
                                      "ifname",
                                      "eth0",
                                      "connection.autoconnect",
                                      "no",
                                      "ipv4.method",
                                      "auto",
                                      "ipv4.dns",
                                      "10.0.0.53",
                                      "ipv4.ignore-auto-dns",
                                      "yes",
                                      "ipv6.dns",
                                      "2001:db8::53",
                                      "ipv6.ignore-auto-dns",
                                      "yes",
                                      "proxy.method",
                                      "auto",
                                      "proxy.browser-only",
                                      "no",
                                      "proxy.pac-script",
                                      "function FindProxyForURL(url, host) { return \"PROXY proxy.example:8080\"; }"}));
  EXPECT_FALSE(callStarting("--wait 45 connection up id Zavro").empty());
  EXPECT_EQ(callStarting("--wait 45 connection up id Zavro").find("passwd-file"), std::string::npos);
  EXPECT_NE(readFile(stateFile()).find("uuid\t2222-bbbb\n"), std::string::npos);

  // A proxy without a port gets the HTTP one.
  mNmcli.forgetCalls();
  ASSERT_EQ(run({"-proxy", "http://cache.example/", "-connection", "ethernet"}).status, 0);
  EXPECT_NE(callStarting("connection add").find("return \"PROXY cache.example:80\""), std::string::npos);
}

TEST_F(NetconfigNetworkManager, BusyNetworkManagerAnswersTwoAndChangesNothing) {
  struct Case {
    const char* name;
    std::string general;
    std::string devices;
  };
  const std::vector<Case> cases = {
      {"still starting", "running:starting\n", kDevices},
      {"activation in progress", "running:started\n", "wlan0:wifi:connecting (getting IP configuration)\n"},
      {"deactivating", "running:started\n", "wlan0:wifi:deactivating\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mNmcli.clearRules();
    mNmcli.forgetCalls();
    mNmcli.on("-t -f RUNNING,STARTUP general", c.general).on("-t -f DEVICE,TYPE,STATE device", c.devices);
    auto result = run({"-connection", "airport", "-airport-ssid", "Hotspot"});
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("netconfig: NetworkManager is"), std::string::npos) << result.err;
    EXPECT_TRUE(changingCalls().empty());
    EXPECT_FALSE(fileExists(stateFile()));
  }
}

TEST_F(NetconfigNetworkManager, WhatItCannotDoIsOneWithAMessage) {
  struct Case {
    const char* name;
    std::vector<std::string> rules;  // pattern, stdout, status, stderr (groups of four)
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"NetworkManager not running",
       {"*general*", "", "8", "Error: NetworkManager is not running.\n"},
       {"-connection", "ethernet"},
       "NetworkManager is not running"},
      {"no wireless device",
       {"*general*", "running:started\n", "0", "", "*device", "eth0:ethernet:connected\n", "0", ""},
       {"-connection", "airport", "-airport-ssid", "Hotspot"},
       "no wireless network device is managed by NetworkManager"},
      {"no permission",
       {"*general*",
        "running:started\n",
        "0",
        "",
        "*device",
        kDevices,
        "0",
        "",
        "*--active",
        kActiveBefore,
        "0",
        "",
        "*connection show",
        kProfiles,
        "0",
        "",
        "connection add *",
        "",
        "1",
        "Error: Failed to add 'Zavro' connection: Insufficient privileges\n"},
       {"-connection", "ethernet"},
       "Insufficient privileges"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mNmcli.clearRules();
    mNmcli.forgetCalls();
    for (size_t i = 0; i + 3 < c.rules.size(); i += 4) {
      mNmcli.on(c.rules[i], c.rules[i + 1], std::stoi(c.rules[i + 2]), c.rules[i + 3]);
    }
    auto result = run(c.args);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_TRUE(callStarting("--wait").empty()) << "nothing may be activated";
  }

  // Without nmcli at all.
  auto env = mEnv.childEnvironment();
  env.push_back("PATH=" + mEnv.root().mkdir("empty-bin"));
  auto missing = runNetconfig({"-connection", "ethernet"}, env);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot run nmcli"), std::string::npos) << missing.err;
  // Deleting an in-memory profile without NetworkManager has nothing to do.
  EXPECT_EQ(runNetconfig({"-delete-zavro", "yes"}, env).status, 0);
}

TEST_F(NetconfigNetworkManager, FailedActivationPutsThePreviousConnectionBack) {
  // An old profile is still there; the failed activation leaves the wireless device without a connection.
  mNmcli.clearRules();
  mNmcli.on("-t -f RUNNING,STARTUP general", "running:started\n")
      .on("-t -f DEVICE,TYPE,STATE device", kDevices)
      .onFirst(1, "-t -f NAME,UUID,DEVICE connection show --active", kActiveBefore)
      .on("-t -f NAME,UUID,DEVICE connection show --active", "Office LAN:2222-bbbb:eth0\n")
      .on("-t -f NAME,UUID connection show", std::string(kProfiles) + "Zavro:9999-zzzz\n")
      .on("connection add *", "")
      .on("--wait 45 connection up *", "", 4,
          "Error: Connection activation failed: Secrets were required, but not provided\n");

  auto result = run({"-connection", "airport", "-airport-ssid", "Hotspot", "-airport-wep-key", "$wrongkey"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Secrets were required"), std::string::npos) << result.err;
  EXPECT_NE(callStarting("connection add").find("wifi-sec.wep-key-type passphrase"), std::string::npos);
  // The leftover profile was removed before the new one, and the new one after the failure.
  auto changes = changingCalls();
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0], "connection delete uuid 9999-zzzz");
  EXPECT_EQ(changes[1].rfind("connection add ", 0), 0u);
  EXPECT_EQ(changes[2].rfind("--wait 45 connection up id Zavro passwd-file ", 0), 0u);
  EXPECT_EQ(changes[3], "--wait 20 connection up uuid 1111-aaaa ifname wlan0");
  EXPECT_EQ(changes[4], "connection delete uuid 9999-zzzz");
  EXPECT_FALSE(fileExists(stateFile()));
}

TEST_F(NetconfigNetworkManager, RestoreBringsBackThePreviousConnectionAndDeleteRemovesTheProfile) {
  ASSERT_EQ(run({"-connection", "airport", "-airport-ssid", "Hotspot"}).status, 0);
  ASSERT_TRUE(fileExists(stateFile()));

  // A redial before any restore: our profile is active now, and the remembered connection stays the old one.
  healthy(kActiveOurs, std::string(kProfiles) + "Zavro:9999-zzzz\n");
  ASSERT_EQ(run({"-connection", "airport", "-airport-ssid", "Hotspot"}).status, 0);
  EXPECT_NE(readFile(stateFile()).find("uuid\t1111-aaaa\n"), std::string::npos);

  // Restoring while keeping the profile (the administrator keeps the location).
  mNmcli.forgetCalls();
  ASSERT_EQ(run({"-restore-previous", "yes"}).status, 0);
  EXPECT_EQ(changingCalls(), (std::vector<std::string>{"--wait 20 connection up uuid 1111-aaaa ifname wlan0"}));
  EXPECT_FALSE(fileExists(stateFile()));

  // Nothing remembered: a restore has nothing to do and does not even ask NetworkManager.
  mNmcli.forgetCalls();
  ASSERT_EQ(run({"-restore-previous", "yes"}).status, 0);
  EXPECT_TRUE(mNmcli.calls().empty());

  // Restore and delete together, as after a normal disconnect.
  healthy(kActiveBefore, kProfiles);
  ASSERT_EQ(run({"-connection", "airport", "-airport-ssid", "Hotspot"}).status, 0);
  healthy(kActiveOurs, std::string(kProfiles) + "Zavro:9999-zzzz\n");
  mNmcli.forgetCalls();
  ASSERT_EQ(run({"-restore-previous", "yes", "-delete-zavro", "yes"}).status, 0);
  EXPECT_EQ(changingCalls(), (std::vector<std::string>{"--wait 20 connection up uuid 1111-aaaa ifname wlan0",
                                                       "connection delete uuid 9999-zzzz"}));
}

TEST_F(NetconfigNetworkManager, RestoreOfADeviceThatHadNoConnectionTakesTheProfileDown) {
  healthy("Office LAN:2222-bbbb:eth0\n", kProfiles);
  ASSERT_EQ(run({"-connection", "airport", "-airport-ssid", "Hotspot"}).status, 0);
  EXPECT_NE(readFile(stateFile()).find("uuid\t\n"), std::string::npos);

  healthy(kActiveOurs, std::string(kProfiles) + "Zavro:9999-zzzz\n");
  mNmcli.forgetCalls();
  ASSERT_EQ(run({"-restore-previous", "yes"}).status, 0);
  EXPECT_EQ(changingCalls(), (std::vector<std::string>{"connection down uuid 9999-zzzz"}));

  // A previous connection that cannot come back is reported, and the state is not left behind.
  healthy(kActiveBefore, kProfiles);
  ASSERT_EQ(run({"-connection", "airport", "-airport-ssid", "Hotspot"}).status, 0);
  healthy(kActiveOurs, std::string(kProfiles) + "Zavro:9999-zzzz\n");
  mNmcli.clearRules();
  mNmcli.on("--wait 20 connection up *", "", 10, "Error: unknown connection '1111-aaaa'.\n")
      .on("-t -f NAME,UUID,DEVICE connection show --active", kActiveOurs);
  auto failed = run({"-restore-previous", "yes"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("bringing back the connection 'Home:Net' failed: Error: unknown connection"),
            std::string::npos)
      << failed.err;
  EXPECT_FALSE(fileExists(stateFile()));
}

TEST_F(NetconfigNetworkManager, WirelessWithoutANetworkNameKeepsTheCurrentNetwork) {
  ASSERT_EQ(run({"-dhcp", "yes", "-connection", "airport"}).status, 0);
  EXPECT_TRUE(changingCalls().empty());
  EXPECT_FALSE(fileExists(stateFile()));
}

}  // namespace
}  // namespace zavro::test
