// Reachability: the Linux route lookup on loopback, its interface rule, the scripted backend, the choice.
#include <gtest/gtest.h>
#include <net/if.h>

#include <cstdlib>

#include "engine/DummyConnection.h"
#include "platform/LinuxReachability.h"
#include "platform/ScriptedReachability.h"
#include "runtime/EventRunLoop.h"

namespace zavro {
namespace {

TEST(ReachabilityTest, LoopbackIsReachableWithoutAConnection) {
  LinuxReachability reachability;
  for (const char* host : {"127.0.0.1", "localhost"}) {
    auto flags = reachability.checkReachabilityByName(host);
    ASSERT_TRUE(flags.has_value()) << host;
    EXPECT_EQ(*flags, kReachabilityReachable) << host;
    EXPECT_TRUE(isReachableWithoutConnection(flags)) << host;
  }
}

TEST(ReachabilityTest, ANameThatDoesNotResolveIsNotReachable) {
  LinuxReachability reachability;
  auto flags = reachability.checkReachabilityByName("no-such-host.invalid");
  EXPECT_FALSE(isReachableWithoutConnection(flags));
  if (flags) {
    EXPECT_EQ(*flags, 0u);
  }
}

TEST(ReachabilityTest, ARouteOverALinkThatIsNotUpAndRunningNeedsAConnection) {
  struct Row {
    const char* name;
    unsigned int interfaceFlags;
    bool connectionRequired;
  };
  const Row rows[] = {
      {"up and running", IFF_UP | IFF_RUNNING, false},
      {"ppp link with its peer up", IFF_UP | IFF_RUNNING | IFF_POINTOPOINT, false},
      {"up without carrier", IFF_UP, true},
      {"ppp link still negotiating", IFF_UP | IFF_POINTOPOINT, true},
      {"down", 0, true},
  };
  for (const auto& row : rows) {
    auto flags = LinuxReachability::flagsForInterface(row.interfaceFlags);
    EXPECT_TRUE(flags & kReachabilityReachable) << row.name;
    EXPECT_EQ((flags & kReachabilityConnectionRequired) != 0, row.connectionRequired) << row.name;
  }
}

TEST(ReachabilityTest, OnlyReachableWithoutConnectionRequiredCountsAsConnected) {
  struct Row {
    std::optional<std::uint32_t> flags;
    bool connected;
  };
  const Row rows[] = {
      {std::nullopt, false},
      {0u, false},
      {kReachabilityReachable, true},
      {kReachabilityReachable | kReachabilityConnectionRequired, false},
      {kReachabilityConnectionRequired, false},
      {kReachabilityReachable | 0x20000u, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isReachableWithoutConnection(row.flags), row.connected) << (row.flags ? *row.flags : 0xFFFFFFFFu);
  }
}

TEST(ReachabilityTest, ScriptedAnswersComeFirstThenTheStandingOne) {
  ScriptedReachability reachability(0u);
  reachability.queueAnswer(std::nullopt);
  reachability.queueAnswer(kReachabilityReachable);
  EXPECT_EQ(reachability.checkReachabilityByName("a"), std::nullopt);
  EXPECT_EQ(reachability.checkReachabilityByName("b"), kReachabilityReachable);
  EXPECT_EQ(reachability.checkReachabilityByName("c"), 0u);
  reachability.setAnswer(kReachabilityReachable);
  EXPECT_EQ(reachability.checkReachabilityByName("d"), kReachabilityReachable);
  EXPECT_EQ(reachability.hosts(), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(ReachabilityTest, TheSimulatedPlatformIsChosenOnlyWhenAskedFor) {
  const char* saved = std::getenv("ZAVRO_PLATFORM");
  std::string before = saved ? saved : "";
  ::unsetenv("ZAVRO_PLATFORM");
  EXPECT_NE(std::dynamic_pointer_cast<LinuxReachability>(Reachability::systemReachability()), nullptr);
  ::setenv("ZAVRO_PLATFORM", "sim", 1);
  EXPECT_NE(std::dynamic_pointer_cast<ScriptedReachability>(Reachability::systemReachability()), nullptr);
  if (saved) {
    ::setenv("ZAVRO_PLATFORM", before.c_str(), 1);
  } else {
    ::unsetenv("ZAVRO_PLATFORM");
  }
}

TEST(ReachabilityTest, AConnectionAsksTheSystemBackendAboutItsConfiguredHost) {
  auto loop = EventRunLoop::create();
  RunLoop::setCurrent(loop);
  ConnectionSettings settings;
  settings.reachability = std::make_shared<LinuxReachability>();
  settings.reachabilityHost = "127.0.0.1";
  DummyConnection onLoopback(settings);
  EXPECT_TRUE(onLoopback.isNetworkConnected());
  settings.reachabilityHost = "no-such-host.invalid";
  DummyConnection nowhere(settings);
  EXPECT_FALSE(nowhere.isNetworkConnected());
  RunLoop::setCurrent(nullptr);
}

}  // namespace
}  // namespace zavro
