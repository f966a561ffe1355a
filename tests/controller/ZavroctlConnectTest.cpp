// zavroctl connect end to end: the demo configuration, the simulated platform and the recording netconfig.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/Process.h"
#include "support/SimulatedNetconfig.h"
#include "support/TempDir.h"

namespace zavro {
namespace {

class ZavroctlConnect : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::string(ZAVRO_SOURCE_DIR) + "/data/demo", install.mkdir("Configuration"),
                          std::filesystem::copy_options::recursive);
    // A POP of a kind that is neither dial-up nor broadband: the simulated connection plays it.
    std::string cbook = test::readFile(install.file("Configuration/cbook.txt"));
    cbook += "US,USCA,Demo City,415,555-0000,990001,,,,,,,,,0.00,,,,,,0,4,,,0,10,SIM,S1,0x200,,,,,,\n";
    install.write("Configuration/cbook.txt", cbook);
    // The tool's recording mode; a POP that is neither dial-up nor broadband gets arguments the tool refuses
    // ("nothing to do"), so for it a fake records the call and answers success.
    const std::string netconfig =
        install.write("SharedSupport/netconfig",
                      "#!/bin/sh\ncase \" $* \" in *' -connection '*|*' -restore-previous '*) ;;\n"
                      "  *) echo \"$*\" >> '" +
                          home.file("fake-runs") +
                          "'; exit 0 ;;\nesac\n"
                          "exec '" +
                          test::netconfigProgram() + "' --simulate '" + home.file("runs") + "' \"$@\"\n");
    ::chmod(netconfig.c_str(), 0755);
  }

  std::unique_ptr<Process> start(std::vector<std::string> args, bool login = true) {
    Process::Options options;
    options.pipeStdin = true;
    options.pipeStdout = true;
    options.pipeStderr = true;
    options.extraEnvironment = {"ZAVRO_PLATFORM=sim", "HOME=" + home.path(), "XDG_DATA_HOME=" + home.file("data"),
                                "XDG_CONFIG_HOME=" + home.file("config"), "TMPDIR=" + home.mkdir("tmp")};
    if (login) {
      for (const auto& [key, value] : {std::pair{"UserName", "jo"}, std::pair{"Domain", "corp"}}) {
        Process::Options quiet = options;
        quiet.pipeStdin = false;
        auto set =
            Process::start(zavroctl(), {"--install-dir", install.path(), "prefs", "set", "Login", key, value}, quiet);
        EXPECT_EQ(set->wait(), 0);
      }
    }
    args.insert(args.begin(), {"--install-dir", install.path(), "connect"});
    return Process::start(zavroctl(), args, options);
  }
  static std::string zavroctl() { return std::string(ZAVRO_STAGE_DIR) + "/bin/zavroctl"; }

  // Reads standard output up to and including `line`; false when the output ends first.
  static bool readUntil(Process& p, const std::string& line, std::string& out) {
    char buffer[512];
    while (out.find(line + "\n") == std::string::npos) {
      ssize_t n = ::read(p.stdoutFd(), buffer, sizeof buffer);
      if (n <= 0) {
        return false;
      }
      out.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }

  test::TempDir install;
  test::TempDir home;
};

TEST_F(ZavroctlConnect, TheSimulatedConnectionComesUpAndCtrlCDisconnectsCleanly) {
  auto p = start({"--password-stdin", "990001"});
  ASSERT_TRUE(p);
  p->writeStdin("secret\n");
  p->closeStdin();
  std::string out;
  ASSERT_TRUE(readUntil(*p, "status connected", out)) << out << p->readAllStderr();
  ::kill(p->pid(), SIGINT);
  out += p->readAllStdout();
  EXPECT_EQ(p->wait(), 0) << p->readAllStderr();
  EXPECT_EQ(out,
            "dialing 990001 Demo City, \n"
            "status connecting\n"
            "status connected\n"
            "interrupted\n"
            "alert Quit ZavroConnect: Quitting ZavroConnect will terminate your connection.\n"
            "status disconnecting\n"
            "status idle\n");
  EXPECT_EQ(test::readFile(home.file("fake-runs")), "-dhcp yes\n");
  auto runs = test::readSimulatedNetconfigRuns(home.file("runs"));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].args, (std::vector<std::string>{"-restore-previous", "yes", "-delete-zavro", "yes"}));
}

TEST_F(ZavroctlConnect, ADialUpPOPEndsInTheUnavailableKindsErrorAndIsRedialedOnce) {
  auto p = start({"--password-stdin", "100101"});
  ASSERT_TRUE(p);
  p->writeStdin("secret\n");
  p->closeStdin();
  std::string out = p->readAllStdout();
  EXPECT_EQ(p->wait(), 1);
  const std::string attempt =
      "dialing 100101 San Francisco, 555-0134\n"
      "status connecting\n"
      "alert An error occurred while authenticating with the server.: Check your connections, verify your user info "
      "is correct, and try again.\n"
      "error\n"
      "status idle\n";
  EXPECT_EQ(out, attempt + attempt + "error\nalert Dialing timed out.: Unable to connect to the specified numbers.\n");
  auto runs = test::readSimulatedNetconfigRuns(home.file("runs"));
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_TRUE(runs[0].passwordFromStdin);
  EXPECT_EQ(std::count(runs[0].args.begin(), runs[0].args.end(), "secret"), 0);
}

TEST_F(ZavroctlConnect, MissingLoginAndBadArgumentsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    bool login;
    std::string err;
  };
  const Case cases[] = {
      {{"990001"}, false, "the login is not complete"},
      {{"--password-stdin", "999999"}, true, "unknown POP ID '999999'"},
      {{"--access", "zz", "990001"}, true, "bad access mask"},
      {{}, true, "usage: zavroctl connect"},
  };
  for (const auto& row : cases) {
    auto p = start(row.args, row.login);
    ASSERT_TRUE(p);
    p->closeStdin();
    std::string err = p->readAllStderr();
    EXPECT_EQ(p->wait(), 2) << err;
    EXPECT_NE(err.find(row.err), std::string::npos) << err;
  }
  EXPECT_FALSE(test::fileExists(home.file("runs")));
}

}  // namespace
}  // namespace zavro
