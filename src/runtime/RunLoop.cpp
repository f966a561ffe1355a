// The calling thread's current run loop and the two-way call shared by run loops and ports.
#include "runtime/RunLoop.h"

#include "runtime/EventRunLoop.h"

namespace zavro {

namespace {
thread_local std::shared_ptr<RunLoop> tCurrent;
}

std::shared_ptr<RunLoop> RunLoop::current() {
  if (!tCurrent) {
    tCurrent = EventRunLoop::create();
  }
  return tCurrent;
}

void RunLoop::setCurrent(std::shared_ptr<RunLoop> loop) {
  tCurrent = std::move(loop);
}

RunLoop* RunLoop::currentIfAny() {
  return tCurrent.get();
}

RunLoop::CurrentScope::CurrentScope(std::shared_ptr<RunLoop> loop) : mPrevious(tCurrent) {
  tCurrent = std::move(loop);
}

RunLoop::CurrentScope::~CurrentScope() {
  tCurrent = std::move(mPrevious);
}

bool RunLoop::callAndWait(Task work) {
  if (currentIfAny() == this) {
    // Waiting for ourselves would never end.
    work();
    return true;
  }
  auto [message, call] = detail::TwoWayCall::wrap(std::move(work));
  // A refused post destroys the message, which marks the call dropped.
  post(std::move(message));
  return call->wait();
}

namespace detail {

namespace {
// Shared by every copy of the message; whoever destroys the last copy of an unrun message drops the call.
struct Runner {
  std::function<void()> work;
  std::shared_ptr<TwoWayCall> call;
  bool ran = false;

  ~Runner() {
    if (!ran) {
      call->finish(false);
    }
  }
};
}  // namespace

std::pair<std::function<void()>, std::shared_ptr<TwoWayCall>> TwoWayCall::wrap(std::function<void()> work) {
  auto call = std::make_shared<TwoWayCall>();
  auto runner = std::make_shared<Runner>();
  runner->work = std::move(work);
  runner->call = call;
  std::function<void()> message = [runner] {
    if (runner->ran) {
      return;
    }
    runner->ran = true;
    runner->work();
    runner->call->finish(true);
  };
  return {std::move(message), std::move(call)};
}

bool TwoWayCall::wait() {
  std::unique_lock lock(mMutex);
  mFinished.wait(lock, [this] { return mState != State::Pending; });
  return mState == State::Ran;
}

void TwoWayCall::finish(bool ran) {
  std::lock_guard lock(mMutex);
  if (mState == State::Pending) {
    mState = ran ? State::Ran : State::Dropped;
  }
  mFinished.notify_all();
}

}  // namespace detail

}  // namespace zavro
