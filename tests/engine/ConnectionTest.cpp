// Connection base: class choice, status and error rules, idle timer, terminate, network wait, the thread.
#include <gtest/gtest.h>

#include <future>

#include "ConnectionHarness.h"
#include "common/LogFile.h"
#include "engine/Connection.h"
#include "engine/DummyConnection.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::Attempt;
using test::Report;
using test::Script;
using test::ScriptedConnection;

TEST(ConnectionTest, TheAccessTypeChoosesTheKind) {
  struct Row {
    const char* name;
    std::uint32_t accessType;
    Connection::Kind kind;
  };
  const Row rows[] = {
      {"ISDN", 0x3, Connection::Kind::Dialup},
      {"modem", 0x4, Connection::Kind::Dialup},
      {"PHS", 0x180, Connection::Kind::Dialup},
      {"wired", 0x8, Connection::Kind::Broadband},
      {"wireless", 0x10, Connection::Kind::Broadband},
      {"wireless other", 0x40, Connection::Kind::Broadband},
      {"modem and wired", 0xC, Connection::Kind::Dialup},
      {"none", 0x0, Connection::Kind::Other},
      {"unknown bit", 0x200, Connection::Kind::Other},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Connection::kindForAccessType(row.accessType), row.kind) << row.name;
  }
}

// Connections made on the test thread, reporting straight to a recording controller.
class ConnectionOnThisThread : public ::testing::Test {
 protected:
  void SetUp() override { RunLoop::setCurrent(loop); }
  void TearDown() override { RunLoop::setCurrent(nullptr); }

  std::shared_ptr<ScriptedConnection> make(ConnectionSettings settings = Attempt::quietSettings()) {
    auto connection = std::make_shared<ScriptedConnection>(settings, script);
    connection->setStatusObject(controller);
    return connection;
  }

  std::shared_ptr<EventRunLoop> loop = EventRunLoop::create();
  std::shared_ptr<test::RecordingController> controller = std::make_shared<test::RecordingController>(loop);
  std::shared_ptr<Script> script = std::make_shared<Script>();
};

TEST_F(ConnectionOnThisThread, AnOtherAccessTypeGetsTheSimulatedConnectionUnlessAKindIsGiven) {
  ConnectionKinds none;
  EXPECT_NE(std::dynamic_pointer_cast<DummyConnection>(Connection::makeConnection(none, 0x0, {})), nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<DummyConnection>(Connection::makeConnection(none, 0x200, {})), nullptr);
  // Without a dial-up or broadband kind there is no simulated stand-in for them.
  EXPECT_EQ(std::dynamic_pointer_cast<DummyConnection>(Connection::makeConnection(none, 0x4, {})), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<DummyConnection>(Connection::makeConnection(none, 0x10, {})), nullptr);

  ConnectionKinds kinds;
  kinds.dialup = ScriptedConnection::factory(script);
  EXPECT_NE(std::dynamic_pointer_cast<ScriptedConnection>(Connection::makeConnection(kinds, 0x4, {})), nullptr);
}

TEST_F(ConnectionOnThisThread, StatusIsReportedOnlyWhenItChangesAndIdleTerminatesAfterItsReport) {
  auto connection = make();
  connection->infoDict().setString("ConnectionSpeed", "33600");
  connection->setStatus(kConnectionIdle);  // already idle
  EXPECT_TRUE(controller->reports.empty());
  EXPECT_FALSE(connection->isTerminated());

  connection->setStatus(kConnectionConnecting);
  connection->setStatus(kConnectionConnecting);
  connection->setStatus(kConnectionConnected);
  EXPECT_EQ(controller->lastInfo.string("ConnectionSpeed"), "33600");
  bool terminatedAtIdleReport = true;
  controller->onStatus = [&](std::int32_t status) {
    if (status == kConnectionIdle) {
      terminatedAtIdleReport = connection->isTerminated();
    }
  };
  connection->setStatus(kConnectionIdle);
  EXPECT_EQ(controller->reports,
            (std::vector<Report>{
                {"status", kConnectionConnecting}, {"status", kConnectionConnected}, {"status", kConnectionIdle}}));
  EXPECT_FALSE(terminatedAtIdleReport);
  EXPECT_TRUE(connection->isTerminated());
}

TEST_F(ConnectionOnThisThread, ErrorZeroIsIgnoredAndOthersAreStoredAndShown) {
  auto connection = make();
  connection->setError(kConnectionNoErr);
  EXPECT_TRUE(controller->reports.empty());
  connection->setError(kConnectionAuthenticationErr);
  connection->setError(kConnectionNoErr);
  EXPECT_EQ(connection->error(), kConnectionAuthenticationErr);
  connection->setError(7);  // unnamed codes pass through; the controller decides what they mean
  EXPECT_EQ(controller->reports, (std::vector<Report>{{"error", kConnectionAuthenticationErr}, {"error", 7}}));
  connection->clearError();
  EXPECT_EQ(connection->error(), kConnectionNoErr);
  EXPECT_EQ(controller->reports.size(), 2u);
}

TEST_F(ConnectionOnThisThread, TheIdleTimerStartsTheWorkOnceAndOnlyWhileIdle) {
  auto connection = make();
  script->onConnect = [&](Connection&) { loop->stop(); };
  connection->startIdleTimer();
  connection->connect(ConnectionPOP{nullptr, "P1", 0x0, "", ""});
  EXPECT_TRUE(script->calls == std::vector<std::string>{"connect"});  // connect() only marks the request
  EXPECT_EQ(loop->runFor(10.0), RunLoop::RunResult::Stopped);
  EXPECT_EQ(script->popID, "P1");
  loop->runFor(0.3);
  EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "doConnect"), 1);

  // A request made while the status is not idle waits.
  auto busy = make();
  busy->setStatus(kConnectionConnecting);
  busy->startIdleTimer();
  busy->connect(ConnectionPOP{});
  script->calls.clear();
  loop->runFor(0.35);
  EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "doConnect"), 0);
  connection->terminate();
  busy->terminate();
}

TEST_F(ConnectionOnThisThread, TerminateStopsTheIdleTimerSoTheLoopRunsOutOfSources) {
  auto connection = make();
  connection->startIdleTimer();
  EXPECT_EQ(loop->runFor(0.15), RunLoop::RunResult::TimedOut);
  connection->terminate();
  connection->terminate();  // again: harmless
  EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Finished);
  EXPECT_EQ(script->terminated, 1);
}

// Calls a function at each check, then answers as it returns.
class FunctionReachability final : public Reachability {
 public:
  explicit FunctionReachability(std::function<std::optional<std::uint32_t>()> answer) : mAnswer(std::move(answer)) {}
  std::optional<std::uint32_t> checkReachabilityByName(const std::string&) override { return mAnswer(); }

 private:
  std::function<std::optional<std::uint32_t>()> mAnswer;
};

ConnectionSettings fastWait(std::shared_ptr<Reachability> reachability, double wait_s = 10.0) {
  ConnectionSettings settings;
  settings.reachability = std::move(reachability);
  settings.reachabilityHost = "portal.test";
  settings.networkWaitSeconds = wait_s;
  settings.networkPollSeconds = 0.02;
  return settings;
}

TEST_F(ConnectionOnThisThread, NetworkWaitEndsWhenTheNetworkNeedsNoMoreConnection) {
  auto reachability = std::make_shared<ScriptedReachability>(kReachabilityReachable);
  reachability->queueAnswer(0u);
  reachability->queueAnswer(std::nullopt);
  reachability->queueAnswer(kReachabilityReachable | kReachabilityConnectionRequired);
  auto connection = make(fastWait(reachability));
  connection->setStatus(kConnectionConnecting);
  EXPECT_TRUE(connection->waitForNetworkToConnect());
  EXPECT_EQ(reachability->checks(), 4);
  EXPECT_EQ(reachability->hosts().front(), "portal.test");
  connection->terminate();
}

TEST_F(ConnectionOnThisThread, NetworkWaitIsFalseAtOnceWhenNotConnecting) {
  auto reachability = std::make_shared<ScriptedReachability>(kReachabilityReachable);
  auto connection = make(fastWait(reachability));
  EXPECT_FALSE(connection->waitForNetworkToConnect());
  EXPECT_EQ(reachability->checks(), 0);
}

TEST_F(ConnectionOnThisThread, NetworkWaitStopsOnAnErrorOrAStatusChangeMeanwhile) {
  struct Row {
    const char* name;
    std::function<void(Connection&)> meanwhile;
  };
  const Row rows[] = {
      {"error", [](Connection& c) { c.setError(kConnectionMiscErr); }},
      {"status", [](Connection& c) { c.setStatus(kConnectionDisconnecting); }},
  };
  for (const auto& row : rows) {
    Connection* target = nullptr;
    int checks = 0;
    auto connection = make(fastWait(std::make_shared<FunctionReachability>([&]() -> std::optional<std::uint32_t> {
      if (++checks == 2) {
        row.meanwhile(*target);
      }
      return 0u;
    })));
    target = connection.get();
    connection->setStatus(kConnectionConnecting);
    EXPECT_FALSE(connection->waitForNetworkToConnect()) << row.name;
    EXPECT_EQ(checks, 2) << row.name;
    connection->terminate();
  }
}

TEST_F(ConnectionOnThisThread, NetworkWaitGivesUpAtItsDeadline) {
  auto reachability = std::make_shared<ScriptedReachability>(kReachabilityReachable | kReachabilityConnectionRequired);
  auto connection = make(fastWait(reachability, 0.3));
  connection->setStatus(kConnectionConnecting);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(connection->waitForNetworkToConnect());
  EXPECT_GE(test::secondsSince(start), 0.29);
  EXPECT_GE(reachability->checks(), 2);
  EXPECT_LE(reachability->checks(), 16);  // one check per pause of 0.02 s at most
  EXPECT_EQ(connection->status(), kConnectionConnecting);
  connection->terminate();
}

TEST(ConnectionThreadTest, MessagesReachTheConnectionOnItsThreadInOrderAndTheStatusSequenceComesBack) {
  auto script = std::make_shared<Script>();
  script->onConnect = [](Connection& c) {
    c.setStatus(kConnectionConnecting);
    c.infoDict().setString("ConnectionSpeed", "28800");
    c.setStatus(kConnectionConnected);
  };
  script->onDisconnect = [](Connection& c) {
    c.setStatus(kConnectionDisconnecting);
    c.setStatus(kConnectionIdle);
  };
  Attempt attempt;
  attempt.controller.onStatus = [&](std::int32_t status) {
    if (status == kConnectionConnected) {
      attempt.controller.connection->disconnect();
    }
  };
  ConnectionKinds kinds;
  kinds.dialup = ScriptedConnection::factory(script);
  attempt.start(ConnectionPOP{nullptr, "POP-7", 0x4, "", "user@dom"}, kinds);
  EXPECT_EQ(attempt.runToIdle(), RunLoop::RunResult::Stopped);

  EXPECT_EQ(attempt.controller.reports, (std::vector<Report>{{"handover", 0},
                                                             {"status", kConnectionConnecting},
                                                             {"status", kConnectionConnected},
                                                             {"status", kConnectionDisconnecting},
                                                             {"status", kConnectionIdle}}));
  EXPECT_EQ(attempt.controller.lastInfo.string("ConnectionSpeed"), "28800");
  EXPECT_EQ(script->calls, (std::vector<std::string>{"setNetconfigArgs", "connect", "doConnect", "doDisconnect"}));
  EXPECT_NE(script->thread, std::this_thread::get_id());
  EXPECT_EQ(script->netconfigArgs, attempt.controller.netconfigArgs);
  EXPECT_EQ(script->popID, "POP-7");
  EXPECT_EQ(script->terminated, 1);
}

TEST(ConnectionThreadTest, AnErrorReachesTheControllerBeforeTheIdleThatFollowsIt) {
  auto script = std::make_shared<Script>();
  script->onConnect = [](Connection& c) {
    c.setStatus(kConnectionConnecting);
    c.setError(kConnectionNetworkErr);
    c.setStatus(kConnectionIdle);
  };
  Attempt attempt;
  ConnectionKinds kinds;
  kinds.broadband = ScriptedConnection::factory(script);
  attempt.start(ConnectionPOP{nullptr, "B1", 0x10, "GI", ""}, kinds);
  EXPECT_EQ(attempt.runToIdle(), RunLoop::RunResult::Stopped);
  EXPECT_EQ(attempt.controller.reports, (std::vector<Report>{{"handover", 0},
                                                             {"status", kConnectionConnecting},
                                                             {"error", kConnectionNetworkErr},
                                                             {"status", kConnectionIdle}}));
}

TEST(ConnectionThreadTest, AKindThisBuildLacksEndsWithAProtocolErrorAndALogLine) {
  struct Row {
    const char* name;
    std::uint32_t accessType;
    const char* logLine;
  };
  const Row rows[] = {
      {"dial-up", 0x4, "No dial-up connection is available for POP X1 (access type 0x4)."},
      {"broadband", 0x10, "No broadband connection is available for POP X1 (access type 0x10)."},
  };
  for (const auto& row : rows) {
    test::TestEnvironment environment;
    Attempt attempt;
    attempt.start(ConnectionPOP{nullptr, "X1", row.accessType, "", ""}, ConnectionKinds{});
    EXPECT_EQ(attempt.runToIdle(), RunLoop::RunResult::Stopped) << row.name;
    EXPECT_EQ(attempt.controller.reports, (std::vector<Report>{{"handover", 0},
                                                               {"status", kConnectionConnecting},
                                                               {"error", kConnectionProtocolErr},
                                                               {"status", kConnectionIdle}}))
        << row.name;
    auto log = ConnectionLog::connectionLog()->getLogContents();
    ASSERT_TRUE(log.has_value()) << row.name;
    EXPECT_NE(log->find(row.logLine), std::string::npos) << *log;
  }
}

TEST(ConnectionThreadTest, TheThreadEndsWhenTheControllerAbandonsALiveConnection) {
  auto script = std::make_shared<Script>();
  script->onConnect = [](Connection& c) {
    c.setStatus(kConnectionConnecting);
    c.setStatus(kConnectionConnected);  // and stays up
  };
  Attempt attempt;
  attempt.controller.onStatus = [&](std::int32_t status) {
    if (status == kConnectionConnected) {
      attempt.loop->stop();
    }
  };
  ConnectionKinds kinds;
  kinds.other = ScriptedConnection::factory(script);
  attempt.start(ConnectionPOP{nullptr, "D1", 0x0, "", ""}, kinds);
  ASSERT_EQ(attempt.loop->runFor(30.0), RunLoop::RunResult::Stopped);
  auto ended = std::async(std::launch::async, [&] { attempt.thread.reset(); });
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(script->terminated, 1);
  EXPECT_EQ(std::count(script->calls.begin(), script->calls.end(), "doDisconnect"), 0);
}

TEST(ConnectionThreadTest, ARefusedHandOverEndsTheThreadWithoutConnecting) {
  auto script = std::make_shared<Script>();
  Attempt attempt;
  attempt.channel->invalidate();  // the controller is gone before the thread asks for it
  attempt.ports.toController->invalidate();
  ConnectionKinds kinds;
  kinds.other = ScriptedConnection::factory(script);
  attempt.start(ConnectionPOP{}, kinds);
  auto ended = std::async(std::launch::async, [&] { attempt.thread->join(); });
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(script->terminated, 1);
  EXPECT_TRUE(script->calls.empty());
}

}  // namespace
}  // namespace zavro
