// The connect controller: connect requests, dial attempts through netconfig, redial, cancel, disconnect, quit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConnectView.h"
#include "engine/Connection.h"
#include "engine/POPDataSource.h"
#include "runtime/NotificationCenter.h"
#include "runtime/RunLoop.h"

namespace zavro {

class AdminPrefs;
class UserPrefs;

// The settings the controller reads at each step. The default reads the user preferences and the
// administrator configuration of the moment.
class ConnectPreferences {
 public:
  virtual ~ConnectPreferences() = default;
  virtual std::string userName() const = 0;
  virtual std::string domain() const = 0;
  virtual std::string password() const = 0;
  virtual std::int32_t dialTimeout() const = 0;  // seconds; 0: none
  virtual std::int32_t redialAttempts() const = 0;
  virtual bool smartRedial() const = 0;
  virtual bool updatePhonebook() const = 0;
  virtual bool keepZavroLocation() const = 0;

  // The user preferences and administrator configuration (null: the process-wide ones, looked up at each call).
  static std::shared_ptr<ConnectPreferences> fromSettings(std::shared_ptr<UserPrefs> user = nullptr,
                                                          std::shared_ptr<const AdminPrefs> admin = nullptr);
};

// The phonebook update that runs after a connection has come up. startUpdate() must end, on the main thread,
// with one call of the `done` function it was given (success or not); the controller then posts the tunnel
// and post-connect notifications.
class SelfUpdate {
 public:
  virtual ~SelfUpdate() = default;
  // `fullUpdate`: the user asked for a full download (the Shift key was held).
  virtual void startUpdate(bool fullUpdate, std::function<void(bool success)> done) = 0;
};

// Runs on the main thread's run loop (everything here, including the reports of the connection thread,
// which arrive as posts). netconfig runs and the pauses between steps block that thread, as a modal step of
// the application would.
//
// netconfig: SharedSupport/netconfig with the POP's arguments; exit status 0 goes on, 2 (busy) runs it again
// after a pause, at most netconfigBusyRetries times, and anything else (also a netconfig that cannot be
// started, or one that stays busy) ends the attempt with "Unable to switch network location.". The
// password never goes on its command line: the value after "-ppp-password" becomes "-" and the password
// is written, with a line feed, to its standard input.
class ConnectController final : public ConnectionStatusProtocol {
 public:
  struct Options {
    std::shared_ptr<RunLoop> runLoop;                 // null: RunLoop::current()
    std::shared_ptr<NotificationCenter> center;       // null: NotificationCenter::defaultCenter()
    std::shared_ptr<ConnectPreferences> preferences;  // null: ConnectPreferences::fromSettings()
    ConnectionKinds kinds = ConnectionKinds::standard();
    ConnectionSettings connectionSettings;
    std::string netconfigPath;  // empty: Environment::current()->sharedSupportDir() + "/netconfig"
    // The pauses, in seconds: before rerunning a busy netconfig, before handing a dial-up POP to a new
    // connection, before an automatic redial.
    double netconfigBusyPause = 1.0;
    int netconfigBusyRetries = 10;
    double dialupPause = 5.0;
    double redialPause = 2.0;
    // Overrides the preference's dial timeout (in seconds) when set.
    std::optional<double> dialTimeout;
    double connectionTimerInterval = 1.0;
  };

  ConnectController(ConnectView& view, Options options);
  ~ConnectController() override;
  ConnectController(const ConnectController&) = delete;
  ConnectController& operator=(const ConnectController&) = delete;

  void setCurrentHandler(std::shared_ptr<POPDataSource> handler) { currentHandler = std::move(handler); }
  const std::shared_ptr<POPDataSource>& handler() const { return currentHandler; }
  // Null: an update that completes at once, unsuccessfully (nothing was updated).
  void setSelfUpdate(std::shared_ptr<SelfUpdate> update) { mSelfUpdate = std::move(update); }

  // The Connect/Disconnect button.
  void connect();
  void doConnect(const POPRef& pop);
  // Expand flag E and the SQM error code used when the attempt was still connecting.
  void disconnect(bool expand, std::int32_t sqmError);
  void redial();
  bool dialAnother();
  void redialTimerProc();
  void connectionTimerProc();
  void restorePreviousLocation();
  // Whether the application may quit now; while connecting or connected, asks, and on Terminate disconnects
  // and terminates once idle.
  bool shouldTerminate();
  bool loginPrompt();
  // `userRequested`: started from the update command (shows the result).
  void beginSelfUpdate(bool userRequested);

  // ConnectionStatusProtocol (posted from the connection thread).
  void setConnectionStatus(std::int32_t status, const UserInfo& info) override;
  void setConnectionTime(std::uint32_t seconds, bool connected) override;
  void displayError(std::int32_t error) override;
  void setConnection(std::shared_ptr<ConnectionProtocol> connection) override;
  void updateComplete(bool success) override;

  std::int32_t status() const { return connectionStatus; }
  bool isWaitingToConnect() const { return waitingToConnect; }
  bool didConnectNow() const { return didConnect; }
  std::uint32_t redialCount() const { return redialAttempts; }
  const std::vector<std::string>& lastNetconfigArgs() const { return netconfigArgs; }
  // Waits for the connection threads of earlier attempts to end.
  void joinFinishedThreads();

  // The four button titles from "Localizable".
  const std::string& okTitle() const { return mOKTitle; }
  const std::string& cancelTitle() const { return mCancelTitle; }
  const std::string& disconnectTitle() const { return mDisconnectTitle; }
  const std::string& connectTitle() const { return mConnectTitle; }

  // The netconfig exit status; -1 when it cannot be started. A password after "-ppp-password" travels on
  // standard input.
  int runNetconfig(const std::vector<std::string>& args);

 private:
  void post(const char* name, UserInfo info = {});
  void idle();
  void stopTimers();
  void releaseConnection();
  ConnectionPOP connectionPOP(const POP& pop) const;

  ConnectView& mView;
  Options mOptions;
  std::shared_ptr<RunLoop> mLoop;
  std::shared_ptr<NotificationCenter> mCenter;
  std::shared_ptr<ConnectPreferences> mPrefs;
  std::shared_ptr<SelfUpdate> mSelfUpdate;

  std::shared_ptr<POPDataSource> currentHandler;
  bool userRequestedUpdateInProgress = false;
  std::vector<std::string> netconfigArgs;
  bool waitingToConnect = false;
  bool didConnect = false;
  bool quitOnDisconnect = false;
  bool expandOnIdle = false;
  std::uint32_t redialAttempts = 0;
  std::shared_ptr<ConnectionProtocol> connection;
  std::unique_ptr<ControllerChannel> threadConnection;
  std::unique_ptr<ConnectionThread> mThread;
  std::vector<std::unique_ptr<ConnectionThread>> mFinishedThreads;
  std::shared_ptr<Timer> redialTimer;
  std::shared_ptr<Timer> connectionTimer;
  std::uint32_t connectTime = 0;
  std::int32_t connectionStatus = kConnectionIdle;
  bool needDialupPause = true;
  POPRef mAttemptPOP;               // the POP of the running attempt
  bool mPendingDisconnect = false;  // cancelled before the connection reported connecting
  std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);

  std::string mOKTitle, mCancelTitle, mDisconnectTitle, mConnectTitle;
};

}  // namespace zavro
