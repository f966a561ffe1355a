// Notification center: synchronous delivery, filters, user information, and removal during delivery.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "runtime/NotificationCenter.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

TEST(NotificationCenterTest, DeliversOnThePostingThreadInOrderOfRegistrationWithItsUserInfo) {
  NotificationCenter center;
  std::vector<std::string> calls;
  int sender = 0;
  int otherSender = 0;
  center.addObserver(
      &calls, [&](const Notification& n) { calls.push_back("any:" + n.name); }, "", nullptr);
  center.addObserver(
      &calls, [&](const Notification& n) { calls.push_back("dial:" + *n.userInfo.string("pop")); },
      "ZavroPreDialNotification", nullptr);
  center.addObserver(
      &calls, [&](const Notification&) { calls.push_back("dial-from-sender"); }, "ZavroPreDialNotification", &sender);
  center.addObserver(
      &calls, [&](const Notification&) { calls.push_back("other-sender"); }, "", &otherSender);

  center.postNotificationName("ZavroPreDialNotification", &sender, UserInfo().setString("pop", "P1"));
  center.postNotificationName("ZavroErrorNotification", nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"any:ZavroPreDialNotification", "dial:P1", "dial-from-sender",
                                             "any:ZavroErrorNotification"}));
}

TEST(NotificationCenterTest, AnObserverRemovingItselfDuringDeliveryIsNotCalledAgain) {
  NotificationCenter center;
  std::vector<std::string> calls;
  int self = 0;
  center.addObserver(
      &self,
      [&](const Notification&) {
        calls.push_back("self");
        center.removeObserver(&self);
      },
      "N", nullptr);
  center.addObserver(
      &calls, [&](const Notification&) { calls.push_back("next"); }, "N", nullptr);
  center.postNotificationName("N", nullptr);
  center.postNotificationName("N", nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"self", "next", "next"}));
}

TEST(NotificationCenterTest, AnObserverRemovedByAnEarlierOneIsSkippedInTheSameDelivery) {
  NotificationCenter center;
  std::vector<std::string> calls;
  int later = 0;
  center.addObserver(
      &calls,
      [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(&later);
      },
      "N", nullptr);
  auto laterId = center.addObserver(
      &later, [&](const Notification&) { calls.push_back("later"); }, "N", nullptr);
  center.postNotificationName("N", nullptr);
  EXPECT_EQ(calls, std::vector<std::string>{"first"});
  center.removeObserver(laterId);  // already gone: harmless
}

TEST(NotificationCenterTest, AnObserverAddedDuringDeliveryHearsOnlyLaterPosts) {
  NotificationCenter center;
  int added = 0;
  bool registered = false;
  center.addObserver(
      &center,
      [&](const Notification&) {
        if (!registered) {
          registered = true;
          center.addObserver(
              &added, [&](const Notification&) { ++added; }, "N", nullptr);
        }
      },
      "N", nullptr);
  center.postNotificationName("N", nullptr);
  EXPECT_EQ(added, 0);
  center.postNotificationName("N", nullptr);
  EXPECT_EQ(added, 1);
}

TEST(NotificationCenterTest, RemovalByObserverNameAndObject) {
  NotificationCenter center;
  int observer = 0;
  int sender = 0;
  std::vector<std::string> calls;
  center.addObserver(
      &observer, [&](const Notification& n) { calls.push_back("a:" + n.name); }, "A", nullptr);
  center.addObserver(
      &observer, [&](const Notification& n) { calls.push_back("b:" + n.name); }, "B", &sender);
  center.addObserver(
      &observer, [&](const Notification& n) { calls.push_back("b2:" + n.name); }, "B", nullptr);
  center.removeObserver(&observer, "B", &sender);
  center.postNotificationName("A", &sender);
  center.postNotificationName("B", &sender);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:A", "b2:B"}));
  calls.clear();
  center.removeObserver(&observer);
  center.postNotificationName("A", &sender);
  center.postNotificationName("B", &sender);
  EXPECT_TRUE(calls.empty());
}

TEST(NotificationCenterTest, NestedPostsFromACallbackAreDeliveredAtOnce) {
  NotificationCenter center;
  std::vector<std::string> calls;
  center.addObserver(
      &calls,
      [&](const Notification&) {
        calls.push_back("outer");
        center.postNotificationName("Inner", nullptr);
        calls.push_back("outer-done");
      },
      "Outer", nullptr);
  center.addObserver(
      &calls,
      [&](const Notification&) {
        calls.push_back("inner");
        center.removeObserver(&calls, "Outer", nullptr);  // removes a callback that is running on this thread
      },
      "Inner", nullptr);
  center.postNotificationName("Outer", nullptr);
  center.postNotificationName("Outer", nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"outer", "inner", "outer-done"}));
}

TEST(NotificationCenterTest, RemovalWaitsForACallbackRunningOnAnotherThread) {
  NotificationCenter center;
  std::promise<void> entered;
  std::atomic<bool> finished{false};
  int observer = 0;
  center.addObserver(
      &observer,
      [&](const Notification&) {
        entered.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished = true;
      },
      "N", nullptr);
  std::thread poster([&] { center.postNotificationName("N", nullptr); });
  entered.get_future().wait();
  center.removeObserver(&observer);
  // Had removal not waited, the observer could be destroyed under the running callback.
  EXPECT_TRUE(finished);
  poster.join();
}

TEST(NotificationCenterTest, PostsAndRemovalsFromSeveralThreadsAtOnce) {
  NotificationCenter center;
  std::atomic<int> calls{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        int token = 0;
        auto id = center.addObserver(
            &token, [&](const Notification&) { ++calls; }, "N", nullptr);
        center.postNotificationName("N", nullptr);
        if ((i + t) % 2 == 0) {
          center.removeObserver(id);
        } else {
          center.removeObserver(&token);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_GE(calls.load(), 900);  // each post reaches at least its own observer
  int after = calls.load();
  center.postNotificationName("N", nullptr);
  EXPECT_EQ(calls.load(), after);  // everything was removed
}

TEST(NotificationCenterTest, UserInfoAnswersOnlyForTheKindItHolds) {
  auto pop = std::make_shared<std::string>("POP object");
  UserInfo info;
  info.setString("pop id", "12")
      .setInteger("accessType", 4)
      .setNumber("ratio", 0.5)
      .setBool("flag", true)
      .setObject("pop", pop);
  EXPECT_EQ(info.size(), 5u);
  EXPECT_EQ(info.string("pop id"), "12");
  EXPECT_EQ(info.integer("accessType"), 4);
  EXPECT_EQ(info.number("accessType"), 4.0);
  EXPECT_EQ(info.number("ratio"), 0.5);
  EXPECT_EQ(info.boolean("flag"), true);
  EXPECT_EQ(info.object<std::string>("pop"), pop);

  EXPECT_FALSE(info.integer("pop id").has_value());
  EXPECT_FALSE(info.string("accessType").has_value());
  EXPECT_FALSE(info.boolean("accessType").has_value());
  EXPECT_EQ(info.object<int>("pop"), nullptr);  // another type
  EXPECT_EQ(info.object<std::string>("pop id"), nullptr);
  EXPECT_FALSE(info.contains("dialString"));
  EXPECT_FALSE(info.string("dialString").has_value());
  info.remove("pop");
  EXPECT_FALSE(info.contains("pop"));
}

TEST(NotificationCenterTest, TheDefaultCenterIsOneObjectMadeAfreshForANewEnvironment) {
  std::shared_ptr<NotificationCenter> before;
  {
    test::TestEnvironment environment;
    before = NotificationCenter::defaultCenter();
    EXPECT_EQ(NotificationCenter::defaultCenter(), before);
  }
  test::TestEnvironment environment;
  EXPECT_NE(NotificationCenter::defaultCenter(), before);
}

}  // namespace
}  // namespace zavro
