// The event loop every thread of the system runs: posts, timers, running, stopping and two-way calls.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace zavro {

// A timer scheduled on a run loop. It fires on the loop's thread, only while that loop runs.
// Create, re-arm and invalidate it from the loop's thread; EventRunLoop also accepts other threads.
class Timer {
 public:
  virtual ~Timer() = default;

  // Stops the timer for good and releases its callback (and what the callback captured).
  // Safe from inside its own callback.
  virtual void invalidate() = 0;
  // True while the timer will fire: false after invalidate() and after a one-shot timer has fired.
  virtual bool isValid() const = 0;
  // Arms the timer to fire `delay_s` seconds from now: pushes back a pending firing (a watchdog) or arms a
  // one-shot timer that has already fired. A repeating timer keeps its interval after that firing.
  // False for an invalidated timer.
  virtual bool rearm(double delay_s) = 0;
  // Seconds between firings of a repeating timer; the delay given at creation for a one-shot one.
  virtual double interval() const = 0;
  virtual bool repeats() const = 0;
};

// The interface of a thread's event loop. EventRunLoop implements it for the connection and update threads
// and for headless programs; the application implements it over its toolkit's loop for the main thread.
//
// Sources: pending posts, armed timers and registered input sources (ports) keep run() going; run() ends
// when it has none left ("out of sources") or when stop() is called.
class RunLoop {
 public:
  using Task = std::function<void()>;
  using TimerCallback = std::function<void(Timer&)>;

  enum class RunResult {
    Stopped,   // stop() was called
    Finished,  // no posts, timers or sources were left
    TimedOut,  // a bounded run reached its limit (EventRunLoop::runFor)
  };

  virtual ~RunLoop() = default;

  // Queues `task` to run on the loop's thread after the tasks queued before it. Safe from any thread and
  // never waits for the receiver. False when the loop can no longer run anything (the task is dropped).
  virtual bool post(Task task) = 0;

  // A timer firing `interval_s` seconds from now, and then every `interval_s` seconds when `repeats`.
  // A repeating timer keeps to its original beat; beats missed while the loop was busy (its own callback
  // included) are skipped, not made up.
  virtual std::shared_ptr<Timer> scheduleTimer(double interval_s, bool repeats, TimerCallback callback) = 0;

  // Runs on the calling thread until stop() or until out of sources. While it runs, current() on this
  // thread is this loop.
  virtual RunResult run() = 0;
  // Ends the innermost run(); when the loop is not running, the next run() returns at once. Any thread.
  virtual void stop() = 0;
  // Makes a waiting run() look at its sources again. Any thread.
  virtual void wakeUp() = 0;

  // An input source (a port) that may still deliver work; while one is registered, run() does not end for
  // lack of sources. Any thread.
  virtual void addSource() = 0;
  virtual void removeSource() = 0;

  // The loop of the calling thread: the one set with setCurrent() or running on it, else a new EventRunLoop
  // made for this thread on first use.
  static std::shared_ptr<RunLoop> current();
  static void setCurrent(std::shared_ptr<RunLoop> loop);
  // The calling thread's loop if it has one; never creates one.
  static RunLoop* currentIfAny();

  // Two-way call: runs `fn` on this loop's thread and waits for it to return. Returns its result (true for
  // a void function), or nullopt (false) when the loop dropped the call without running it. Called on the
  // loop's own thread, `fn` runs at once. The caller is blocked: nothing else runs on its thread meanwhile.
  template <typename F>
  auto call(F&& fn) {
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
      return callAndWait(Task(std::forward<F>(fn)));
    } else {
      std::optional<R> result;
      if (!callAndWait([&result, &fn] { result.emplace(fn()); })) {
        return std::optional<R>();
      }
      return result;
    }
  }

 protected:
  // Sets the calling thread's current loop for the life of a run() (used by implementations).
  class CurrentScope {
   public:
    explicit CurrentScope(std::shared_ptr<RunLoop> loop);
    ~CurrentScope();
    CurrentScope(const CurrentScope&) = delete;
    CurrentScope& operator=(const CurrentScope&) = delete;

   private:
    std::shared_ptr<RunLoop> mPrevious;
  };

 private:
  bool callAndWait(Task work);
};

namespace detail {

// Ties a message to a sender waiting for it: wait() answers whether the receiver ran the message (true) or
// dropped it unrun, that is destroyed the message without calling it (false).
class TwoWayCall {
 public:
  // The message to deliver (call it at most once) and the handle to wait on.
  static std::pair<std::function<void()>, std::shared_ptr<TwoWayCall>> wrap(std::function<void()> work);
  bool wait();
  void finish(bool ran);

 private:
  std::mutex mMutex;
  std::condition_variable mFinished;
  enum class State { Pending, Ran, Dropped } mState = State::Pending;
};

}  // namespace detail

}  // namespace zavro
