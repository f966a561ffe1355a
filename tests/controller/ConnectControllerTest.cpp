// The connect controller with real connection threads, scripted connections and the simulated netconfig.
#include <gtest/gtest.h>

#include "ControllerFixture.h"
#include "phonebook/AccessType.h"

namespace zavro {
namespace {

using test::Behaviour;
using test::ControllerTest;

const std::vector<std::string> kSequenceLines = {
    "Connect button clicked.", "Switching network location.",     "Redialing POP",
    "Dialing next POP",        "No more POPs to dial, giving up", "Unable to switch network location."};

TEST_F(ControllerTest, AFailingModemPOPIsDialedOnceAndRedialedTwiceThenGivenUp) {
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runToRest());

  EXPECT_EQ(script->pops(), (std::vector<std::string>{kModemA, kModemA, kModemA}));
  EXPECT_EQ(logLines(kSequenceLines),
            (std::vector<std::string>{"Connect button clicked.", "Switching network location.", "Redialing POP",
                                      "Switching network location.", "Redialing POP", "Switching network location.",
                                      "No more POPs to dial, giving up"}));
  const auto n = names();
  std::vector<std::string> dialNotes;
  for (const auto& name : n) {
    if (name == ZavroPreConnectNotification || name == ZavroPreDialNotification || name == ZavroErrorNotification) {
      dialNotes.push_back(name);
    }
  }
  EXPECT_EQ(dialNotes,
            (std::vector<std::string>{ZavroPreConnectNotification, ZavroPreDialNotification, ZavroPreDialNotification,
                                      ZavroPreDialNotification, ZavroErrorNotification}));
  EXPECT_EQ(n.back(), ZavroErrorNotification);
  EXPECT_EQ(SqmRecord::getError(), 678);
  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(view.alerts[0].title, "Dialing timed out.");
  EXPECT_EQ(view.alerts[0].message, "Unable to connect to the specified numbers.");
  EXPECT_EQ(view.alerts[0].defaultButton, "OK");
  EXPECT_FALSE(view.small);
  EXPECT_EQ(view.last("expand"), "expand");

  // Three dials and a restore after each; the password travelled on standard input only.
  auto dials = dialRuns();
  ASSERT_EQ(dials.size(), 3u);
  EXPECT_EQ(netconfigRuns().size(), 6u);
  for (const auto& run : dials) {
    EXPECT_TRUE(run.passwordFromStdin);
    EXPECT_EQ(std::count(run.args.begin(), run.args.end(), "secret"), 0);
    auto phone = std::find(run.args.begin(), run.args.end(), "-ppp-phone");
    ASSERT_NE(phone, run.args.end());
    EXPECT_FALSE((phone + 1)->empty());
  }
  // The connection itself was handed the arguments as they were made, password included.
  ASSERT_EQ(script->netconfigArgs.size(), 3u);
  EXPECT_EQ(std::count(script->netconfigArgs[0].begin(), script->netconfigArgs[0].end(), "secret"), 1);
}

TEST_F(ControllerTest, TwoSelectedPOPsGetTheSameAttemptsEachWithDialingNextPOPBetween) {
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA, kModemB}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kModemA, kModemA, kModemA, kModemB, kModemB, kModemB}));
  auto lines = logLines(kSequenceLines);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Dialing next POP"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Redialing POP"), 4);
  EXPECT_EQ(lines.back(), "No more POPs to dial, giving up");
  EXPECT_EQ(count(ZavroPreDialNotification), 6);
  EXPECT_EQ(count(ZavroPreConnectNotification), 1);
}

TEST_F(ControllerTest, NoRedialsWithSmartRedialTriesEachPOPOnceInOrder) {
  prefs->redials = 0;
  prefs->smart = true;
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA, kModemB, kModemC}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kModemA, kModemB, kModemC}));
  EXPECT_EQ(logLines({"Dialing next POP", "Redialing POP"}),
            (std::vector<std::string>{"Dialing next POP", "Dialing next POP"}));
  EXPECT_EQ(SqmRecord::getError(), 678);
}

TEST_F(ControllerTest, NoRedialsWithoutSmartRedialStopsAfterOneAttempt) {
  prefs->redials = 0;
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA, kModemB}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return script->made == 1 && c.status() == kConnectionIdle && view.canRedial; }));
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kModemA}));
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(ControllerTest, ABroadbandFailureIsNeverRedialedAndLeavesTheUserTheChoice) {
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kWirelessA, kWirelessB}, kAccessWireless);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return script->made == 1 && c.status() == kConnectionIdle && view.canRedial; }));
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kWirelessA}));
  EXPECT_TRUE(view.small);
  EXPECT_TRUE(view.canDialAnother);
  EXPECT_TRUE(view.canCancel);
  EXPECT_EQ(count(ZavroErrorNotification), 0);

  // The status view's Dial Another button tries the next one.
  ASSERT_TRUE(c.dialAnother());
  ASSERT_TRUE(runUntil([&] { return script->made == 2 && c.status() == kConnectionIdle && view.canRedial; }));
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kWirelessA, kWirelessB}));
  EXPECT_FALSE(c.dialAnother());
}

TEST_F(ControllerTest, CancelWhileConnectingEndsTheSequence) {
  script->plan = {Behaviour{Behaviour::Hang}};
  auto& c = make({kModemA, kModemB}, kAccessModem);
  view.onEvent = [&](const std::string& e) {
    if (e == "status Connecting\u2026") {
      c.disconnect(true, -103);  // the status view's Cancel button
    }
  };
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(script->made, 1);
  EXPECT_EQ(count(ZavroCancelNotification), 1);
  EXPECT_EQ(count(ZavroErrorNotification), 0);
  EXPECT_EQ(SqmRecord::getError(), -103);
  EXPECT_EQ(SqmRecord::getDisconnectCode(), 1);
  EXPECT_FALSE(view.small);
  EXPECT_TRUE(view.alerts.empty());
}

TEST_F(ControllerTest, ConnectWhileConnectingCancelsButTheRedialRulesStillApply) {
  prefs->redials = 1;
  script->plan = {Behaviour{Behaviour::Hang}, Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA}, kAccessModem);
  bool pressed = false;
  view.onEvent = [&](const std::string& e) {
    if (e == "status Connecting\u2026" && !pressed) {
      pressed = true;
      c.connect();  // the button now means Disconnect
    }
  };
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(script->pops(), (std::vector<std::string>{kModemA, kModemA}));
  EXPECT_EQ(count(ZavroCancelNotification), 1);
  EXPECT_EQ(SqmRecord::getError(), -103);  // the first error of the attempt wins over the give-up code
  EXPECT_EQ(logLines({"Connect button clicked."}).size(), 1u);
  EXPECT_EQ(logLines({"No more POPs to dial, giving up"}).size(), 1u);
}

TEST_F(ControllerTest, TheDialTimeoutCancelsWithItsCodeAndThenRedials) {
  prefs->redials = 1;
  dialTimeout = 0.3;
  script->plan = {Behaviour{Behaviour::Hang}};
  auto& c = make({kModemA}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(script->made, 2);
  EXPECT_EQ(count(ZavroCancelNotification), 2);
  EXPECT_EQ(SqmRecord::getError(), 678);
  EXPECT_EQ(view.alerts.size(), 1u);
}

TEST_F(ControllerTest, ADroppedLinkIsNotRedialed) {
  script->plan = {Behaviour{Behaviour::Drop, 0, "28800"}};
  auto& c = make({kModemA}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return c.didConnectNow() && c.status() == kConnectionIdle; }));
  // Give a wrong redial time to show itself.
  runUntil([] { return false; }, 0.3);
  EXPECT_EQ(script->made, 1);
  EXPECT_EQ(count(ZavroDisconnectNotification), 0);
  EXPECT_EQ(count(ZavroErrorNotification), 0);
  EXPECT_FALSE(view.small);
  EXPECT_TRUE(view.alerts.empty());
  EXPECT_EQ(netconfigRuns().back().args,
            (std::vector<std::string>{"-restore-previous", "yes", "-delete-zavro", "yes"}));
}

TEST_F(ControllerTest, AFullAttemptPostsEveryNotificationInOrder) {
  script->plan = {Behaviour{Behaviour::Connect, 0, "28800"}};
  auto& c = make({kModemA}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return count(ZavroPostConnectNotification) == 1; }));
  c.disconnect(true, -103);
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(names(), (std::vector<std::string>{ZavroPreConnectNotification, ZavroPreDialNotification,
                                               ZavroModemNegotiatedNotification, ZavroPreTunnelNotification,
                                               ZavroTunnelNotification, ZavroPostConnectNotification,
                                               ZavroDisconnectNotification}));
  const auto& pre = notifications[0].userInfo;
  EXPECT_EQ(pre.object<POP>("pop"), pop(kModemA));
  EXPECT_EQ(pre.integer("accessType"), static_cast<std::int64_t>(kAccessModem));
  ASSERT_TRUE(pre.string("dialString"));
  EXPECT_FALSE(pre.string("dialString")->empty());
  EXPECT_EQ(notifications[2].userInfo.string("Baud Rate"), "28800");
  for (const auto& n : notifications) {
    EXPECT_EQ(n.object, &c);
  }
  EXPECT_EQ(logLines({"Connecting...", "Connected to POP", "Disconnecting...", "Connection has disconnected"}),
            (std::vector<std::string>{"Connecting...", "Connected to POP", "Disconnecting...",
                                      "Connection has disconnected"}));
  EXPECT_TRUE(view.has("status Connected"));
  EXPECT_TRUE(view.has("cancel Disconnect"));
  EXPECT_EQ(SqmRecord::getDisconnectCode(), 1);
  EXPECT_EQ(SqmRecord::getError(), 0);  // a disconnect while connected is no error
}

TEST_F(ControllerTest, TheTunnelStepWaitsForThePhonebookUpdate) {
  struct LaterUpdate : SelfUpdate {
    std::function<void(bool)> done;
    int started = 0;
    void startUpdate(bool, std::function<void(bool)> d) override {
      ++started;
      done = std::move(d);
    }
  };
  auto update = std::make_shared<LaterUpdate>();
  prefs->update = true;
  script->plan = {Behaviour{Behaviour::Connect, 0, ""}};
  auto& c = make({kModemA}, kAccessModem);
  c.setSelfUpdate(update);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return count(ZavroPreTunnelNotification) == 1; }));
  runUntil([] { return false; }, 0.2);
  EXPECT_EQ(update->started, 1);
  EXPECT_EQ(count(ZavroTunnelNotification), 0);
  EXPECT_EQ(notifications[2].userInfo.string("Baud Rate"), "");  // no speed reported
  update->done(true);
  EXPECT_EQ(names().back(), ZavroPostConnectNotification);
  EXPECT_TRUE(view.alerts.empty());  // not asked for by the user: no result shown
  c.disconnect(true, -103);
  ASSERT_TRUE(runToRest());
}

TEST_F(ControllerTest, ABroadbandListGivesNoDialStringKey) {
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kWirelessA}, kAccessWireless);
  c.connect();
  ASSERT_TRUE(runToRest());
  ASSERT_FALSE(notifications.empty());
  EXPECT_EQ(notifications[0].name, ZavroPreConnectNotification);
  EXPECT_FALSE(notifications[0].userInfo.contains("dialString"));
  EXPECT_EQ(notifications[0].userInfo.integer("accessType"), static_cast<std::int64_t>(kAccessWireless));
  auto dials = dialRuns();
  ASSERT_EQ(dials.size(), 1u);
  EXPECT_EQ(std::count(dials[0].args.begin(), dials[0].args.end(), "-ppp-phone"), 0);
}

TEST_F(ControllerTest, ErrorsFollowTheirTable) {
  struct Case {
    std::int32_t code;
    const char* logLine;  // null: none
    const char* title;    // null: no alert
    bool errorNotification;
    std::int32_t sqm;
  };
  const Case cases[] = {
      {1, "Unknown error.", "An unknown error occurred while attempting to connect.", true, 651},
      {2, "Modem error.", "An error occurred while using the modem.", true, 651},
      {3, "HTP error during connection.", "An error occurred while contacting the server.", true, 300},
      {4, "Authentication error during connection", "An error occurred while authenticating with the server.", true,
       14},
      {5, "User already authenticated with server.", "You are already connected with the server.", false, 0},
      {6, "Unknown error during disconnect", "An error occurred while terminating your connection.", true, 505},
      {7, "Unknown error", "An unknown error occurred while attempting to connect.", true, -103},
      {8, "Protocol error during connection", "An error occurred while authenticating with the server.", true, 503},
      {9, "Network error", "An error occurred while connecting to the network.", true, 300},
      {10, "Connection aborted", nullptr, false, 0},
      {42, "Unknown error", "An unknown error occurred while attempting to connect.", true, -103},
  };
  auto& c = make({kModemA}, kAccessModem);
  for (const auto& row : cases) {
    SCOPED_TRACE(row.code);
    SqmRecord::resetCodes();
    notifications.clear();
    view.alerts.clear();
    c.setConnectionStatus(kConnectionConnecting, {});
    const auto before = logLines().size();
    c.displayError(row.code);
    auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), row.logLine);
    if (row.title) {
      ASSERT_EQ(view.alerts.size(), 1u);
      EXPECT_EQ(view.alerts[0].title, row.title);
      EXPECT_EQ(view.alerts[0].style, Alert::Style::Critical);
    } else {
      EXPECT_TRUE(view.alerts.empty());
    }
    EXPECT_EQ(count(ZavroErrorNotification), row.errorNotification ? 1 : 0);
    EXPECT_EQ(count(ZavroCancelNotification), row.errorNotification ? 1 : 0);
    EXPECT_EQ(SqmRecord::getError(), row.sqm);
  }
  c.setConnectionStatus(kConnectionIdle, {});
}

TEST_F(ControllerTest, AlreadyAuthenticatedKeepsTheConnection) {
  script->plan = {Behaviour{Behaviour::Error, kConnectionAuthenticatedErr}};
  auto& c = make({kWirelessA}, kAccessWireless);
  c.connect();
  ASSERT_TRUE(runUntil([&] { return !view.alerts.empty(); }));
  runUntil([] { return false; }, 0.3);
  EXPECT_EQ(c.status(), kConnectionConnected);
  EXPECT_EQ(count(ZavroErrorNotification), 0);
  EXPECT_EQ(count(ZavroCancelNotification), 0);
  c.disconnect(true, -103);
  ASSERT_TRUE(runToRest());
}

TEST_F(ControllerTest, QuitWhileConnectedAsksAndOnTerminateDisconnectsThenTerminates) {
  script->plan = {Behaviour{Behaviour::Connect, 0, "33600"}};
  auto& c = make({kModemA}, kAccessModem);
  EXPECT_TRUE(c.shouldTerminate());  // idle: at once, without asking
  EXPECT_TRUE(view.alerts.empty());
  c.connect();
  ASSERT_TRUE(runUntil([&] { return c.status() == kConnectionConnected; }));

  view.answer = AlertButton::Other;  // Cancel
  EXPECT_FALSE(c.shouldTerminate());
  ASSERT_EQ(view.alerts.size(), 1u);
  EXPECT_EQ(view.alerts[0].title, "Quit ZavroConnect");
  EXPECT_EQ(view.alerts[0].message, "Quitting ZavroConnect will terminate your connection.");
  EXPECT_EQ(view.alerts[0].defaultButton, "Terminate");
  EXPECT_EQ(view.alerts[0].otherButton, "Cancel");
  runUntil([] { return false; }, 0.2);
  EXPECT_EQ(c.status(), kConnectionConnected);
  EXPECT_EQ(count(ZavroDisconnectNotification), 0);

  view.answer = AlertButton::Default;  // Terminate
  EXPECT_FALSE(c.shouldTerminate());   // not yet: once idle
  EXPECT_EQ(view.terminated, 0);
  EXPECT_EQ(count(ZavroDisconnectNotification), 1);
  ASSERT_TRUE(runUntil([&] { return view.terminated == 1; }));
  EXPECT_EQ(c.status(), kConnectionIdle);
  EXPECT_EQ(netconfigRuns().back().args[0], "-restore-previous");
}

TEST_F(ControllerTest, ABusyNetconfigIsRunAgainWithANewDialStep) {
  setNetconfigStatus("2,2,0");
  prefs->redials = 0;
  script->plan = {Behaviour{Behaviour::Fail}};
  auto& c = make({kModemA}, kAccessModem);
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(dialRuns().size(), 3u);
  EXPECT_EQ(count(ZavroPreDialNotification), 3);
  EXPECT_EQ(script->made, 1);
  EXPECT_EQ(logLines({"Switching network location.", "Unable to switch network location."}).size(), 3u);
}

TEST_F(ControllerTest, NetconfigFailuresStopTheAttempt) {
  struct Case {
    const char* statuses;
    int retries;
    size_t runs;
    bool busyLine;
  };
  const Case cases[] = {{"1", 10, 1, false}, {"7", 10, 1, false}, {"2", 3, 4, true}};
  for (const auto& row : cases) {
    SCOPED_TRACE(row.statuses);
    std::remove(netconfigRecord().c_str());
    setNetconfigStatus(row.statuses);
    busyRetries = row.retries;
    view.events.clear();
    auto& c = make({kModemA}, kAccessModem);
    const auto before = logLines().size();
    c.connect();
    auto lines = logLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(before));
    EXPECT_EQ(lines.back(), "Unable to switch network location.");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "netconfig is still busy after 4 runs."), row.busyLine ? 1 : 0);
    EXPECT_EQ(netconfigRuns().size(), row.runs);
    EXPECT_EQ(c.status(), kConnectionIdle);
    EXPECT_FALSE(c.isWaitingToConnect());
    EXPECT_TRUE(view.buttonEnabled);  // the user can try again
    EXPECT_FALSE(view.has("collapse"));
  }
  EXPECT_EQ(script->made, 0);
}

TEST_F(ControllerTest, AMissingLoginIsAskedForAndCancellingEndsTheRequest) {
  prefs->pass = "";
  script->plan = {Behaviour{Behaviour::Fail}};
  prefs->redials = 0;
  auto& c = make({kModemA}, kAccessModem);
  view.loginAnswer = false;
  c.connect();
  EXPECT_TRUE(view.has("login"));
  EXPECT_EQ(
      logLines({"User information not complete. Prompting for login information.", "User canceled from login window."})
          .size(),
      2u);
  EXPECT_TRUE(notifications.empty());
  EXPECT_TRUE(view.buttonEnabled);

  view.loginAnswer = true;
  view.onLogin = [&] { prefs->pass = "typed"; };
  c.connect();
  ASSERT_TRUE(runToRest());
  EXPECT_EQ(count(ZavroPreConnectNotification), 1);
  EXPECT_EQ(script->made, 1);
}

TEST_F(ControllerTest, RestoreKeepsOrDeletesTheZavroLocation) {
  struct Case {
    const char* configIni;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"[Profile]\nKeepZavroLocation=0\n", {"-restore-previous", "yes", "-delete-zavro", "yes"}},
      {"[Profile]\nKeepZavroLocation=1\n", {"-restore-previous", "yes"}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.configIni);
    env.writeConfig("config.ini", row.configIni);
    env.apply();  // the administrator configuration is read again
    setNetconfigStatus("");
    std::remove(netconfigRecord().c_str());
    ConnectController::Options options;
    options.runLoop = loop;
    options.center = center;
    ConnectController c(view, options);  // the real settings
    c.restorePreviousLocation();
    auto runs = netconfigRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, row.args);
  }
}

}  // namespace
}  // namespace zavro
