// Test side of a connection attempt: a recording controller on the test thread and a scripted connection kind.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Connection.h"
#include "platform/ScriptedReachability.h"
#include "runtime/EventRunLoop.h"

namespace zavro::test {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Report {
  std::string what;  // "handover", "status", "time", "error", "update"
  long long value = 0;
  double at = 0;  // seconds since the controller was made
  bool operator==(const Report& other) const { return what == other.what && value == other.value; }
};

inline std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << r.what << "=" << r.value;
}

// Receives what a connection sends, on the thread that runs `loop`, as the connect controller will. On the
// hand-over it sends the arguments and connect(); on idle it closes its end and stops the loop.
class RecordingController final : public ConnectionStatusProtocol {
 public:
  explicit RecordingController(std::shared_ptr<EventRunLoop> loop) : mLoop(std::move(loop)) {}

  std::vector<Report> reports;
  std::shared_ptr<ConnectionProtocol> connection;
  ControllerChannel* channel = nullptr;
  ConnectionPOP pop;
  std::vector<std::string> netconfigArgs{"-connection", "test"};
  bool connectOnHandOver = true;
  std::function<void(std::int32_t)> onStatus;
  std::function<void(std::uint32_t)> onTime;

  void setConnectionStatus(std::int32_t status, const UserInfo& info) override {
    lastInfo = info;
    add("status", status);
    if (onStatus) {
      onStatus(status);
    }
    if (status == kConnectionIdle) {
      if (channel) {
        channel->invalidate();
      }
      connection.reset();
      mLoop->stop();
    }
  }
  void setConnectionTime(std::uint32_t seconds, bool connected) override {
    add("time", connected ? seconds : -1);
    if (onTime) {
      onTime(seconds);
    }
  }
  void displayError(std::int32_t error) override { add("error", error); }
  void setConnection(std::shared_ptr<ConnectionProtocol> c) override {
    add("handover", 0);
    connection = std::move(c);
    if (connectOnHandOver) {
      connection->setNetconfigArgs(netconfigArgs);
      connection->connect(pop);
    }
  }
  void updateComplete(bool success) override { add("update", success); }

  std::vector<Report> only(const std::string& what) const {
    std::vector<Report> out;
    for (const auto& r : reports) {
      if (r.what == what) {
        out.push_back(r);
      }
    }
    return out;
  }

  UserInfo lastInfo;

 private:
  void add(const char* what, long long value) { reports.push_back({what, value, secondsSince(mStart)}); }

  std::shared_ptr<EventRunLoop> mLoop;
  std::chrono::steady_clock::time_point mStart = std::chrono::steady_clock::now();
};

// One attempt as the controller runs it: its end of the channel on the test thread and the connection thread.
struct Attempt {
  std::shared_ptr<EventRunLoop> loop = EventRunLoop::create();
  RecordingController controller{loop};
  ConnectionPorts ports = ConnectionPorts::create();
  std::unique_ptr<ControllerChannel> channel =
      std::make_unique<ControllerChannel>(ports.toController, ports.toConnection);
  std::unique_ptr<ConnectionThread> thread;

  Attempt() {
    channel->open(loop, &controller);
    controller.channel = channel.get();
  }

  void start(ConnectionPOP pop, ConnectionKinds kinds, ConnectionSettings settings = quietSettings()) {
    controller.pop = pop;
    thread = std::make_unique<ConnectionThread>(ConnectionThreadArguments{
        ports.toConnection, ports.toController, std::move(pop), std::move(settings), std::move(kinds)});
  }

  // Runs the controller's side until the idle report (or the limit); then waits for the thread to end.
  RunLoop::RunResult runToIdle(double limit_s = 30.0) {
    auto result = loop->runFor(limit_s);
    thread->join();
    return result;
  }

  static ConnectionSettings quietSettings() {
    ConnectionSettings settings;
    settings.reachability = std::make_shared<ScriptedReachability>();
    return settings;
  }
};

// What a scripted connection saw; filled on the connection thread, read after it has ended.
struct Script {
  std::mutex mutex;
  std::function<void(Connection&)> onConnect;
  std::function<void(Connection&)> onDisconnect;
  std::thread::id thread;
  std::vector<std::string> calls;
  std::vector<std::string> netconfigArgs;
  std::string popID;
  int terminated = 0;

  void note(const std::string& call) {
    std::lock_guard lock(mutex);
    calls.push_back(call);
    thread = std::this_thread::get_id();
  }
};

// A connection kind whose doConnect/doDisconnect are given by the test.
class ScriptedConnection final : public Connection {
 public:
  ScriptedConnection(const ConnectionSettings& settings, std::shared_ptr<Script> script)
      : Connection(settings), mScript(std::move(script)) {}

  using Connection::setConnectTime;
  using Connection::statusObject;

  void setNetconfigArgs(const std::vector<std::string>& args) override {
    Connection::setNetconfigArgs(args);
    mScript->note("setNetconfigArgs");
  }
  void connect(const ConnectionPOP& pop) override {
    Connection::connect(pop);
    mScript->note("connect");
  }
  void terminate() override {
    if (!isTerminated()) {
      std::lock_guard lock(mScript->mutex);
      ++mScript->terminated;
    }
    Connection::terminate();
  }

  static ConnectionKinds::Factory factory(std::shared_ptr<Script> script) {
    return
        [script](const ConnectionSettings& settings) { return std::make_shared<ScriptedConnection>(settings, script); };
  }

 protected:
  void doConnect() override {
    mScript->note("doConnect");
    {
      std::lock_guard lock(mScript->mutex);
      mScript->netconfigArgs = netconfigArgs();
      mScript->popID = pop().popID;
    }
    if (mScript->onConnect) {
      mScript->onConnect(*this);
    }
  }
  void doDisconnect() override {
    mScript->note("doDisconnect");
    if (mScript->onDisconnect) {
      mScript->onDisconnect(*this);
    }
  }

 private:
  std::shared_ptr<Script> mScript;
};

}  // namespace zavro::test
