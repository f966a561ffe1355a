// The dial-up files: what netconfig writes for pppd and chat, how private they are, and how they read back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "netconfig/NetconfigRun.h"
#include "platform/PppFiles.h"
#include "support/FakeProgram.h"
#include "support/TestEnvironment.h"

namespace zavro::test {
namespace {

class NetconfigPpp : public ::testing::Test {
 protected:
  NetconfigResult run(std::vector<std::string> args, const std::string& input = "") {
    auto env = mEnv.childEnvironment();
    env.push_back(mNmcli.pathVariable());
    return runNetconfig(args, env, input);
  }
  std::vector<std::string> dial(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {
        "-dhcp",         "yes", "-connection",       "ppp", "-ppp-device", "/dev/ttyS0", "-ppp-account", "ann:corp",
        "-ppp-password", "-",   "-ppp-wait-to-dial", "yes", "-ppp-phone",  "9,5551234"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  PppFiles files() const { return PppFiles(mEnv.supportDir() + "/ppp"); }
  static unsigned mode(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
  }

  TestEnvironment mEnv;
  FakeProgram mNmcli{mEnv.root().file("fake-nmcli"), "nmcli"};
};

TEST_F(NetconfigPpp, PasswordFromStandardInputReachesOnlyThePrivateSecretsFile) {
  const std::string password = "s3cr\"et \\pass";
  auto result = run(dial({"-ppp-idle", "600"}), password + "\n");
  ASSERT_EQ(result.status, 0) << result.err;

  PppFiles f = files();
  EXPECT_EQ(mode(f.folder()), 0700u);
  for (const auto& path : {f.optionsFile(), f.secretsFile(), f.chatScript(), f.reportFile(), f.settingsFile()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(mode(path), 0600u);
    if (path != f.secretsFile()) {
      EXPECT_EQ(readFile(path).find("s3cr"), std::string::npos) << "password outside the secrets file";
    }
  }
  // pppd reads the secrets through the options file, and the password back out is the one given.
  auto words = PppFiles::optionWords(readFile(f.secretsFile()));
  EXPECT_EQ(words, (std::vector<std::string>{"password", password}));
  auto options = PppFiles::optionWords(readFile(f.optionsFile()));
  auto at = [&options](const std::string& name) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
      if (options[i] == name) {
        return options[i + 1];
      }
    }
    return std::string("(absent)");
  };
  EXPECT_EQ(options.front(), "/dev/ttyS0");
  EXPECT_EQ(at("user"), "ann:corp");
  EXPECT_EQ(at("idle"), "600");
  EXPECT_EQ(at("file"), f.secretsFile());
  std::string connect = at("connect");
  EXPECT_NE(connect.find(" -r '" + f.reportFile() + "'"), std::string::npos) << connect;
  EXPECT_NE(connect.find(" -f '" + f.chatScript() + "'"), std::string::npos) << connect;
  EXPECT_NE(std::find(options.begin(), options.end(), "usepeerdns"), options.end());

  // Nothing that netconfig or the dial-up connection puts on a command line carries the password.
  for (const auto& arg : f.pppdArguments()) {
    EXPECT_EQ(arg.find("s3cr"), std::string::npos);
  }
  for (const auto& line : mNmcli.callLines()) {
    EXPECT_EQ(line.find("s3cr"), std::string::npos) << line;
  }
  EXPECT_EQ(f.pppdArguments(), (std::vector<std::string>{"file", f.optionsFile(), "nodetach"}));

  std::string error;
  auto back = f.read(error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->password, password);
  EXPECT_EQ(back->device, "/dev/ttyS0");
  EXPECT_EQ(back->account, "ann:corp");
  EXPECT_EQ(back->phone, "9,5551234");
  EXPECT_EQ(back->idleSeconds, 600u);
  EXPECT_TRUE(back->waitToDial);
  EXPECT_FALSE(back->pulse);
}

TEST_F(NetconfigPpp, ChatScriptDialsWithTheModemAndTerminalScripts) {
  std::string chat;
  // Tone dialling after a plain reset, waiting for the dial tone.
  ASSERT_EQ(run(dial(), "pw\n").status, 0);
  chat = readFile(files().chatScript());
  EXPECT_NE(chat.find("REPORT \"CONNECT\"\n"), std::string::npos);
  EXPECT_NE(chat.find("\"\" \"ATZ\"\nOK \"ATDT9,5551234\"\n"), std::string::npos) << chat;
  EXPECT_NE(chat.find("CONNECT \"\\d\\c\"\n"), std::string::npos) << chat;

  // An installed modem script found by name, pulse dialling, blind dialling, a terminal script after CONNECT.
  std::string scripts = mEnv.env().dataHome() + "/ZavroConnect/Modem Scripts";
  std::filesystem::create_directories(scripts);
  writeFile(scripts + "/Hayes Basic", "'' AT&F1\nOK ATM0\n");
  std::string terminal = mEnv.writeConfig("Mac_login", "ogin: guest\n");
  ASSERT_EQ(run(dial({"-ppp-modem-script", "/Library/Modem Scripts/Hayes Basic", "-ppp-term-script", terminal,
                      "-ppp-pulse", "1", "-ppp-wait-to-dial", "no"}),
                "pw\n")
                .status,
            0);
  chat = readFile(files().chatScript());
  EXPECT_NE(chat.find("'' AT&F1\nOK ATM0\nOK \"ATX3\"\nOK \"ATDP9,5551234\"\nTIMEOUT 90\nCONNECT \"\\d\\c\"\n"),
            std::string::npos)
      << chat;
  EXPECT_NE(chat.find("ogin: guest\n"), std::string::npos);
  EXPECT_GT(chat.find("ogin: guest"), chat.find("CONNECT \"\\d"));

  // A modem script that dials by itself (\T) gets the number put in and no second dial.
  writeFile(scripts + "/Dialer", "'' ATZ\nOK ATDT\\T\nCONNECT ''\n");
  ASSERT_EQ(run(dial({"-ppp-modem-script", "/Library/Modem Scripts/Dialer"}), "pw\n").status, 0);
  chat = readFile(files().chatScript());
  EXPECT_NE(chat.find("OK ATDT9,5551234\nCONNECT ''\n"), std::string::npos) << chat;
  EXPECT_EQ(chat.find("\"ATDT"), std::string::npos) << chat;
}

TEST_F(NetconfigPpp, RefusesWhatWouldDialWrongOrLeakWithAMessage) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"no password line", dial(), "", "no password line on standard input"},
      {"unknown port name", dial({"-ppp-device", "Internal Modem"}), "pw\n",
       "no device is known for the modem port 'Internal Modem'"},
      {"no port", dial({"-ppp-device", ""}), "pw\n", "no modem port given"},
      {"modem script not installed", dial({"-ppp-modem-script", "/Library/Modem Scripts/Nowhere"}), "pw\n",
       "the modem script '/Library/Modem Scripts/Nowhere' is not installed"},
      {"terminal script missing", dial({"-ppp-term-script", "/nonexistent/Mac_x"}), "pw\n",
       "cannot read the terminal script"},
      {"phone number that would break the script", dial({"-ppp-phone", "555\"\nABORT"}), "pw\n",
       "contains characters a modem cannot dial"},
      {"no phone number", dial({"-ppp-phone", ""}), "pw\n", "no phone number to dial"},
      {"control character in the account", dial({"-ppp-account", "ann\x01"}), "pw\n", "control characters"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = run(c.args, c.input);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_FALSE(fileExists(files().optionsFile()));
  }

  // A literal password still works (older callers), and a path-like port is used as it stands.
  auto literal = dial({"-ppp-password", "plain", "-ppp-device", "/dev/ttyUSB7"});
  ASSERT_EQ(run(literal).status, 0);
  std::string error;
  auto back = files().read(error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->password, "plain");
  EXPECT_EQ(back->device, "/dev/ttyUSB7");
}

TEST_F(NetconfigPpp, TheFolderIsMadePrivateAndAPlantedOneIsRefused) {
  std::filesystem::create_directories(mEnv.supportDir() + "/ppp");
  ::chmod((mEnv.supportDir() + "/ppp").c_str(), 0755);
  ASSERT_EQ(run(dial(), "pw\n").status, 0);
  EXPECT_EQ(mode(files().folder()), 0700u);

  // Restoring the location removes the password; the rest stays for the record.
  ASSERT_EQ(run({"-restore-previous", "yes", "-delete-zavro", "yes"}).status, 0);
  EXPECT_FALSE(fileExists(files().secretsFile()));
  EXPECT_TRUE(fileExists(files().optionsFile()));

  // A symbolic link in place of the folder would send the secrets elsewhere.
  std::filesystem::remove_all(files().folder());
  std::string elsewhere = mEnv.root().mkdir("elsewhere");
  std::filesystem::create_directory_symlink(elsewhere, files().folder());
  auto result = run(dial(), "pw\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("is not a folder owned by this user"), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST(PppFiles, ConnectSpeedComesFromTheLastConnectLine) {
  struct Case {
    const char* report;
    std::optional<std::string> speed;
  };
  const std::vector<Case> cases = {
      {"chat:  Dec 11 12:00:00 CONNECT 115200\n", "115200"},
      {"CONNECT 52000/V90/LAPM\n", "52000"},
      {"CONNECT 9600\nCONNECT 33600\n", "33600"},
      {"CONNECT\n", ""},
      {"", std::nullopt},
      {"NO CARRIER\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    EXPECT_EQ(PppFiles::connectSpeedFromReport(c.report), c.speed);
  }

  TempDir dir;
  PppFiles f(dir.path() + "/ppp/");
  EXPECT_EQ(f.folder(), dir.path() + "/ppp");
  EXPECT_EQ(f.connectSpeed(), std::nullopt);
  dir.write("ppp/connect-report", "CONNECT 28800\n");
  EXPECT_EQ(f.connectSpeed(), "28800");
}

TEST(PppFiles, OptionWordsReadQuotedValuesBack) {
  for (const std::string value : {"plain", "with space", "quote\"inside", "back\\slash", "#hash", "", "'single'"}) {
    SCOPED_TRACE(value);
    auto words = PppFiles::optionWords("# comment\nuser " + PppFiles::quoteOption(value) + " # trailing\nnoauth\n");
    EXPECT_EQ(words, (std::vector<std::string>{"user", value, "noauth"}));
  }
}

TEST(PppFiles, DevicePathForPort) {
  EXPECT_EQ(devicePathForPort("/dev/ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(devicePathForPort("zavro-no-such-port"), std::nullopt);
  EXPECT_EQ(devicePathForPort("tty"), "/dev/tty");
  EXPECT_EQ(devicePathForPort("../etc/passwd"), std::nullopt);
  EXPECT_EQ(devicePathForPort(""), std::nullopt);
}

}  // namespace
}  // namespace zavro::test
