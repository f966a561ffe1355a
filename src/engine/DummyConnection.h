// A simulated connection that only plays the status sequence, for POPs that are neither dial-up nor broadband.
#pragma once

#include <memory>

#include "engine/Connection.h"

namespace zavro {

// Connect: connecting at once, connected about a second later, then a connect time reported every second
// starting from 0. Disconnect: disconnecting at once, idle about a second later. The connection thread is
// blocked for a second after each of these steps, as a real link's set-up would block it.
class DummyConnection : public Connection {
 public:
  explicit DummyConnection(const ConnectionSettings& settings) : Connection(settings) {}
  ~DummyConnection() override;

  void terminate() override;
  void statusTimerProc();

 protected:
  void doConnect() override;
  void doDisconnect() override;

 private:
  std::shared_ptr<Timer> statusTimer;
};

}  // namespace zavro
