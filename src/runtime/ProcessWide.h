// Lazily created process-wide objects that a new Environment (or a test) can reset as one.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace zavro {

// Drops every ProcessWide object; the next get() makes each afresh. Called by Environment::install().
void resetProcessWideObjects();

namespace detail {
void registerProcessWideReset(std::function<void()> reset);
}

// Holds one object of T, made on first get() by the factory under a lock (so a first use from two
// threads makes it once). Callers keep the shared_ptr they got; a reset only affects later get()s.
template <typename T>
class ProcessWide {
 public:
  explicit ProcessWide(std::function<std::shared_ptr<T>()> factory) : mFactory(std::move(factory)) {
    detail::registerProcessWideReset([this] { reset(); });
  }
  ProcessWide(const ProcessWide&) = delete;
  ProcessWide& operator=(const ProcessWide&) = delete;

  std::shared_ptr<T> get() {
    std::lock_guard lock(mMutex);
    if (!mObject) {
      mObject = mFactory();
    }
    return mObject;
  }

  void reset() {
    std::shared_ptr<T> old;
    {
      std::lock_guard lock(mMutex);
      old.swap(mObject);
    }
  }

 private:
  std::function<std::shared_ptr<T>()> mFactory;
  std::mutex mMutex;
  std::shared_ptr<T> mObject;
};

}  // namespace zavro
