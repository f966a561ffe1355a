// Administrator actions with real programs, and the user's applications through the recording launcher.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/LogFile.h"
#include "engine/AdminActions.h"
#include "engine/ConnectNotifications.h"
#include "engine/UserActions.h"
#include "phonebook/AccessType.h"
#include "phonebook/PhoneBook.h"
#include "platform/Launcher.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

class ActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("ZAVRO_PLATFORM", "sim", 1);
    env.useDemoConfiguration();
    bin = env.root().mkdir("bin");
    book->load({});
    SqmRecord::resetCodes();
  }

  // A recorder named `name` in `dir` (default: bin); returns its path.
  std::string program(const std::string& name, const std::string& dir = "") {
    const std::string folder = dir.empty() ? bin : dir;
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name;
    std::filesystem::create_symlink(std::string(ZAVRO_TEST_BIN_DIR) + "/argv_recorder", path);
    return path;
  }
  std::vector<std::string> calls(const std::string& dir = "") const {
    std::vector<std::string> out;
    std::string text = test::readFile((dir.empty() ? bin : dir) + "/calls.log");
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      out.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return out;
  }
  // config.ini with these Action lines.
  std::shared_ptr<AdminActions> actionsWithLines(const std::vector<std::string>& lines) {
    std::string ini = "[Actions]\n";
    for (size_t i = 0; i < lines.size(); ++i) {
      ini += "Action" + std::to_string(i) + "=" + lines[i] + "\n";
    }
    env.writeConfig("config.ini", ini);
    env.apply();
    AdminActions::Sources sources;
    sources.center = center;
    sources.launcher = launcher;
    return std::make_shared<AdminActions>(sources);
  }
  void preConnect(const char* popID) {
    UserInfo info;
    info.setObject<POP>("pop", book->popForID(popID));
    info.setInteger("accessType", kAccessModem);
    center->postNotificationName(ZavroPreConnectNotification, nullptr, info);
  }

  test::TestEnvironment env;
  std::string bin;
  std::shared_ptr<PhoneBook> book = PhoneBook::create();
  std::shared_ptr<NotificationCenter> center = std::make_shared<NotificationCenter>();
  std::shared_ptr<SimulatedLauncher> launcher = SimulatedLauncher::withBrowser();
};

TEST_F(ActionsTest, HigherSequencesRunFirstAndEqualOnesKeepTheirLineOrder) {
  auto actions = actionsWithLines(
      {program("Action0") + ",1,1,s,first line,3", program("Action1") + ",1,5,s,,3", program("Action2") + ",1,5,s,,3"});
  ASSERT_EQ(actions->actions().size(), 3u);
  EXPECT_EQ(actions->actions()[0]->description(), "");
  EXPECT_EQ(actions->actions()[2]->description(), "first line");
  center->postNotificationName(ZavroPreDialNotification, nullptr);
  EXPECT_EQ(calls(), (std::vector<std::string>{"Action1", "Action2", "Action0"}));
}

TEST_F(ActionsTest, LinesNeedSixFieldsAndNumbersDefaultToZero) {
  auto actions = AdminActions::actionsFromLines({
      {"/bin/five", "1", "2", "s", "desc"},
      {"/bin/seven", "1", "2", "s", "desc", "3", "extra"},
      {"/bin/words", "x", "y", "", "", "z"},
  });
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0]->command(), "/bin/seven");
  EXPECT_EQ(actions[0]->target(), 3);
  EXPECT_EQ(actions[1]->type(), 0);
  EXPECT_EQ(actions[1]->sequence(), 0);
  EXPECT_EQ(actions[1]->target(), 0);
}

TEST_F(ActionsTest, TargetBitsChooseServiceOrCustomerPOPs) {
  auto actions = actionsWithLines({program("t0") + ",0,4,s,,0", program("t1") + ",0,3,s,,1",
                                   program("t2") + ",0,2,s,,2", program("t3") + ",0,1,s,,3"});
  preConnect("100101");  // the service's own POP
  EXPECT_FALSE(actions->isCustomerPOP());
  EXPECT_EQ(calls(), (std::vector<std::string>{"t1", "t3"}));
  std::filesystem::remove(bin + "/calls.log");
  preConnect("900101");  // from cbook.txt
  EXPECT_TRUE(actions->isCustomerPOP());
  EXPECT_EQ(calls(), (std::vector<std::string>{"t2", "t3"}));
}

TEST_F(ActionsTest, CommandLinesAreSplitAfterExpansionOutsideQuotes) {
  program("rec");
  const std::string spaced = env.root().file("with space");
  program("rec", spaced);
  ZavroMacros macros({{"Bin", bin}, {"Two", "a b"}, {"Prog", spaced + "/rec"}});
  struct Case {
    const char* command;
    std::vector<std::string> expected;
    bool inSpaced = false;
  };
  const Case cases[] = {
      {"<Bin>/rec", {"rec"}},
      {"<Bin>/rec ", {"rec"}},  // a blank at the end: no arguments
      {"<Bin>/rec x \"y z\" <Two>", {"rec|x|y z|a|b"}},
      {"<Prog> q", {"rec|q"}, true},  // the program's expansion is not split
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.command);
    const std::string dir = row.inSpaced ? spaced : bin;
    std::filesystem::remove(dir + "/calls.log");
    AdminAction action(1, 0, 3, "s", row.command, "");
    EXPECT_TRUE(action.executeWithMacros(macros));
    EXPECT_EQ(calls(dir), row.expected);
  }
}

TEST_F(ActionsTest, ModeSInAnyCaseWaitsAndOtherModesDoNot) {
  ZavroMacros macros;
  const std::string slow = program("slow");
  struct Case {
    const char* mode;
    bool waits;
  };
  for (const auto& row : {Case{"s", true}, Case{"S", true}, Case{"sync", false}, Case{"", false}}) {
    SCOPED_TRACE(row.mode);
    std::filesystem::remove(bin + "/calls.log");
    AdminAction action(1, 0, 3, row.mode, slow + " " + row.mode, "");
    EXPECT_EQ(action.waits(), row.waits);
    ASSERT_TRUE(action.executeWithMacros(macros));
    EXPECT_EQ(calls().size(), row.waits ? 1u : 0u);
    if (!row.waits) {
      for (int i = 0; i < 250 && calls().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      EXPECT_EQ(calls().size(), 1u);
    }
  }
}

TEST_F(ActionsTest, AProgramThatCannotStartIsSkippedWithALogLine) {
  auto actions = actionsWithLines({bin + "/missing now,1,9,s,,3", program("after") + ",1,1,s,,3"});
  center->postNotificationName(ZavroPreDialNotification, nullptr);
  EXPECT_EQ(calls(), (std::vector<std::string>{"after"}));
  auto log = ConnectionLog::connectionLog()->getLogContents().value_or("");
  EXPECT_NE(log.find("Unable to start the action program \"" + bin + "/missing\""), std::string::npos) << log;
}

TEST_F(ActionsTest, NotificationsAdvanceTheSQMRecordBeforeTheActionsRun) {
  auto actions = actionsWithLines({program("neg") + " <ErrorCode>,8,1,s,,3", program("err") + " <ErrorCode>,7,1,s,,3"});
  preConnect("100101");
  auto record = SqmRecord::sharedRecord();
  EXPECT_EQ(record->popID(), "100101");
  record->releaseSharedLock(false);

  UserInfo empty;
  empty.setString("Baud Rate", "");
  center->postNotificationName(ZavroModemNegotiatedNotification, nullptr, empty);
  record = SqmRecord::sharedRecord();
  EXPECT_EQ(record->baudRate(), "");
  EXPECT_TRUE(record->modemNegotiateTime().has_value());
  record->releaseSharedLock(false);

  UserInfo speed;
  speed.setString("Baud Rate", "28800");
  center->postNotificationName(ZavroModemNegotiatedNotification, nullptr, speed);
  record = SqmRecord::sharedRecord();
  EXPECT_EQ(record->baudRate(), "28800");
  record->releaseSharedLock(false);

  SqmRecord::logError(651);
  center->postNotificationName(ZavroErrorNotification, nullptr);
  EXPECT_EQ(calls(), (std::vector<std::string>{"neg|0", "neg|0", "err|651"}));  // temporal macros refreshed
}

TEST_F(ActionsTest, PostConnectOpensTheBrowserThenTheUserApplicationsUntilOneFails) {
  auto actions = actionsWithLines({program("post") + ",4,1,s,,3"});
  auto user = UserPrefs::userPrefs();
  auto apps = UserActions::userActions();
  apps->add(UserAction::userActionWithName("Mail", "/opt/Mail", "file:///opt/Mail"));
  apps->add(UserAction::userActionWithName("Chat", "/opt/Chat", "file:///opt/Chat"));
  user->setActions(apps->array());
  struct Case {
    const char* name;
    bool browser;
    bool htmlDefault;
    const char* unavailable;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"all", true, true, "", {"open-default html", "launch Mail", "launch Chat"}},
      {"no_browser_setting", false, true, "", {"launch Mail", "launch Chat"}},
      {"no_html_application", true, false, "", {"open-default html"}},
      {"first_app_fails", false, true, "Mail", {"launch Mail"}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    launcher->forgetCalls();
    if (row.htmlDefault) {
      launcher->setDefaultApplication("html", "browser");
    } else {
      launcher->removeDefaultApplication("html");
    }
    launcher->setUnavailable(row.unavailable);
    user->setStartBrowser(row.browser);
    std::filesystem::remove(bin + "/calls.log");
    center->postNotificationName(ZavroPostConnectNotification, nullptr);
    EXPECT_EQ(launcher->calls(), row.calls);
    EXPECT_EQ(calls(), (std::vector<std::string>{"post"}));
  }
}

TEST_F(ActionsTest, TerminationStopsEverything) {
  auto actions = actionsWithLines({program("dial") + ",1,1,s,,3"});
  center->postNotificationName(ZavroApplicationWillTerminateNotification, nullptr);
  EXPECT_TRUE(actions->actions().empty());
  center->postNotificationName(ZavroPreDialNotification, nullptr);
  EXPECT_TRUE(calls().empty());
}

}  // namespace
}  // namespace zavro
