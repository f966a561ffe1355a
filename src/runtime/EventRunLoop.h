// A self-contained run loop for the connection and update threads and for headless programs.
#pragma once

#include <memory>

#include "runtime/RunLoop.h"

namespace zavro {

// Posts run in order of arrival; due timers and posts take turns, so neither starves the other. Every
// operation is safe from any thread; one thread at a time runs the loop (nested run() on that thread is
// allowed). Destroying the loop drops its queued posts and invalidates its timers.
class EventRunLoop final : public RunLoop, public std::enable_shared_from_this<EventRunLoop> {
 public:
  static std::shared_ptr<EventRunLoop> create();
  ~EventRunLoop() override;
  EventRunLoop(const EventRunLoop&) = delete;
  EventRunLoop& operator=(const EventRunLoop&) = delete;

  bool post(Task task) override;
  std::shared_ptr<Timer> scheduleTimer(double interval_s, bool repeats, TimerCallback callback) override;
  RunResult run() override;
  // As run(), but returns TimedOut after `seconds` at the latest.
  RunResult runFor(double seconds);
  void stop() override;
  void wakeUp() override;
  void addSource() override;
  void removeSource() override;

  struct Core;  // shared with the loop's timers

 private:
  EventRunLoop();
  RunResult runUntil(const double* seconds);

  std::shared_ptr<Core> mCore;
};

}  // namespace zavro
