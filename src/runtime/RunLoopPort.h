// Ports and channels between threads: one-way and two-way messages handled on the receiver's run loop.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "runtime/RunLoop.h"

namespace zavro {

// The receiving end of a message queue between threads. Any thread may send; the messages run on the
// thread of the run loop the port is attached to, one at a time and in order of arrival. Messages sent
// before attach() wait in the port. While attached and valid the port is an input source of its loop.
//
// invalidate() (from either side) ends the port: queued messages are dropped unrun, later sends are
// refused, and the loop loses the source. A port whose loop has gone away counts as invalidated.
class RunLoopPort : public std::enable_shared_from_this<RunLoopPort> {
 public:
  using Message = std::function<void()>;

  static std::shared_ptr<RunLoopPort> create();
  ~RunLoopPort();
  RunLoopPort(const RunLoopPort&) = delete;
  RunLoopPort& operator=(const RunLoopPort&) = delete;

  // Binds the port to the loop that handles its messages. False when already attached or invalidated.
  bool attach(const std::shared_ptr<RunLoop>& loop);
  // One-way: queues the message and returns at once. False when the port is invalidated.
  bool send(Message message);
  // Two-way: queues the message and waits until the receiver has run it (true) or dropped it, because the
  // port was invalidated or its loop went away first (false). Sent from the receiving loop's own thread
  // the message runs at once, ahead of any still queued, since waiting there would never end.
  bool sendAndWait(Message message);
  void invalidate();
  bool isValid() const;
  // Posted to the receiving loop when the port is invalidated while attached (by either side).
  void setInvalidationHandler(Message handler);

 private:
  RunLoopPort() = default;
  void deliverOne();
  void scheduleDelivery();  // call without mMutex
  void abandon();           // the loop dropped a delivery: it will never run our messages

  mutable std::mutex mMutex;
  std::deque<Message> mQueue;
  std::weak_ptr<RunLoop> mLoop;
  bool mAttached = false;
  bool mValid = true;
  bool mDeliveryPosted = false;
  Message mInvalidationHandler;

  friend struct RunLoopPortDelivery;
};

// A port whose messages are calls on a receiver object of type R, given by the receiving side when it
// attaches the port. The receiver must outlive the port's validity: invalidate before destroying it.
template <typename R>
class MessagePort {
 public:
  using Message = std::function<void(R&)>;

  static std::shared_ptr<MessagePort> create() { return std::shared_ptr<MessagePort>(new MessagePort()); }

  bool attach(const std::shared_ptr<RunLoop>& loop, R* receiver) {
    mReceiver->store(receiver);
    return mPort->attach(loop);
  }
  bool send(Message message) { return mPort->send(bind(std::move(message))); }
  bool sendAndWait(Message message) { return mPort->sendAndWait(bind(std::move(message))); }
  void invalidate() { mPort->invalidate(); }
  bool isValid() const { return mPort->isValid(); }
  void setInvalidationHandler(RunLoopPort::Message handler) { mPort->setInvalidationHandler(std::move(handler)); }

 private:
  MessagePort() : mPort(RunLoopPort::create()), mReceiver(std::make_shared<std::atomic<R*>>(nullptr)) {}

  RunLoopPort::Message bind(Message message) {
    return [receiver = mReceiver, message = std::move(message)] {
      if (R* r = receiver->load()) {
        message(*r);
      }
    };
  }

  std::shared_ptr<RunLoopPort> mPort;
  std::shared_ptr<std::atomic<R*>> mReceiver;
};

// One side's end of a two-way channel: a port it receives on (calls on its own Local object) and a port it
// sends on (calls on the other side's Remote object). The other side holds the same two ports the other
// way round.
template <typename Local, typename Remote>
class MessageChannel {
 public:
  MessageChannel(std::shared_ptr<MessagePort<Local>> receivePort, std::shared_ptr<MessagePort<Remote>> sendPort)
      : mReceivePort(std::move(receivePort)), mSendPort(std::move(sendPort)) {}
  ~MessageChannel() { invalidate(); }
  MessageChannel(const MessageChannel&) = delete;
  MessageChannel& operator=(const MessageChannel&) = delete;

  // Starts receiving on `loop`, delivering to `root`.
  bool open(const std::shared_ptr<RunLoop>& loop, Local* root) { return mReceivePort->attach(loop, root); }
  const std::shared_ptr<MessagePort<Local>>& receivePort() const { return mReceivePort; }
  const std::shared_ptr<MessagePort<Remote>>& sendPort() const { return mSendPort; }

  // This side stops listening: its receive port is invalidated (what is still queued to it is dropped)
  // and send() refuses from now on. What this side has already sent is still delivered; the other side
  // ends its own receive port when it is done.
  void invalidate() {
    mClosed.store(true);
    mReceivePort->invalidate();
  }
  // Sends through this end; false once it is invalidated or the other side's port is gone.
  bool send(typename MessagePort<Remote>::Message message) {
    return !mClosed.load() && mSendPort->send(std::move(message));
  }
  // Neither this end nor either port has been invalidated.
  bool isValid() const { return !mClosed.load() && mReceivePort->isValid() && mSendPort->isValid(); }

 private:
  std::shared_ptr<MessagePort<Local>> mReceivePort;
  std::shared_ptr<MessagePort<Remote>> mSendPort;
  std::atomic<bool> mClosed{false};
};

}  // namespace zavro
