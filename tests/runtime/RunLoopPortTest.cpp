// Ports and channels between threads: order, attach, invalidation, two-way sends and a vanished loop.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "runtime/EventRunLoop.h"
#include "runtime/RunLoopPort.h"

namespace zavro {
namespace {

using std::chrono::milliseconds;

struct Receiver {
  std::vector<int> got;
  std::thread::id thread;
  void take(int value) {
    got.push_back(value);
    thread = std::this_thread::get_id();
  }
};

TEST(RunLoopPortTest, MessagesSentBeforeAttachWaitAndAllArriveInOrder) {
  auto loop = EventRunLoop::create();
  auto port = MessagePort<Receiver>::create();
  Receiver receiver;
  EXPECT_TRUE(port->send([](Receiver& r) { r.take(1); }));
  EXPECT_TRUE(port->send([](Receiver& r) { r.take(2); }));
  ASSERT_TRUE(port->attach(loop, &receiver));
  EXPECT_FALSE(port->attach(loop, &receiver));
  port->send([](Receiver& r) { r.take(3); });
  // An attached port is a source: the loop keeps running until it is invalidated.
  EXPECT_EQ(loop->runFor(0.1), RunLoop::RunResult::TimedOut);
  EXPECT_EQ(receiver.got, (std::vector<int>{1, 2, 3}));
  port->invalidate();
  EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Finished);
}

TEST(RunLoopPortTest, InvalidationDropsQueuedMessagesRefusesNewOnesAndRunsTheHandler) {
  auto loop = EventRunLoop::create();
  auto port = MessagePort<Receiver>::create();
  Receiver receiver;
  port->attach(loop, &receiver);
  bool handled = false;
  port->setInvalidationHandler([&] { handled = true; });
  port->send([](Receiver& r) { r.take(1); });
  port->invalidate();
  EXPECT_FALSE(port->isValid());
  EXPECT_FALSE(port->send([](Receiver& r) { r.take(2); }));
  EXPECT_FALSE(port->sendAndWait([](Receiver& r) { r.take(3); }));
  EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Finished);
  EXPECT_TRUE(receiver.got.empty());
  EXPECT_TRUE(handled);
}

TEST(RunLoopPortTest, MessagesFromOtherThreadsRunOnTheReceivingThreadInOrder) {
  auto loop = EventRunLoop::create();
  auto port = MessagePort<Receiver>::create();
  Receiver receiver;
  port->attach(loop, &receiver);
  std::thread sender([&] {
    for (int i = 0; i < 500; ++i) {
      port->send([i](Receiver& r) { r.take(i); });
    }
    // The two-way send comes back only once everything before it and itself has run.
    bool done = port->sendAndWait([](Receiver& r) { r.take(-1); });
    EXPECT_TRUE(done);
    port->invalidate();
  });
  EXPECT_EQ(loop->runFor(60.0), RunLoop::RunResult::Finished);
  sender.join();
  ASSERT_EQ(receiver.got.size(), 501u);
  for (int i = 0; i < 500; ++i) {
    ASSERT_EQ(receiver.got[i], i);
  }
  EXPECT_EQ(receiver.got.back(), -1);
  EXPECT_EQ(receiver.thread, std::this_thread::get_id());
}

TEST(RunLoopPortTest, ATwoWaySenderIsFreedWhenThePortIsInvalidatedUnderIt) {
  auto loop = EventRunLoop::create();
  auto port = MessagePort<Receiver>::create();
  Receiver receiver;
  port->attach(loop, &receiver);  // never run: the message stays queued
  auto sender = std::async(std::launch::async, [&] { return port->sendAndWait([](Receiver& r) { r.take(1); }); });
  EXPECT_EQ(sender.wait_for(milliseconds(50)), std::future_status::timeout);
  port->invalidate();
  ASSERT_EQ(sender.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_FALSE(sender.get());
}

TEST(RunLoopPortTest, APortWhoseLoopWentAwayCountsAsInvalidated) {
  auto loop = EventRunLoop::create();
  auto port = MessagePort<Receiver>::create();
  Receiver receiver;
  port->attach(loop, &receiver);
  port->send([](Receiver& r) { r.take(1); });
  loop.reset();
  EXPECT_FALSE(port->isValid());
  EXPECT_FALSE(port->send([](Receiver& r) { r.take(2); }));
  EXPECT_TRUE(receiver.got.empty());
}

TEST(RunLoopPortTest, AChannelThatInvalidatesItselfStillDeliversWhatItSent) {
  // Thread side: sends its last report and closes its end at once, as a connection does on reaching idle.
  auto mainLoop = EventRunLoop::create();
  auto toMain = MessagePort<Receiver>::create();
  auto toThread = MessagePort<Receiver>::create();
  Receiver mainReceiver;
  MessageChannel<Receiver, Receiver> mainEnd(toMain, toThread);
  mainEnd.open(mainLoop, &mainReceiver);

  std::thread side([&] {
    auto loop = EventRunLoop::create();
    Receiver threadReceiver;
    MessageChannel<Receiver, Receiver> threadEnd(toThread, toMain);
    threadEnd.open(loop, &threadReceiver);
    EXPECT_TRUE(threadEnd.send([](Receiver& r) { r.take(7); }));
    threadEnd.invalidate();
    EXPECT_FALSE(threadEnd.isValid());
    EXPECT_FALSE(threadEnd.send([](Receiver& r) { r.take(8); }));
    EXPECT_EQ(loop->runFor(5.0), RunLoop::RunResult::Finished);  // its receive port is gone
  });
  side.join();
  mainLoop->post([&] { mainEnd.invalidate(); });
  EXPECT_EQ(mainLoop->runFor(5.0), RunLoop::RunResult::Finished);
  EXPECT_EQ(mainReceiver.got, std::vector<int>{7});
}

}  // namespace
}  // namespace zavro
