// The base of every connection kind: its thread, status and error, idle timer and the network wait.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ConnectionChannel.h"
#include "engine/ConnectionProtocol.h"
#include "engine/ConnectionTypes.h"
#include "runtime/NotificationCenter.h"
#include "runtime/RunLoop.h"

namespace zavro {

class Connection;

// Which class the connection thread makes for a POP. An empty factory for the dial-up or broadband kind
// means this build has no such connection: the attempt then reports connecting, error
// kConnectionProtocolErr with a connection-log line, and idle. An empty `other` means DummyConnection.
struct ConnectionKinds {
  using Factory = std::function<std::shared_ptr<Connection>(const ConnectionSettings&)>;

  Factory dialup;
  Factory broadband;
  Factory other;

  // The kinds this build provides.
  static ConnectionKinds standard();
};

// What the controller hands the new connection thread: the two ports and the POP, plus the values
// the connection takes from the settings and the kinds to choose from.
struct ConnectionThreadArguments {
  std::shared_ptr<ConnectionPort> receivePort;  // the thread receives on it (the controller's send port)
  std::shared_ptr<ControllerPort> sendPort;     // the thread sends on it (the controller receives on it)
  ConnectionPOP pop;
  ConnectionSettings settings;
  ConnectionKinds kinds = ConnectionKinds::standard();
};

// A connection attempt to one POP. It lives on its own thread (see connection()), which ends when the
// status returns to idle. Everything here runs on that thread, except that subclasses may take
// objectBusy() from a platform callback thread.
//
// Subclasses implement doConnect() and doDisconnect(), report every status change through setStatus()
// and failures through setError(), schedule their timers on runLoop(), and extend terminate().
class Connection : public ConnectionProtocol, public std::enable_shared_from_this<Connection> {
 public:
  enum class Kind { Dialup, Broadband, Other };

  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The connection thread's entry point:
  //  - makes the thread's run loop and its end of the channel (receive on args.receivePort);
  //  - chooses and creates the connection for the POP's access type, starts its idle timer;
  //  - hands the controller a proxy of it with setConnection() and waits for the controller to return;
  //  - runs the loop until it is out of sources (after terminate());
  //  - takes objectBusy once, so that no platform callback is still inside the object, and releases it.
  // When the controller's end has gone away (the hand-over is refused, or the controller invalidates the
  // channel later), the connection terminates itself, so the thread always ends.
  static void connection(ConnectionThreadArguments args);

  // Dial-up for a dial-up access type, else broadband for a broadband one, else other.
  static Kind kindForAccessType(std::uint32_t accessType);
  static std::shared_ptr<Connection> makeConnection(const ConnectionKinds& kinds, std::uint32_t accessType,
                                                    const ConnectionSettings& settings);

  // ConnectionProtocol, called on the connection thread.
  void connect(const ConnectionPOP& pop) override;  // remembers the POP and sets needToConnect
  void disconnect() override;                       // doDisconnect() at once
  void setNetconfigArgs(const std::vector<std::string>& args) override;

  void setAppConnection(std::shared_ptr<ConnectionThreadChannel> channel);
  void setStatusObject(std::shared_ptr<ConnectionStatusProtocol> statusObject);

  std::int32_t status() const { return connectionStatus; }
  std::int32_t error() const { return connectionError; }
  std::uint32_t connectTime() const { return mConnectTime; }
  void clearError() { connectionError = kConnectionNoErr; }
  // Ignores 0 (use clearError()); otherwise stores the code and sends displayError() to the controller.
  void setError(std::int32_t error);
  // Nothing when the status is already `status`; otherwise stores it, reports it with the info dictionary,
  // and terminates when it is kConnectionIdle (after the report has been sent).
  void setStatus(std::int32_t status);
  // Stops the idle timer, invalidates the channel and wakes the run loop so that run() sees it is out of
  // sources. Subclasses stop their own timers and platform connection, then call the base. Idempotent.
  virtual void terminate();

  // True when the reachability host answers Reachable without ConnectionRequired.
  bool isNetworkConnected();
  // While the status is connecting and the wait (settings().networkWaitSeconds) has not run out: false as
  // soon as an error is set, true as soon as the network is connected, else sleep networkPollSeconds.
  // False when the status is or becomes anything but connecting, at the deadline, and also as soon as the
  // channel to the controller is gone (nobody would hear of the outcome).
  bool waitForNetworkToConnect();

  // The repeating 0.1-second idle timer on the connection's run loop.
  void startIdleTimer();
  // Starts doConnect() when the status is idle and a connect() is pending.
  void idleTimerProc();

  const ConnectionPOP& pop() const { return mPop; }
  const std::vector<std::string>& netconfigArgs() const { return mNetconfigArgs; }
  const ConnectionSettings& settings() const { return mSettings; }
  const std::shared_ptr<RunLoop>& runLoop() const { return mRunLoop; }
  // Held by a platform callback for its whole run; the thread takes it once before releasing the object.
  std::mutex& objectBusy() { return mObjectBusy; }
  UserInfo& infoDict() { return mInfoDict; }
  const UserInfo& infoDict() const { return mInfoDict; }
  bool isTerminated() const { return mTerminated; }

 protected:
  // Captures the calling thread's run loop; the status starts idle.
  explicit Connection(ConnectionSettings settings);

  virtual void doConnect() {}
  virtual void doDisconnect() {}
  void setConnectTime(std::uint32_t seconds) { mConnectTime = seconds; }
  // The controller (through the channel); null before the thread has set it.
  ConnectionStatusProtocol* statusObject() const { return mStatusObject.get(); }

 private:
  std::int32_t connectionStatus = kConnectionIdle;
  std::int32_t connectionError = kConnectionNoErr;
  std::uint32_t mConnectTime = 0;
  std::shared_ptr<ConnectionThreadChannel> mAppConnection;
  bool needToConnect = false;
  std::shared_ptr<Timer> idleTimer;
  ConnectionPOP mPop;
  std::shared_ptr<RunLoop> mRunLoop;
  std::mutex mObjectBusy;
  std::shared_ptr<ConnectionStatusProtocol> mStatusObject;
  UserInfo mInfoDict;
  std::vector<std::string> mNetconfigArgs;

  ConnectionSettings mSettings;
  bool mTerminated = false;
};

// The controller's handle on a running connection thread.
class ConnectionThread {
 public:
  // Starts Connection::connection(args) on a new thread.
  explicit ConnectionThread(ConnectionThreadArguments args);
  // Invalidates both ports (a connection still running then terminates itself) and joins.
  ~ConnectionThread();
  ConnectionThread(const ConnectionThread&) = delete;
  ConnectionThread& operator=(const ConnectionThread&) = delete;

  // Waits for the thread to end. The thread ends soon after the idle report (a DummyConnection first
  // sleeps a second), or as soon as it notices the ports are gone after abandon().
  void join();
  bool joinable() const { return mThread.joinable(); }
  // Invalidates both ports without waiting.
  void abandon();

 private:
  std::shared_ptr<ConnectionPort> mToConnection;
  std::shared_ptr<ControllerPort> mToController;
  std::thread mThread;
};

}  // namespace zavro
