// The two message interfaces between the connect controller and a connection on its own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ConnectionTypes.h"
#include "runtime/NotificationCenter.h"

namespace zavro {

// What the controller may send to a connection. Through a ConnectionProxy all three are one-way: they are
// queued to the connection thread and handled there in order of arrival, after a running doConnect().
class ConnectionProtocol {
 public:
  virtual ~ConnectionProtocol() = default;
  // Remembers the POP; the connection's idle timer starts the work.
  virtual void connect(const ConnectionPOP& pop) = 0;
  virtual void disconnect() = 0;
  // The argument vector that configured the network for this attempt.
  virtual void setNetconfigArgs(const std::vector<std::string>& args) = 0;
};

// What a connection may send to the controller (implemented by the controller). Through a
// ConnectionStatusProxy every call is one-way except setConnection(), for which the connection thread
// waits until the controller has returned.
class ConnectionStatusProtocol {
 public:
  virtual ~ConnectionStatusProtocol() = default;
  // The status changed; `info` is the connection's info dictionary (dial-up: "ConnectionSpeed").
  virtual void setConnectionStatus(std::int32_t status, const UserInfo& info) = 0;
  virtual void setConnectionTime(std::uint32_t seconds, bool connected) = 0;
  virtual void displayError(std::int32_t error) = 0;
  // Hands the controller a proxy of the new connection (two-way).
  virtual void setConnection(std::shared_ptr<ConnectionProtocol> connection) = 0;
  // Part of the controller's update interface; connections never send it.
  virtual void updateComplete(bool success) = 0;
};

}  // namespace zavro
