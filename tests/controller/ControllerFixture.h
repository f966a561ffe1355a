// A connect controller on the test thread's run loop, with a recording view, scripted connections and a
// simulated netconfig.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/LogFile.h"
#include "engine/ConnectController.h"
#include "engine/ConnectNotifications.h"
#include "phonebook/PhoneBook.h"
#include "platform/ScriptedReachability.h"
#include "runtime/EventRunLoop.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"
#include "support/SimulatedNetconfig.h"
#include "support/TestEnvironment.h"

namespace zavro::test {

// Everything the controller did to the window, in order: "collapse", "expand", "button Connect",
// "enabled 1", "status Connecting…", "redial 1", "alert <title>", "login", "terminate", ...
class RecordingView final : public ConnectView {
 public:
  std::vector<std::string> events;
  std::vector<Alert> alerts;
  AlertButton answer = AlertButton::Default;
  bool loginAnswer = true;
  std::function<void(const std::string&)> onEvent;
  std::function<void()> onLogin;
  bool small = false;
  bool canRedial = false, canDialAnother = false, canCancel = false, buttonEnabled = true;
  int terminated = 0;

  void collapseWindow() override {
    small = true;
    add("collapse");
  }
  void expandWindow() override {
    small = false;
    add("expand");
  }
  void setConnectButtonTitle(const std::string& title) override { add("button " + title); }
  void setConnectButtonEnabled(bool enabled) override {
    buttonEnabled = enabled;
    add(std::string("enabled ") + (enabled ? "1" : "0"));
  }
  void setConnectName(const std::string& name) override { add("name " + name); }
  void setStatus(const std::string& text) override { add("status " + text); }
  void setConnectTime(std::uint32_t, bool) override {}
  void setCanRedial(bool on) override { canRedial = on; }
  void setCanDialAnother(bool on) override { canDialAnother = on; }
  void setCanCancel(bool on) override { canCancel = on; }
  void setCancelButtonTitle(const std::string& title) override { add("cancel " + title); }
  AlertButton runAlert(const Alert& alert) override {
    alerts.push_back(alert);
    add("alert " + alert.title);
    return answer;
  }
  bool loginPrompt() override {
    add("login");
    if (onLogin) {
      onLogin();
    }
    return loginAnswer;
  }
  void terminateApplication() override {
    ++terminated;
    add("terminate");
  }

  bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
  std::string last(const std::string& prefix) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->rfind(prefix, 0) == 0) {
        return *it;
      }
    }
    return {};
  }

 private:
  void add(std::string event) {
    events.push_back(event);
    if (onEvent) {
      onEvent(events.back());
    }
  }
};

// Settings of a test, set directly.
struct TestPreferences final : ConnectPreferences {
  std::string user = "jo", dom = "corp", pass = "secret";
  std::int32_t timeout = 0, redials = 0;
  bool smart = false, update = false, keep = false;
  std::string userName() const override { return user; }
  std::string domain() const override { return dom; }
  std::string password() const override { return pass; }
  std::int32_t dialTimeout() const override { return timeout; }
  std::int32_t redialAttempts() const override { return redials; }
  bool smartRedial() const override { return smart; }
  bool updatePhonebook() const override { return update; }
  bool keepZavroLocation() const override { return keep; }
};

// What one scripted connection does: fail (connecting, then idle), fail with an error code, connect (with a
// speed), drop (connect, then idle on its own), or hang in connecting until told to disconnect.
struct Behaviour {
  enum Kind { Fail, Error, Connect, Drop, Hang };
  Behaviour(Kind k = Fail, std::int32_t e = 0, std::string s = "") : kind(k), error(e), speed(std::move(s)) {}
  Kind kind;
  std::int32_t error;
  std::string speed;
};

// The behaviours of the attempts in order (the last repeats) and what each connection was asked to do.
struct Script {
  std::mutex mutex;
  std::deque<Behaviour> plan;
  Behaviour lastBehaviour;
  std::vector<std::string> connectedPOPs;  // the POP IDs of connect(), one per attempt
  std::vector<std::vector<std::string>> netconfigArgs;
  int made = 0;

  Behaviour next() {
    std::lock_guard lock(mutex);
    ++made;
    if (!plan.empty()) {
      lastBehaviour = plan.front();
      plan.pop_front();
    }
    return lastBehaviour;
  }
  std::vector<std::string> pops() {
    std::lock_guard lock(mutex);
    return connectedPOPs;
  }
};

class ScriptedConnection final : public Connection {
 public:
  ScriptedConnection(const ConnectionSettings& settings, std::shared_ptr<Script> script)
      : Connection(settings), mScript(std::move(script)), mBehaviour(mScript->next()) {}

  static ConnectionKinds::Factory factory(std::shared_ptr<Script> script) {
    return [script](const ConnectionSettings& s) { return std::make_shared<ScriptedConnection>(s, script); };
  }

  void terminate() override {
    if (mTimer) {
      mTimer->invalidate();
      mTimer.reset();
    }
    Connection::terminate();
  }

 protected:
  void doConnect() override {
    {
      std::lock_guard lock(mScript->mutex);
      mScript->connectedPOPs.push_back(pop().popID);
      mScript->netconfigArgs.push_back(netconfigArgs());
    }
    setStatus(kConnectionConnecting);
    switch (mBehaviour.kind) {
      case Behaviour::Fail:
        later([this] { setStatus(kConnectionIdle); });
        break;
      case Behaviour::Error:
        later([this] {
          if (mBehaviour.error == kConnectionAuthenticatedErr) {
            setStatus(kConnectionConnected);
          }
          setError(mBehaviour.error);
        });
        break;
      case Behaviour::Connect:
      case Behaviour::Drop:
        later([this] {
          infoDict().setString("ConnectionSpeed", mBehaviour.speed);
          setStatus(kConnectionConnected);
          if (mBehaviour.kind == Behaviour::Drop) {
            later([this] { setStatus(kConnectionIdle); });
          }
        });
        break;
      case Behaviour::Hang:
        break;
    }
  }
  void doDisconnect() override {
    if (status() == kConnectionIdle || status() == kConnectionDisconnecting) {
      return;
    }
    setStatus(kConnectionDisconnecting);
    later([this] { setStatus(kConnectionIdle); });
  }

 private:
  void later(std::function<void()> step) {
    std::weak_ptr<Connection> weak = weak_from_this();
    mTimer = runLoop()->scheduleTimer(0.05, false, [weak, step](Timer&) {
      if (auto self = weak.lock()) {
        step();
      }
    });
  }

  std::shared_ptr<Script> mScript;
  Behaviour mBehaviour;
  std::shared_ptr<Timer> mTimer;
};

// The demo configuration, a simulated netconfig in the installation's SharedSupport folder, the login in the
// preferences, and a controller on this thread's loop with short pauses.
class ControllerTest : public ::testing::Test {
 protected:
  static constexpr const char* kModemA = "100101";  // San Francisco, modem
  static constexpr const char* kModemB = "100102";  // Los Angeles, modem
  static constexpr const char* kModemC = "100103";  // San Diego, modem
  static constexpr const char* kWirelessA = "200101";
  static constexpr const char* kWirelessB = "200102";

  void SetUp() override {
    ::setenv("ZAVRO_PLATFORM", "sim", 1);
    env.useDemoConfiguration();
    setNetconfigStatus("");
    UserPrefs::userPrefs()->setUserName("jo", "secret");
    UserPrefs::userPrefs()->setDomain("corp");
    SqmRecord::resetCodes();
    book->load({});
    RunLoop::setCurrent(loop);
    prefs->redials = 2;
    script = std::make_shared<Script>();
    kinds.dialup = ScriptedConnection::factory(script);
    kinds.broadband = ScriptedConnection::factory(script);
    center->addObserver(
        this, [this](const Notification& n) { notifications.push_back(n); }, "", nullptr);
  }

  void TearDown() override {
    controller.reset();
    RunLoop::setCurrent(nullptr);
  }

  // Writes the netconfig stand-in: the staged tool in its recording mode, answering `statuses`.
  void setNetconfigStatus(const std::string& statuses) {
    const std::string path = env.env().sharedSupportDir() + "/netconfig";
    env.root().write("install/SharedSupport/netconfig",
                     "#!/bin/sh\nZAVRO_NETCONFIG_STATUS='" + statuses + "'\nexport ZAVRO_NETCONFIG_STATUS\nexec '" +
                         netconfigProgram() + "' --simulate '" + netconfigRecord() + "' \"$@\"\n");
    ::chmod(path.c_str(), 0755);
  }
  std::string netconfigRecord() const { return env.root().file("netconfig-runs"); }
  std::vector<SimulatedNetconfigRun> netconfigRuns() const { return readSimulatedNetconfigRuns(netconfigRecord()); }
  // The runs that configured a dial (not the restores).
  std::vector<SimulatedNetconfigRun> dialRuns() const {
    std::vector<SimulatedNetconfigRun> out;
    for (auto& run : netconfigRuns()) {
      if (run.args.empty() || run.args[0] != "-restore-previous") {
        out.push_back(run);
      }
    }
    return out;
  }

  POPRef pop(const char* id) const { return book->popForID(id); }

  ConnectController& make(std::vector<const char*> ids, std::uint32_t access) {
    std::vector<POPRef> pops;
    for (auto id : ids) {
      pops.push_back(pop(id));
    }
    list = std::make_shared<POPSelectionList>(pops, access);
    ConnectController::Options options;
    options.runLoop = loop;
    options.center = center;
    options.preferences = prefs;
    options.kinds = kinds;
    options.connectionSettings.reachability = std::make_shared<ScriptedReachability>();
    options.netconfigBusyPause = 0.02;
    options.dialupPause = 0.02;
    options.redialPause = 0.02;
    options.connectionTimerInterval = 0.05;
    options.dialTimeout = dialTimeout;
    options.netconfigBusyRetries = busyRetries;
    controller = std::make_unique<ConnectController>(view, options);
    controller->setCurrentHandler(list);
    return *controller;
  }

  // Runs the loop until `done` holds (checked every 20 ms) or the limit passes.
  bool runUntil(const std::function<bool()>& done, double limit_s = 30) {
    auto check = loop->scheduleTimer(0.02, true, [&](Timer&) {
      if (done()) {
        loop->stop();
      }
    });
    loop->runFor(limit_s);
    check->invalidate();
    return done();
  }
  // Idle again with nothing more to come: the window is full size or the user has the choice.
  bool runToRest(double limit_s = 30) {
    return runUntil(
        [&] {
          return controller->status() == kConnectionIdle &&
                 (!controller->isWaitingToConnect() || (!view.events.empty() && view.events.back() == "expand") ||
                  view.canRedial);
        },
        limit_s);
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& n : notifications) {
      out.push_back(n.name);
    }
    return out;
  }
  int count(const std::string& name) const {
    int n = 0;
    for (const auto& x : notifications) {
      n += x.name == name;
    }
    return n;
  }
  // The connection-log messages (timestamps removed) that are in `wanted`, in order.
  std::vector<std::string> logLines(const std::vector<std::string>& wanted = {}) const {
    std::vector<std::string> out;
    auto text = ConnectionLog::connectionLog()->getLogContents().value_or("");
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      start = end == std::string::npos ? text.size() : end + 1;
      if (line.size() > 22 && line[0] == '[') {
        line = line.substr(22);
      }
      if (wanted.empty() || std::find(wanted.begin(), wanted.end(), line) != wanted.end()) {
        out.push_back(line);
      }
    }
    return out;
  }

  TestEnvironment env;
  std::shared_ptr<PhoneBook> book = PhoneBook::create();
  std::shared_ptr<EventRunLoop> loop = EventRunLoop::create();
  std::shared_ptr<NotificationCenter> center = std::make_shared<NotificationCenter>();
  std::shared_ptr<TestPreferences> prefs = std::make_shared<TestPreferences>();
  std::shared_ptr<Script> script;
  ConnectionKinds kinds;
  std::optional<double> dialTimeout;
  int busyRetries = 10;
  RecordingView view;
  std::shared_ptr<POPSelectionList> list;
  std::unique_ptr<ConnectController> controller;
  std::vector<Notification> notifications;
};

}  // namespace zavro::test
