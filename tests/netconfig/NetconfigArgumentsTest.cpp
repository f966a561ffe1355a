// netconfig's command line: refused arguments, and the recording of the simulated mode with scripted statuses.
#include <gtest/gtest.h>

#include "netconfig/NetconfigRun.h"
#include "support/FakeProgram.h"
#include "support/TestEnvironment.h"

namespace zavro::test {
namespace {

class NetconfigArguments : public ::testing::Test {
 protected:
  std::vector<std::string> environment(std::vector<std::string> extra = {}) {
    auto env = mEnv.childEnvironment();
    env.push_back(mNmcli.pathVariable());
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
  }
  std::string recordFile() const { return mEnv.root().file("netconfig-runs.txt"); }

  TestEnvironment mEnv;
  FakeProgram mNmcli{mEnv.root().file("fake-nmcli"), "nmcli"};
};

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

TEST_F(NetconfigArguments, RefusesWhatItCannotUseBeforeChangingAnything) {
  const std::vector<RefusedCase> cases = {
      {"unknown option", {"-dhcp", "yes", "-colour", "blue", "-connection", "ethernet"}, "unknown option '-colour'"},
      {"option without its value", {"-connection", "ppp", "-ppp-phone"}, "option '-ppp-phone' needs a value"},
      {"stray word", {"-connection", "ethernet", "eth0"}, "unexpected argument 'eth0'"},
      {"unknown interface", {"-connection", "bluetooth"}, "takes airport, ethernet or ppp, not 'bluetooth'"},
      {"idle time-out not a number", {"-connection", "ppp", "-ppp-idle", "10m"}, "number of seconds, not '10m'"},
      {"negative idle time-out", {"-connection", "ppp", "-ppp-idle", "-5"}, "number of seconds"},
      {"name server not an address",
       {"-dns-address", "dns.example", "-connection", "ethernet"},
       "'dns.example' of option '-dns-address' is not an IP address"},
      {"alternate name server not an address",
       {"-alt-dns", "10.0.0.256", "-connection", "ethernet"},
       "is not an IP address"},
      {"proxy with a quote", {"-proxy", "http://evil\"host:80", "-connection", "ethernet"}, "is not an HTTP proxy"},
      {"proxy with a bad port", {"-proxy", "http://proxy:99999", "-connection", "ethernet"}, "is not an HTTP proxy"},
      {"flag that is not yes or no", {"-connection", "ppp", "-ppp-wait-to-dial", "maybe"}, "takes yes or no"},
      {"restore flag that is not yes or no", {"-restore-previous", "later"}, "takes yes or no"},
      {"no arguments at all", {}, "nothing to do"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = runNetconfig(c.args, environment());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("usage: netconfig"), std::string::npos);
  }
  EXPECT_TRUE(mNmcli.calls().empty()) << "a refused command line must not reach NetworkManager";
  EXPECT_FALSE(fileExists(mEnv.supportDir() + "/ppp"));
}

TEST_F(NetconfigArguments, SimulatedRunsRecordTheirArgumentVectorsExactly) {
  std::vector<std::string> dial = {"--simulate",   recordFile(),   "-dhcp",         "yes", "-connection", "ppp",
                                   "-ppp-account", "ann\tcorp\\x", "-ppp-password", "-",   "-ppp-phone",  "555 1234"};
  auto first = runNetconfig(dial, environment(), "secret word\n");
  EXPECT_EQ(first.status, 0) << first.err;
  std::vector<std::string> literal = {"--simulate", recordFile(), "-connection", "ppp", "-ppp-password", "open sesame"};
  EXPECT_EQ(runNetconfig(literal, environment()).status, 0);
  EXPECT_EQ(
      runNetconfig({"--simulate", recordFile(), "-restore-previous", "yes", "-delete-zavro", "yes"}, environment())
          .status,
      0);

  auto runs = readSimulatedNetconfigRuns(recordFile());
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].args, std::vector<std::string>(dial.begin() + 2, dial.end()));
  EXPECT_TRUE(runs[0].passwordFromStdin);
  EXPECT_EQ(runs[1].args, std::vector<std::string>(literal.begin() + 2, literal.end()));
  EXPECT_FALSE(runs[1].passwordFromStdin);
  EXPECT_EQ(runs[2].args, (std::vector<std::string>{"-restore-previous", "yes", "-delete-zavro", "yes"}));

  std::string text = readFile(recordFile());
  EXPECT_EQ(text.find("secret word"), std::string::npos) << "the password from standard input is not recorded";
  EXPECT_NE(text.find("-ppp-account\tann\\tcorp\\\\x\t"), std::string::npos) << text;
  EXPECT_TRUE(mNmcli.calls().empty());
}

TEST_F(NetconfigArguments, SimulatedStatusesComeFromTheEnvironment) {
  std::vector<std::string> restore = {"--simulate", recordFile(), "-restore-previous", "yes"};
  EXPECT_EQ(runNetconfig(restore, environment({"ZAVRO_NETCONFIG_STATUS=3"})).status, 3);
  EXPECT_EQ(runNetconfig(restore, environment({"ZAVRO_NETCONFIG_STATUS="})).status, 0);

  // A list is consumed one element per recorded run; the last element repeats.
  std::string scripted = mEnv.root().file("scripted.txt");
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) {
    statuses.push_back(
        runNetconfig({"--simulate", scripted, "-connection", "ethernet"}, environment({"ZAVRO_NETCONFIG_STATUS=2,2,0"}))
            .status);
  }
  EXPECT_EQ(statuses, (std::vector<int>{2, 2, 0, 0}));
  EXPECT_EQ(readSimulatedNetconfigRuns(scripted).size(), 4u);

  auto bad = runNetconfig(restore, environment({"ZAVRO_NETCONFIG_STATUS=busy"}));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("ZAVRO_NETCONFIG_STATUS"), std::string::npos);
}

TEST_F(NetconfigArguments, SimulatedRunsAnswerAsScriptedAndSayWhatTheRealToolWouldRefuse) {
  // The hand-over was promised ("-") but no password line came: recorded without the marker, the
  // scripted status answered, and the refusal of the real tool said on standard error.
  auto noPassword = runNetconfig({"--simulate", recordFile(), "-connection", "ppp", "-ppp-password", "-"},
                                 environment({"ZAVRO_NETCONFIG_STATUS=2"}));
  EXPECT_EQ(noPassword.status, 2);
  EXPECT_NE(noPassword.err.find("no password line on standard input"), std::string::npos);

  auto unknown = runNetconfig({"--simulate", recordFile(), "-connection", "ethernet", "-speed", "fast"}, environment());
  EXPECT_EQ(unknown.status, 0);
  EXPECT_NE(unknown.err.find("unknown option '-speed'"), std::string::npos);

  auto runs = readSimulatedNetconfigRuns(recordFile());
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(runs[0].passwordFromStdin);
  EXPECT_EQ(runs[1].args.back(), "fast");

  EXPECT_EQ(runNetconfig({"--simulate"}, environment()).status, 1);
}

}  // namespace
}  // namespace zavro::test

namespace zavro::test {
namespace {

TEST_F(NetconfigArguments, SettingsWithoutAnInterfaceChangeNothingAndSucceed) {
  // A POP that needs no switching gives only "-dhcp yes": the network stays as it is, no tool runs
  // (there is no nmcli on the PATH here, which would fail any attempt to use it).
  auto run = runNetconfig({"-dhcp", "yes"}, environment({"PATH=/nonexistent"}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace zavro::test
