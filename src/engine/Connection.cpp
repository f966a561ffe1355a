// The connection base: thread entry and class choice, status and error reports, idle timer, network wait.
#include "engine/Connection.h"

#include <chrono>

#include "common/LogFile.h"
#include "engine/DummyConnection.h"
#include "platform/Reachability.h"
#include "runtime/EventRunLoop.h"

namespace zavro {

namespace {

constexpr double kIdleTimerInterval = 0.1;

// Stands in for a connection kind this build lacks, so that such a POP ends with a clear error instead of
// a connection that pretends to work.
class UnavailableConnection final : public Connection {
 public:
  UnavailableConnection(const ConnectionSettings& settings, const char* kindName)
      : Connection(settings), mKindName(kindName) {}

 protected:
  void doConnect() override {
    setStatus(kConnectionConnecting);
    ConnectionLog::connectionLog()->stdLog(
        stringWithFormat("No %s connection is available for POP %s (access type 0x%x).", mKindName, pop().popID.c_str(),
                         static_cast<unsigned>(pop().accessType)));
    setError(kConnectionProtocolErr);
    setStatus(kConnectionIdle);
  }
  void doDisconnect() override { setStatus(kConnectionIdle); }

 private:
  const char* mKindName;
};

}  // namespace

ConnectionKinds ConnectionKinds::standard() {
  // Dial-up and broadband connections join here as they are built.
  return ConnectionKinds{};
}

Connection::Connection(ConnectionSettings settings) : mRunLoop(RunLoop::current()), mSettings(std::move(settings)) {
  if (!mSettings.reachability) {
    mSettings.reachability = Reachability::systemReachability();
  }
  setStatus(kConnectionIdle);  // already idle: reports nothing
}

Connection::~Connection() {
  if (idleTimer) {
    idleTimer->invalidate();
  }
  if (mAppConnection) {
    mAppConnection->invalidate();
  }
}

Connection::Kind Connection::kindForAccessType(std::uint32_t accessType) {
  if (isDialupAccessType(accessType)) {
    return Kind::Dialup;
  }
  if (isBroadbandAccessType(accessType)) {
    return Kind::Broadband;
  }
  return Kind::Other;
}

std::shared_ptr<Connection> Connection::makeConnection(const ConnectionKinds& kinds, std::uint32_t accessType,
                                                       const ConnectionSettings& settings) {
  std::shared_ptr<Connection> made;
  switch (kindForAccessType(accessType)) {
    case Kind::Dialup:
      if (kinds.dialup) {
        made = kinds.dialup(settings);
      }
      return made ? made : std::make_shared<UnavailableConnection>(settings, "dial-up");
    case Kind::Broadband:
      if (kinds.broadband) {
        made = kinds.broadband(settings);
      }
      return made ? made : std::make_shared<UnavailableConnection>(settings, "broadband");
    case Kind::Other:
      if (kinds.other) {
        made = kinds.other(settings);
      }
      return made ? made : std::make_shared<DummyConnection>(settings);
  }
  return nullptr;
}

void Connection::connection(ConnectionThreadArguments args) {
  auto loop = EventRunLoop::create();
  RunLoop::setCurrent(loop);
  {
    auto channel = std::make_shared<ConnectionThreadChannel>(args.receivePort, args.sendPort);
    auto object = makeConnection(args.kinds, args.pop.accessType, args.settings);
    const bool opened = channel->open(loop, object.get());
    object->setAppConnection(channel);
    object->startIdleTimer();

    // The controller dropping its end must not leave this thread running for nobody.
    std::weak_ptr<Connection> weak = object;
    args.receivePort->setInvalidationHandler([weak] {
      if (auto connection = weak.lock()) {
        connection->terminate();
      }
    });

    auto statusObject = std::make_shared<ConnectionStatusProxy>(channel);
    object->setStatusObject(statusObject);
    if (!opened || !args.receivePort->isValid() ||
        !statusObject->handOver(std::make_shared<ConnectionProxy>(args.receivePort))) {
      object->terminate();
    }

    loop->run();

    { std::lock_guard busy(object->objectBusy()); }
    object.reset();
  }
  RunLoop::setCurrent(nullptr);
}

void Connection::connect(const ConnectionPOP& pop) {
  mPop = pop;
  needToConnect = true;
}

void Connection::disconnect() {
  doDisconnect();
}

void Connection::setNetconfigArgs(const std::vector<std::string>& args) {
  mNetconfigArgs = args;
}

void Connection::setAppConnection(std::shared_ptr<ConnectionThreadChannel> channel) {
  mAppConnection = std::move(channel);
}

void Connection::setStatusObject(std::shared_ptr<ConnectionStatusProtocol> statusObject) {
  mStatusObject = std::move(statusObject);
}

void Connection::setError(std::int32_t error) {
  if (error == kConnectionNoErr) {
    return;
  }
  connectionError = error;
  if (mStatusObject) {
    mStatusObject->displayError(error);
  }
}

void Connection::setStatus(std::int32_t status) {
  if (status == connectionStatus) {
    return;
  }
  connectionStatus = status;
  if (mStatusObject) {
    mStatusObject->setConnectionStatus(status, mInfoDict);
  }
  if (status == kConnectionIdle) {
    terminate();
  }
}

void Connection::terminate() {
  if (mTerminated) {
    return;
  }
  mTerminated = true;
  if (idleTimer) {
    idleTimer->invalidate();
    idleTimer.reset();
  }
  if (mAppConnection) {
    mAppConnection->invalidate();
  }
  if (mRunLoop) {
    mRunLoop->wakeUp();
  }
}

bool Connection::isNetworkConnected() {
  return isReachableWithoutConnection(mSettings.reachability->checkReachabilityByName(mSettings.reachabilityHost));
}

bool Connection::waitForNetworkToConnect() {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(mSettings.networkWaitSeconds));
  const auto pause =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(mSettings.networkPollSeconds));
  while (status() == kConnectionConnecting && Clock::now() < deadline) {
    if (error() != kConnectionNoErr) {
      return false;
    }
    if (mAppConnection && !mAppConnection->isValid()) {
      return false;
    }
    if (isNetworkConnected()) {
      return true;
    }
    std::this_thread::sleep_for(pause);
  }
  return false;
}

void Connection::startIdleTimer() {
  if (idleTimer || mTerminated) {
    return;
  }
  std::weak_ptr<Connection> weak = weak_from_this();
  idleTimer = mRunLoop->scheduleTimer(kIdleTimerInterval, true, [weak](Timer&) {
    if (auto connection = weak.lock()) {
      connection->idleTimerProc();
    }
  });
}

void Connection::idleTimerProc() {
  if (connectionStatus == kConnectionIdle && needToConnect) {
    needToConnect = false;
    doConnect();
  }
}

ConnectionThread::ConnectionThread(ConnectionThreadArguments args)
    : mToConnection(args.receivePort), mToController(args.sendPort) {
  mThread = std::thread(&Connection::connection, std::move(args));
}

ConnectionThread::~ConnectionThread() {
  abandon();
  join();
}

void ConnectionThread::join() {
  if (mThread.joinable()) {
    mThread.join();
  }
}

void ConnectionThread::abandon() {
  mToConnection->invalidate();
  mToController->invalidate();
}

}  // namespace zavro
