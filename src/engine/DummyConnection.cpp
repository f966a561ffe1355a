// The simulated connection's status sequence, driven by a one-second timer.
#include "engine/DummyConnection.h"

#include <chrono>
#include <thread>

namespace zavro {

namespace {
constexpr double kStatusInterval = 1.0;

void blockThread() {
  std::this_thread::sleep_for(std::chrono::seconds(1));
}
}  // namespace

DummyConnection::~DummyConnection() {
  if (statusTimer) {
    statusTimer->invalidate();
  }
}

void DummyConnection::doConnect() {
  setStatus(kConnectionConnecting);
  if (!statusTimer) {
    std::weak_ptr<Connection> weak = weak_from_this();
    statusTimer = runLoop()->scheduleTimer(kStatusInterval, true, [weak](Timer&) {
      if (auto self = std::static_pointer_cast<DummyConnection>(weak.lock())) {
        self->statusTimerProc();
      }
    });
  }
  blockThread();
}

void DummyConnection::statusTimerProc() {
  if (status() == kConnectionConnecting) {
    setStatus(kConnectionConnected);
    blockThread();
  } else if (status() == kConnectionDisconnecting) {
    setStatus(kConnectionIdle);
    blockThread();
  }
  if (status() == kConnectionConnected) {
    if (auto* controller = statusObject()) {
      controller->setConnectionTime(connectTime(), true);
    }
    setConnectTime(connectTime() + 1);
  }
}

void DummyConnection::doDisconnect() {
  setStatus(kConnectionDisconnecting);
}

void DummyConnection::terminate() {
  if (statusTimer) {
    statusTimer->invalidate();
    statusTimer.reset();
  }
  Connection::terminate();
}

}  // namespace zavro
