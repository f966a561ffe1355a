// Ports between threads: a queue in the port, drained one message per post on the receiving run loop.
#include "runtime/RunLoopPort.h"

namespace zavro {

// Posted to the receiving loop for one message. When the loop destroys it unrun (the loop has gone away),
// the port can never deliver again and gives up its messages.
struct RunLoopPortDelivery {
  std::shared_ptr<RunLoopPort> port;
  bool ran = false;

  ~RunLoopPortDelivery() {
    if (!ran) {
      port->abandon();
    }
  }
};

std::shared_ptr<RunLoopPort> RunLoopPort::create() {
  return std::shared_ptr<RunLoopPort>(new RunLoopPort());
}

RunLoopPort::~RunLoopPort() {
  std::deque<Message> dropped;
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(mMutex);
    dropped.swap(mQueue);
    if (mValid && mAttached) {
      loop = mLoop.lock();
    }
    mValid = false;
  }
  if (loop) {
    loop->removeSource();
  }
}

bool RunLoopPort::attach(const std::shared_ptr<RunLoop>& loop) {
  if (!loop) {
    return false;
  }
  {
    std::lock_guard lock(mMutex);
    if (!mValid || mAttached) {
      return false;
    }
    mLoop = loop;
    mAttached = true;
  }
  loop->addSource();
  scheduleDelivery();
  return true;
}

bool RunLoopPort::send(Message message) {
  {
    std::lock_guard lock(mMutex);
    if (!mValid) {
      return false;
    }
    mQueue.push_back(std::move(message));
  }
  scheduleDelivery();
  return true;
}

bool RunLoopPort::sendAndWait(Message message) {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(mMutex);
    if (!mValid) {
      return false;
    }
    loop = mLoop.lock();
  }
  if (loop && loop.get() == RunLoop::currentIfAny()) {
    message();
    return true;
  }
  auto [wrapped, call] = detail::TwoWayCall::wrap(std::move(message));
  send(std::move(wrapped));  // a refused send destroys the message, which drops the call
  return call->wait();
}

void RunLoopPort::invalidate() {
  std::deque<Message> dropped;
  std::shared_ptr<RunLoop> loop;
  Message handler;
  {
    std::lock_guard lock(mMutex);
    if (!mValid) {
      return;
    }
    mValid = false;
    dropped.swap(mQueue);
    if (mAttached) {
      loop = mLoop.lock();
    }
    handler = std::move(mInvalidationHandler);
    mInvalidationHandler = nullptr;
  }
  // Outside the lock: destroying a dropped two-way message wakes its sender.
  dropped.clear();
  if (loop) {
    if (handler) {
      loop->post(std::move(handler));
    }
    loop->removeSource();
  }
}

bool RunLoopPort::isValid() const {
  std::lock_guard lock(mMutex);
  return mValid;
}

void RunLoopPort::setInvalidationHandler(Message handler) {
  std::lock_guard lock(mMutex);
  if (mValid) {
    mInvalidationHandler = std::move(handler);
  }
}

void RunLoopPort::scheduleDelivery() {
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(mMutex);
    if (!mValid || !mAttached || mDeliveryPosted || mQueue.empty()) {
      return;
    }
    loop = mLoop.lock();
    mDeliveryPosted = true;
  }
  if (!loop) {
    abandon();
    return;
  }
  auto delivery = std::make_shared<RunLoopPortDelivery>();
  delivery->port = shared_from_this();
  // A refused post destroys the delivery unrun, which abandons the port.
  loop->post([delivery] {
    delivery->ran = true;
    delivery->port->deliverOne();
  });
}

void RunLoopPort::deliverOne() {
  Message message;
  {
    std::lock_guard lock(mMutex);
    mDeliveryPosted = false;
    if (!mValid || mQueue.empty()) {
      return;
    }
    message = std::move(mQueue.front());
    mQueue.pop_front();
  }
  message();
  message = nullptr;
  // One message per post, so that timers and other posts of the loop take turns with a busy port.
  scheduleDelivery();
}

void RunLoopPort::abandon() {
  std::deque<Message> dropped;
  {
    std::lock_guard lock(mMutex);
    mValid = false;
    mDeliveryPosted = false;
    mInvalidationHandler = nullptr;
    dropped.swap(mQueue);
  }
}

}  // namespace zavro
