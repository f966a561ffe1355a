// The preferences file shared by separate processes, the final save on SIGTERM/SIGHUP, and the store choice.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/CredentialStoreBackends.h"
#include "runtime/Process.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

class UserPrefsProcessTest : public ::testing::Test {
 protected:
  // The helper sees the same roots as this test; the simulated platform keeps it off the session bus.
  Process::Options options(std::vector<std::string> extra = {}) const {
    Process::Options o;
    o.pipeStdout = true;
    o.extraEnvironment = env.childEnvironment();
    o.extraEnvironment.push_back("ZAVRO_PLATFORM=sim");
    o.extraEnvironment.insert(o.extraEnvironment.end(), extra.begin(), extra.end());
    return o;
  }

  int helper(const std::vector<std::string>& args, std::string& output) const {
    std::vector<std::string> all{"--config", env.configDir()};
    all.insert(all.end(), args.begin(), args.end());
    return Process::runCapturing(kHelper, all, "", output, options());
  }

  std::unique_ptr<UserPrefs> openHere() const {
    auto admin = std::make_shared<AdminPrefs>();
    admin->load();
    return std::make_unique<UserPrefs>(std::make_shared<PersistentDomain>(Environment::current()->preferencesFile()),
                                       admin, std::make_shared<MemoryCredentialStore>());
  }

  const std::string kHelper = std::string(ZAVRO_TEST_BIN_DIR) + "/prefs_helper";
  test::TestEnvironment env;
};

TEST_F(UserPrefsProcessTest, OneProcessWritesAndAnotherReads) {
  std::string out;
  ASSERT_EQ(helper({"set", "Connect", "Device", "/dev/ttyUSB0"}, out), 0);
  EXPECT_EQ(openHere()->dialDevice(), "/dev/ttyUSB0");

  {
    auto prefs = openHere();
    prefs->setFromAreaCode("030");
    ASSERT_TRUE(prefs->applicationWillTerminate());
  }
  ASSERT_EQ(helper({"get", "Prefix", "FromAreaCode"}, out), 0);
  EXPECT_EQ(out, "030\n");
  ASSERT_EQ(helper({"get", "Connect", "Device"}, out), 0);
  EXPECT_EQ(out, "/dev/ttyUSB0\n");  // the helper's earlier value survived this process's write
}

TEST_F(UserPrefsProcessTest, TerminationSignalsRunTheFinalSave) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::string value = "set-before-signal-" + std::to_string(signal);
    auto child =
        Process::start(kHelper, {"--config", env.configDir(), "wait", "General", "WindowTab", value}, options());
    ASSERT_TRUE(child);
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && ::read(child->stdoutFd(), &c, 1) == 1) line += c;
    ASSERT_EQ(line, "ready\n");
    ASSERT_TRUE(child->kill(signal));
    EXPECT_EQ(child->wait(), 128 + signal);  // still ended by the signal
    EXPECT_EQ(openHere()->windowTab(), value);
  }
}

TEST_F(UserPrefsProcessTest, WithoutASecretServiceTheFileStoreIsUsed) {
  Process::Options o =
      options({"ZAVRO_PLATFORM=", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + env.root().file("no-bus"), "DISPLAY="});
  std::string out;
  ASSERT_EQ(Process::runCapturing(kHelper, {"store"}, "", out, o), 0);
  EXPECT_EQ(out, "file " + env.supportDir() + "/Credentials.plist\n");
  // Said once in the helper's connection log.
  std::string log = test::readFile(env.supportDir() + "/connection.log");
  EXPECT_NE(log.find("Credential store: file "), std::string::npos) << log;
}

}  // namespace
}  // namespace zavro
