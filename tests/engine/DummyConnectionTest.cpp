// The simulated connection's timing, through a real connection thread.
#include <gtest/gtest.h>

#include "ConnectionHarness.h"
#include "engine/DummyConnection.h"

namespace zavro {
namespace {

using test::Attempt;
using test::Report;

std::vector<long long> statuses(const test::RecordingController& controller) {
  std::vector<long long> out;
  for (const auto& r : controller.only("status")) {
    out.push_back(r.value);
  }
  return out;
}

double at(const test::RecordingController& controller, const char* what, long long value) {
  for (const auto& r : controller.reports) {
    if (r.what == what && r.value == value) {
      return r.at;
    }
  }
  ADD_FAILURE() << "no " << what << "=" << value;
  return 0;
}

// Bounds wide enough for a loaded machine; the lower ones show that the one-second steps are real.
constexpr double kStepMin = 0.8;
constexpr double kStepMax = 4.0;

TEST(DummyConnectionTest, ConnectsAboutASecondLaterCountsFromZeroAndDisconnectsAboutASecondLater) {
  Attempt attempt;
  attempt.controller.onTime = [&](std::uint32_t seconds) {
    if (seconds == 1) {
      attempt.controller.connection->disconnect();
    }
  };
  attempt.start(ConnectionPOP{nullptr, "SIM", 0x0, "", ""}, ConnectionKinds{});
  ASSERT_EQ(attempt.runToIdle(), RunLoop::RunResult::Stopped);
  const auto& c = attempt.controller;

  EXPECT_EQ(statuses(c), (std::vector<long long>{kConnectionConnecting, kConnectionConnected, kConnectionDisconnecting,
                                                 kConnectionIdle}));
  auto times = c.only("time");
  ASSERT_GE(times.size(), 2u);
  for (size_t i = 0; i < times.size(); ++i) {
    EXPECT_EQ(times[i].value, static_cast<long long>(i));  // 0, 1, ... (-1 would mean "not connected")
  }
  EXPECT_TRUE(c.only("error").empty());

  const double connecting = at(c, "status", kConnectionConnecting);
  const double connected = at(c, "status", kConnectionConnected);
  const double disconnecting = at(c, "status", kConnectionDisconnecting);
  const double idle = at(c, "status", kConnectionIdle);
  EXPECT_GE(connected - connecting, kStepMin);
  EXPECT_LE(connected - connecting, kStepMax);
  EXPECT_GE(times[0].at, connected);
  EXPECT_GE(times[1].at - times[0].at, 0.5);
  EXPECT_LE(times[1].at - times[0].at, kStepMax);
  EXPECT_GE(idle - disconnecting, kStepMin);
  EXPECT_LE(idle - disconnecting, kStepMax);
}

TEST(DummyConnectionTest, ADisconnectWhileConnectingGoesStraightToDisconnectingThenIdle) {
  Attempt attempt;
  attempt.controller.onStatus = [&](std::int32_t status) {
    if (status == kConnectionConnecting) {
      attempt.controller.connection->disconnect();
    }
  };
  attempt.start(ConnectionPOP{nullptr, "SIM", 0x0, "", ""}, ConnectionKinds{});
  ASSERT_EQ(attempt.runToIdle(), RunLoop::RunResult::Stopped);
  EXPECT_EQ(statuses(attempt.controller),
            (std::vector<long long>{kConnectionConnecting, kConnectionDisconnecting, kConnectionIdle}));
  EXPECT_TRUE(attempt.controller.only("time").empty());
}

}  // namespace
}  // namespace zavro
