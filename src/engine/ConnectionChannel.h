// The ports between the connect controller and a connection thread, and the proxies that use them.
#pragma once

#include <memory>

#include "engine/ConnectionProtocol.h"
#include "runtime/RunLoopPort.h"

namespace zavro {

// Messages to the connection thread (calls on the connection) and to the controller.
using ConnectionPort = MessagePort<ConnectionProtocol>;
using ControllerPort = MessagePort<ConnectionStatusProtocol>;

// Each side's end of the channel: the controller receives on its ControllerPort and sends on the
// ConnectionPort; the connection thread the reverse.
using ControllerChannel = MessageChannel<ConnectionStatusProtocol, ConnectionProtocol>;
using ConnectionThreadChannel = MessageChannel<ConnectionProtocol, ConnectionStatusProtocol>;

// The pair of ports of one connection attempt, made by the controller before it starts the thread.
struct ConnectionPorts {
  std::shared_ptr<ControllerPort> toController;
  std::shared_ptr<ConnectionPort> toConnection;
  static ConnectionPorts create() { return {ControllerPort::create(), ConnectionPort::create()}; }
};

// The controller as the connection thread sees it, through the thread's end of the channel. Calls never
// block, except setConnection(); once that end is invalidated they are dropped.
class ConnectionStatusProxy final : public ConnectionStatusProtocol {
 public:
  explicit ConnectionStatusProxy(std::shared_ptr<ConnectionThreadChannel> channel) : mChannel(std::move(channel)) {}

  void setConnectionStatus(std::int32_t status, const UserInfo& info) override;
  void setConnectionTime(std::uint32_t seconds, bool connected) override;
  void displayError(std::int32_t error) override;
  void setConnection(std::shared_ptr<ConnectionProtocol> connection) override { handOver(std::move(connection)); }
  void updateComplete(bool success) override;

  // setConnection() that tells whether the controller took the connection (false: the channel is gone).
  bool handOver(std::shared_ptr<ConnectionProtocol> connection);

 private:
  std::shared_ptr<ConnectionThreadChannel> mChannel;
};

// The connection as the controller sees it: every call is queued to the connection thread.
class ConnectionProxy final : public ConnectionProtocol {
 public:
  explicit ConnectionProxy(std::shared_ptr<ConnectionPort> port) : mPort(std::move(port)) {}

  void connect(const ConnectionPOP& pop) override;
  void disconnect() override;
  void setNetconfigArgs(const std::vector<std::string>& args) override;

 private:
  std::shared_ptr<ConnectionPort> mPort;
};

}  // namespace zavro
