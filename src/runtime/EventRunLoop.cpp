// A self-contained run loop: a queue of posts, a set of timers, a count of input sources and a stop flag.
#include "runtime/EventRunLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace zavro {

namespace {
using Clock = std::chrono::steady_clock;

// Repeating timers closer together than this would keep the loop from doing anything else.
constexpr double kMinimumRepeatInterval = 0.0001;

Clock::duration seconds(double s) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0, s)));
}

class EventTimer;
}  // namespace

struct EventRunLoop::Core {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> posts;
  std::vector<std::shared_ptr<EventTimer>> timers;  // the armed ones
  int sources = 0;
  bool stopRequested = false;
  bool closed = false;  // the loop object is gone
  unsigned long long nextSequence = 0;
};

namespace {

class EventTimer final : public Timer, public std::enable_shared_from_this<EventTimer> {
 public:
  enum class State { Armed, Fired, Invalidated };

  EventTimer(std::shared_ptr<EventRunLoop::Core> core, double interval, bool repeats, RunLoop::TimerCallback callback)
      : mCore(std::move(core)),
        mInterval(repeats ? std::max(interval, kMinimumRepeatInterval) : std::max(interval, 0.0)),
        mRepeats(repeats),
        mCallback(std::make_shared<RunLoop::TimerCallback>(std::move(callback))) {}

  void invalidate() override {
    std::shared_ptr<RunLoop::TimerCallback> released;
    {
      std::lock_guard lock(mCore->mutex);
      if (state == State::Invalidated) {
        return;
      }
      bool wasArmed = state == State::Armed;
      state = State::Invalidated;
      released.swap(mCallback);
      if (wasArmed) {
        auto& timers = mCore->timers;
        timers.erase(std::remove(timers.begin(), timers.end(), shared_from_this()), timers.end());
      }
      mCore->wake.notify_all();
    }
    // `released` dies here, outside the lock: its captures may own objects that post or schedule.
  }

  bool isValid() const override {
    std::lock_guard lock(mCore->mutex);
    return state == State::Armed;
  }

  bool rearm(double delay_s) override {
    std::lock_guard lock(mCore->mutex);
    if (state == State::Invalidated || mCore->closed) {
      return false;
    }
    fireAt = Clock::now() + seconds(delay_s);
    sequence = mCore->nextSequence++;
    rearmedWhileFiring = firing;
    if (state == State::Fired) {
      state = State::Armed;
      mCore->timers.push_back(shared_from_this());
    }
    mCore->wake.notify_all();
    return true;
  }

  double interval() const override { return mInterval; }
  bool repeats() const override { return mRepeats; }

  // With the core's mutex held: takes a one-shot timer out of the armed set, or marks a repeating one as
  // firing, and returns the callback to run (outside the lock).
  std::shared_ptr<RunLoop::TimerCallback> takeFiring() {
    if (mRepeats) {
      firing = true;
      rearmedWhileFiring = false;
    } else {
      state = State::Fired;
      auto& timers = mCore->timers;
      timers.erase(std::remove(timers.begin(), timers.end(), shared_from_this()), timers.end());
    }
    return mCallback;
  }

  // With the core's mutex held, after the callback: a repeating timer moves to its next beat that is still
  // ahead, so beats missed while the loop was busy (its own callback included) are skipped, not made up.
  void firingDone(Clock::time_point now) {
    if (!firing) {
      return;
    }
    firing = false;
    if (state != State::Armed || rearmedWhileFiring) {
      return;
    }
    fireAt += seconds(mInterval);
    if (fireAt <= now) {
      auto behind = (now - fireAt) / seconds(mInterval) + 1;
      fireAt += behind * seconds(mInterval);
    }
    sequence = mCore->nextSequence++;
  }

  // Guarded by the core's mutex.
  State state = State::Armed;
  bool firing = false;  // a repeating timer's callback is running; it is not due again until it returns
  bool rearmedWhileFiring = false;
  Clock::time_point fireAt;
  unsigned long long sequence = 0;

 private:
  std::shared_ptr<EventRunLoop::Core> mCore;
  const double mInterval;
  const bool mRepeats;
  std::shared_ptr<RunLoop::TimerCallback> mCallback;  // guarded by the core's mutex
};

// The armed timer that fires first (earliest time, then earliest scheduled); null when none is armed.
std::shared_ptr<EventTimer> firstTimer(const EventRunLoop::Core& core) {
  std::shared_ptr<EventTimer> first;
  for (const auto& timer : core.timers) {
    if (timer->firing) {
      continue;
    }
    if (!first || timer->fireAt < first->fireAt ||
        (timer->fireAt == first->fireAt && timer->sequence < first->sequence)) {
      first = timer;
    }
  }
  return first;
}

}  // namespace

EventRunLoop::EventRunLoop() : mCore(std::make_shared<Core>()) {}

std::shared_ptr<EventRunLoop> EventRunLoop::create() {
  return std::shared_ptr<EventRunLoop>(new EventRunLoop());
}

EventRunLoop::~EventRunLoop() {
  std::deque<Task> posts;
  std::vector<std::shared_ptr<EventTimer>> timers;
  {
    std::lock_guard lock(mCore->mutex);
    mCore->closed = true;
    posts.swap(mCore->posts);
    timers = mCore->timers;
  }
  for (auto& timer : timers) {
    timer->invalidate();
  }
  // Dropped posts are destroyed outside the lock: a dropped two-way call or port message reacts to it.
  posts.clear();
}

bool EventRunLoop::post(Task task) {
  {
    std::lock_guard lock(mCore->mutex);
    if (!mCore->closed) {
      mCore->posts.push_back(std::move(task));
      mCore->wake.notify_all();
      return true;
    }
  }
  return false;  // `task` is destroyed here, outside the lock
}

std::shared_ptr<Timer> EventRunLoop::scheduleTimer(double interval_s, bool repeats, TimerCallback callback) {
  auto timer = std::make_shared<EventTimer>(mCore, interval_s, repeats, std::move(callback));
  std::lock_guard lock(mCore->mutex);
  timer->fireAt = Clock::now() + seconds(interval_s);
  timer->sequence = mCore->nextSequence++;
  mCore->timers.push_back(timer);
  mCore->wake.notify_all();
  return timer;
}

RunLoop::RunResult EventRunLoop::run() {
  return runUntil(nullptr);
}

RunLoop::RunResult EventRunLoop::runFor(double s) {
  return runUntil(&s);
}

RunLoop::RunResult EventRunLoop::runUntil(const double* limit) {
  CurrentScope scope(shared_from_this());
  std::optional<Clock::time_point> deadline;
  if (limit) {
    deadline = Clock::now() + seconds(*limit);
  }
  Core& core = *mCore;
  std::unique_lock lock(core.mutex);
  for (;;) {
    if (core.stopRequested) {
      core.stopRequested = false;
      return RunResult::Stopped;
    }
    auto now = Clock::now();
    bool didWork = false;

    auto timer = firstTimer(core);
    if (timer && timer->fireAt <= now) {
      auto callback = timer->takeFiring();
      lock.unlock();
      if (callback && *callback) {
        (*callback)(*timer);
      }
      callback.reset();
      lock.lock();
      timer->firingDone(Clock::now());
      timer.reset();
      didWork = true;
    }
    if (!core.stopRequested && !core.posts.empty()) {
      Task task = std::move(core.posts.front());
      core.posts.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
      didWork = true;
    }
    if (didWork) {
      continue;
    }

    if (core.timers.empty() && core.sources <= 0) {
      return RunResult::Finished;
    }
    if (deadline && now >= *deadline) {
      return RunResult::TimedOut;
    }
    std::optional<Clock::time_point> until = deadline;
    if (timer && (!until || timer->fireAt < *until)) {
      until = timer->fireAt;
    }
    timer.reset();
    if (until) {
      core.wake.wait_until(lock, *until);
    } else {
      core.wake.wait(lock);
    }
  }
}

void EventRunLoop::stop() {
  std::lock_guard lock(mCore->mutex);
  mCore->stopRequested = true;
  mCore->wake.notify_all();
}

void EventRunLoop::wakeUp() {
  std::lock_guard lock(mCore->mutex);
  mCore->wake.notify_all();
}

void EventRunLoop::addSource() {
  std::lock_guard lock(mCore->mutex);
  ++mCore->sources;
  mCore->wake.notify_all();
}

void EventRunLoop::removeSource() {
  std::lock_guard lock(mCore->mutex);
  if (mCore->sources > 0) {
    --mCore->sources;
  }
  mCore->wake.notify_all();
}

}  // namespace zavro
