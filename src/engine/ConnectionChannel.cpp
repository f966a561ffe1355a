// Proxies that turn protocol calls into messages on the ports of a connection attempt.
#include "engine/ConnectionChannel.h"

namespace zavro {

void ConnectionStatusProxy::setConnectionStatus(std::int32_t status, const UserInfo& info) {
  mChannel->send(
      [status, info](ConnectionStatusProtocol& controller) { controller.setConnectionStatus(status, info); });
}

void ConnectionStatusProxy::setConnectionTime(std::uint32_t seconds, bool connected) {
  mChannel->send(
      [seconds, connected](ConnectionStatusProtocol& controller) { controller.setConnectionTime(seconds, connected); });
}

void ConnectionStatusProxy::displayError(std::int32_t error) {
  mChannel->send([error](ConnectionStatusProtocol& controller) { controller.displayError(error); });
}

void ConnectionStatusProxy::updateComplete(bool success) {
  mChannel->send([success](ConnectionStatusProtocol& controller) { controller.updateComplete(success); });
}

bool ConnectionStatusProxy::handOver(std::shared_ptr<ConnectionProtocol> connection) {
  if (!mChannel->isValid()) {
    return false;
  }
  return mChannel->sendPort()->sendAndWait([connection = std::move(connection)](ConnectionStatusProtocol& controller) {
    controller.setConnection(connection);
  });
}

void ConnectionProxy::connect(const ConnectionPOP& pop) {
  mPort->send([pop](ConnectionProtocol& connection) { connection.connect(pop); });
}

void ConnectionProxy::disconnect() {
  mPort->send([](ConnectionProtocol& connection) { connection.disconnect(); });
}

void ConnectionProxy::setNetconfigArgs(const std::vector<std::string>& args) {
  mPort->send([args](ConnectionProtocol& connection) { connection.setNetconfigArgs(args); });
}

}  // namespace zavro
