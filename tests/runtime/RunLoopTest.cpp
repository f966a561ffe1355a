// Run loop: posts, timers (one-shot, repeating, re-armed), stop and out-of-sources, cross-thread posts, calls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/EventRunLoop.h"

namespace zavro {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(RunLoopTest, OneShotTimerFiresOnceThenTheLoopIsOutOfSources) {
  auto loop = EventRunLoop::create();
  int fired = 0;
  bool validInside = true;
  auto start = Clock::now();
  double firedAfter = 0;
  auto timer = loop->scheduleTimer(0.05, false, [&](Timer& t) {
    ++fired;
    firedAfter = secondsSince(start);
    validInside = t.isValid();
  });
  EXPECT_TRUE(timer->isValid());
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished);
  EXPECT_EQ(fired, 1);
  EXPECT_GE(firedAfter, 0.045);
  EXPECT_FALSE(validInside);  // a one-shot timer is spent once it fires
  EXPECT_FALSE(timer->isValid());
}

TEST(RunLoopTest, RepeatingTimerFiresUntilItInvalidatesItself) {
  auto loop = EventRunLoop::create();
  int fired = 0;
  auto owned = std::make_shared<int>(7);
  std::weak_ptr<int> watch = owned;
  loop->scheduleTimer(0.01, true, [&fired, owned = std::move(owned)](Timer& t) {
    if (++fired == 5) {
      t.invalidate();  // releases this very callback's captures, safely
    }
  });
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished);
  EXPECT_EQ(fired, 5);
  EXPECT_TRUE(watch.expired());
}

TEST(RunLoopTest, TimersFireInTimeOrderAndTiesInSchedulingOrder) {
  auto loop = EventRunLoop::create();
  std::vector<char> order;
  loop->scheduleTimer(0.06, false, [&](Timer&) { order.push_back('A'); });
  loop->scheduleTimer(0.02, false, [&](Timer&) { order.push_back('B'); });
  loop->scheduleTimer(0.02, false, [&](Timer&) { order.push_back('C'); });
  loop->scheduleTimer(0.0, false, [&](Timer&) { order.push_back('D'); });
  loop->run();
  EXPECT_EQ(order, (std::vector<char>{'D', 'B', 'C', 'A'}));
}

TEST(RunLoopTest, RearmPushesBackAPendingTimerAndArmsASpentOneShotAgain) {
  auto loop = EventRunLoop::create();
  auto start = Clock::now();
  std::vector<double> firings;
  std::shared_ptr<Timer> watchdog = loop->scheduleTimer(0.05, false, [&](Timer& t) {
    firings.push_back(secondsSince(start));
    if (firings.size() == 1) {
      EXPECT_TRUE(t.rearm(0.05));  // spent one-shot: armed again from inside its own callback
    }
  });
  // Pushed back before it was due, as a watchdog that heard from its subject.
  loop->scheduleTimer(0.02, false, [&](Timer&) { EXPECT_TRUE(watchdog->rearm(0.2)); });
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished);
  ASSERT_EQ(firings.size(), 2u);
  EXPECT_GE(firings[0], 0.21);
  EXPECT_GE(firings[1] - firings[0], 0.045);

  watchdog->invalidate();
  EXPECT_FALSE(watchdog->rearm(0.01));
  EXPECT_FALSE(watchdog->isValid());
}

TEST(RunLoopTest, RepeatingTimerThatFallsBehindDoesNotBurst) {
  auto loop = EventRunLoop::create();
  int fired = 0;
  auto start = Clock::now();
  loop->scheduleTimer(0.01, true, [&](Timer& t) {
    if (++fired == 1) {
      std::this_thread::sleep_for(milliseconds(200));  // twenty beats missed
    }
    if (secondsSince(start) >= 0.3) {
      t.invalidate();
    }
  });
  loop->run();
  // Catching up on every missed beat would fire about 30 times; dropping them gives about 11.
  EXPECT_LT(fired, 20);
  EXPECT_GE(fired, 2);
}

TEST(RunLoopTest, PostsRunInOrderAndAPostFromATaskRunsAfterTheQueuedOnes) {
  auto loop = EventRunLoop::create();
  std::vector<int> order;
  loop->post([&] {
    order.push_back(1);
    loop->post([&] { order.push_back(4); });
  });
  loop->post([&] { order.push_back(2); });
  loop->post([&] { order.push_back(3); });
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(RunLoopTest, TimersAndABusyStreamOfPostsTakeTurns) {
  auto loop = EventRunLoop::create();
  bool timerFired = false;
  int postsBeforeTimer = 0;
  std::function<void()> again = [&] {
    if (!timerFired) {
      ++postsBeforeTimer;
      loop->post(again);
    }
  };
  loop->scheduleTimer(0.02, false, [&](Timer&) { timerFired = true; });
  loop->post(again);
  EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Finished);
  EXPECT_TRUE(timerFired);
  EXPECT_GT(postsBeforeTimer, 0);
}

TEST(RunLoopTest, StopEndsARunThatStillHasSources) {
  auto loop = EventRunLoop::create();
  loop->addSource();
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(30));
    loop->stop();
  });
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Stopped);
  stopper.join();

  // A stop that comes before run() is not lost.
  loop->stop();
  EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Stopped);
  // ... and is used up by that run.
  EXPECT_EQ(loop->runFor(0.02), RunLoop::RunResult::TimedOut);
}

TEST(RunLoopTest, RemovingTheLastSourceFromAnotherThreadEndsTheRun) {
  auto loop = EventRunLoop::create();
  loop->addSource();
  loop->addSource();
  std::thread remover([&] {
    std::this_thread::sleep_for(milliseconds(20));
    loop->removeSource();
    std::this_thread::sleep_for(milliseconds(20));
    loop->removeSource();
  });
  auto start = Clock::now();
  EXPECT_EQ(loop->runFor(10.0), RunLoop::RunResult::Finished);
  EXPECT_GE(secondsSince(start), 0.035);
  remover.join();
}

TEST(RunLoopTest, StopFromInsideATaskLeavesLaterPostsForTheNextRun) {
  auto loop = EventRunLoop::create();
  std::vector<int> order;
  loop->post([&] {
    order.push_back(1);
    loop->stop();
  });
  loop->post([&] { order.push_back(2); });
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Stopped);
  EXPECT_EQ(order, std::vector<int>{1});
  EXPECT_EQ(loop->run(), RunLoop::RunResult::Finished);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(RunLoopTest, PostsFromSeveralThreadsArriveAllAndEachInItsOwnOrder) {
  auto loop = EventRunLoop::create();
  constexpr int kThreads = 4;
  constexpr int kPosts = 2000;
  std::vector<std::vector<int>> received(kThreads);
  std::atomic<int> senders{kThreads};
  loop->addSource();  // keeps the loop running until the last sender is done
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPosts; ++i) {
        loop->post([&received, t, i] { received[t].push_back(i); });
      }
      if (--senders == 0) {
        loop->removeSource();
      }
    });
  }
  EXPECT_EQ(loop->runFor(60.0), RunLoop::RunResult::Finished);
  for (auto& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(received[t].size(), static_cast<size_t>(kPosts)) << "thread " << t;
    for (int i = 0; i < kPosts; ++i) {
      ASSERT_EQ(received[t][i], i) << "thread " << t;
    }
  }
}

TEST(RunLoopTest, PostingNeverWaitsForABusyReceiver) {
  auto loop = EventRunLoop::create();
  std::promise<void> release;
  auto released = release.get_future().share();
  loop->post([released] { released.wait(); });  // the receiver is stuck until the sender is done
  int ran = 0;
  std::thread receiver([&] { loop->run(); });
  auto sender = std::async(std::launch::async, [&] {
    for (int i = 0; i < 100; ++i) {
      loop->post([&ran] { ++ran; });
    }
  });
  EXPECT_EQ(sender.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  release.set_value();
  receiver.join();
  EXPECT_EQ(ran, 100);
}

TEST(RunLoopTest, TwoWayCallWaitsForTheReceiverAndReturnsItsResult) {
  auto loop = EventRunLoop::create();
  loop->addSource();
  std::thread receiver([&] { loop->run(); });
  std::thread::id ranOn;
  bool receiverDone = false;
  auto answer = loop->call([&] {
    std::this_thread::sleep_for(milliseconds(30));
    ranOn = std::this_thread::get_id();
    receiverDone = true;
    return 42;
  });
  EXPECT_TRUE(receiverDone);  // the caller was held until the receiver returned
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, 42);
  EXPECT_EQ(ranOn, receiver.get_id());
  EXPECT_TRUE(loop->call([] {}));
  loop->stop();
  receiver.join();
}

TEST(RunLoopTest, TwoWayCallOnTheLoopsOwnThreadRunsAtOnce) {
  auto loop = EventRunLoop::create();
  std::optional<int> answer;
  loop->post([&] { answer = loop->call([] { return 5; }); });
  loop->run();
  EXPECT_EQ(answer, 5);
}

// Forwards to an EventRunLoop and tells when a post has been queued, so the test can drop the loop then.
class SignallingLoop final : public RunLoop {
 public:
  std::shared_ptr<EventRunLoop> inner = EventRunLoop::create();
  std::promise<void> posted;

  bool post(Task task) override {
    bool queued = inner->post(std::move(task));
    posted.set_value();
    return queued;
  }
  std::shared_ptr<Timer> scheduleTimer(double i, bool r, TimerCallback c) override {
    return inner->scheduleTimer(i, r, std::move(c));
  }
  RunResult run() override { return inner->run(); }
  void stop() override { inner->stop(); }
  void wakeUp() override { inner->wakeUp(); }
  void addSource() override { inner->addSource(); }
  void removeSource() override { inner->removeSource(); }
};

TEST(RunLoopTest, TwoWayCallToALoopThatGoesAwayComesBackEmpty) {
  SignallingLoop loop;
  auto queued = loop.posted.get_future();
  auto caller = std::async(std::launch::async, [&loop] { return loop.call([] { return 1; }); });
  queued.wait();
  // The loop never ran the call: destroying it drops the call, which must free the caller.
  loop.inner.reset();
  ASSERT_EQ(caller.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_FALSE(caller.get().has_value());
}

TEST(RunLoopTest, CurrentIsTheRunningLoopAndAThreadsOwnLoopOtherwise) {
  auto loop = EventRunLoop::create();
  RunLoop* inside = nullptr;
  loop->post([&] { inside = RunLoop::current().get(); });
  loop->run();
  EXPECT_EQ(inside, loop.get());

  std::thread other([] {
    EXPECT_EQ(RunLoop::currentIfAny(), nullptr);
    auto first = RunLoop::current();
    EXPECT_EQ(RunLoop::current(), first);
    EXPECT_EQ(RunLoop::currentIfAny(), first.get());
  });
  other.join();
}

TEST(RunLoopTest, RunForTimesOutWhileASourceRemains) {
  auto loop = EventRunLoop::create();
  loop->addSource();
  auto start = Clock::now();
  EXPECT_EQ(loop->runFor(0.05), RunLoop::RunResult::TimedOut);
  EXPECT_GE(secondsSince(start), 0.045);
}

TEST(RunLoopTest, DestroyingTheLoopInvalidatesItsTimers) {
  auto loop = EventRunLoop::create();
  auto timer = loop->scheduleTimer(10.0, true, [](Timer&) {});
  loop.reset();
  EXPECT_FALSE(timer->isValid());
  EXPECT_FALSE(timer->rearm(1.0));
}

}  // namespace
}  // namespace zavro
