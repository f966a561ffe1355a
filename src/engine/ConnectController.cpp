// The connect controller: the connect, redial and disconnect sequence around each connection thread.
#include "engine/ConnectController.h"

#include <chrono>
#include <thread>

#include "common/LogFile.h"
#include "common/StringTable.h"
#include "engine/ConnectNotifications.h"
#include "phonebook/POPConnection.h"
#include "runtime/Environment.h"
#include "runtime/Process.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"

namespace zavro {

namespace {

constexpr std::int32_t kCancelCode = -103;
constexpr std::int32_t kGiveUpCode = 678;

void log(const std::string& line) {
  ConnectionLog::connectionLog()->stdLog(line);
}

void pause(double seconds) {
  if (seconds > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
}

class SettingsPreferences final : public ConnectPreferences {
 public:
  SettingsPreferences(std::shared_ptr<UserPrefs> user, std::shared_ptr<const AdminPrefs> admin)
      : mUser(std::move(user)), mAdmin(std::move(admin)) {}

  std::string userName() const override { return user()->userName(); }
  std::string domain() const override { return user()->domain(); }
  std::string password() const override { return user()->password(); }
  std::int32_t dialTimeout() const override { return user()->dialTimeout(); }
  std::int32_t redialAttempts() const override { return user()->redialAttempts(); }
  bool smartRedial() const override { return user()->smartRedial(); }
  bool updatePhonebook() const override { return user()->updatePhonebook(); }
  bool keepZavroLocation() const override {
    return (mAdmin ? mAdmin : AdminPrefs::adminPrefs())->getKeepZavroLocation();
  }

 private:
  std::shared_ptr<UserPrefs> user() const { return mUser ? mUser : UserPrefs::userPrefs(); }
  std::shared_ptr<UserPrefs> mUser;
  std::shared_ptr<const AdminPrefs> mAdmin;
};

// One row of the error table: the log line, the alert (empty title: none) and what follows.
struct ErrorRow {
  const char* logLine;  // null: none
  const char* titleKey;
  const char* titleDefault;
  const char* messageKey;
  const char* messageDefault;
  enum class Then { Disconnect, AlertOnly, Nothing } then;
  std::int32_t sqmCode;
};

ErrorRow errorRow(std::int32_t code) {
  using Then = ErrorRow::Then;
  switch (code) {
    case kConnectionMiscErr:
      return {"Unknown error.",
              "kConnectionMiscErr",
              "An unknown error occurred while attempting to connect.",
              "kConnectionMiscErr Msg",
              "Check your connections and user settings and try again.",
              Then::Disconnect,
              651};
    case kConnectionModemErr:
      return {"Modem error.",
              "kConnectionModemErr",
              "An error occurred while using the modem.",
              "kConnectionModemErr Msg",
              "Check your connections and try again.",
              Then::Disconnect,
              651};
    case kConnectionHTTPErr:
      return {"HTP error during connection.",
              "kConnectionHTTPErr",
              "An error occurred while contacting the server.",
              "kConnectionHTTPErr Msg",
              "Check your connections and try again.",
              Then::Disconnect,
              300};
    case kConnectionAuthenticationErr:
      return {"Authentication error during connection",
              "kConnectionAuthenticationErr",
              "An error occurred while authenticating with the server.",
              "kConnectionAuthenticationErr Msg",
              "Check your user name and password and try again.",
              Then::Disconnect,
              14};
    case kConnectionAuthenticatedErr:
      return {"User already authenticated with server.",
              "kConnectionAuthenticatedErr",
              "You are already connected with the server.",
              "kConnectionAuthenticatedErr Msg",
              "When you are finished with this connection, you may have to physically disconnect from the network, "
              "and the connection timer may not reflect the actual time connected.",
              Then::AlertOnly,
              0};
    case kConnectionTerminationErr:
      return {"Unknown error during disconnect",
              "kConnectionTerminationErr",
              "An error occurred while terminating your connection.",
              "kConnectionTerminationErr Msg",
              "You may have to physically disconnect from the network, and the connection timer may not reflect the "
              "actual time connected.",
              Then::Disconnect,
              505};
    case kConnectionProtocolErr:
      return {"Protocol error during connection",
              "kConnectionProtocolErr",
              "An error occurred while authenticating with the server.",
              "kConnectionProtocolErr Msg",
              "Check your connections, verify your user info is correct, and try again.",
              Then::Disconnect,
              503};
    case kConnectionNetworkErr:
      return {"Network error",
              "kConnectionNetworkErr",
              "An error occurred while connecting to the network.",
              "kConnectionNetworkErr Msg",
              "Check your connections and try again.",
              Then::Disconnect,
              300};
    case kConnectionAbortedErr:
      return {"Connection aborted", nullptr, nullptr, nullptr, nullptr, Then::Nothing, 0};
    default:
      return {"Unknown error",
              "UnknownError",
              "An unknown error occurred while attempting to connect.",
              "kConnectionMiscErr Msg",
              "Check your connections and user settings and try again.",
              Then::Disconnect,
              kCancelCode};
  }
}

}  // namespace

std::shared_ptr<ConnectPreferences> ConnectPreferences::fromSettings(std::shared_ptr<UserPrefs> user,
                                                                     std::shared_ptr<const AdminPrefs> admin) {
  return std::make_shared<SettingsPreferences>(std::move(user), std::move(admin));
}

ConnectController::ConnectController(ConnectView& view, Options options) : mView(view), mOptions(std::move(options)) {
  mLoop = mOptions.runLoop ? mOptions.runLoop : RunLoop::current();
  mCenter = mOptions.center ? mOptions.center : NotificationCenter::defaultCenter();
  mPrefs = mOptions.preferences ? mOptions.preferences : ConnectPreferences::fromSettings();
  if (mOptions.netconfigPath.empty()) {
    mOptions.netconfigPath = Environment::current()->sharedSupportDir() + "/netconfig";
  }
  mOKTitle = localizedString("OK", "OK", "Localizable");
  mCancelTitle = localizedString("Cancel", "Cancel", "Localizable");
  mDisconnectTitle = localizedString("Disconnect", "Disconnect", "Localizable");
  mConnectTitle = localizedString("Connect", "Connect", "Localizable");
}

ConnectController::~ConnectController() {
  *mAlive = false;
  stopTimers();
  releaseConnection();
  joinFinishedThreads();
}

void ConnectController::post(const char* name, UserInfo info) {
  mCenter->postNotificationName(name, this, std::move(info));
}

ConnectionPOP ConnectController::connectionPOP(const POP& pop) const {
  ConnectionPOP out;
  out.popID = std::string(pop.popID());
  out.accessType = pop.accessType();
  out.accessProcedure = pop.accessProcedure();
  out.loginString = POPConnection().loginString(pop);
  return out;
}

void ConnectController::connect() {
  if (connectionStatus != kConnectionIdle || mThread) {
    disconnect(false, kCancelCode);
    return;
  }
  log("--------");
  log("Connect button clicked.");
  if (mPrefs->userName().empty() || mPrefs->domain().empty() || mPrefs->password().empty()) {
    log("User information not complete. Prompting for login information.");
    mView.setConnectButtonEnabled(false);
    if (!loginPrompt()) {
      log("User canceled from login window.");
      mView.setConnectButtonEnabled(true);
      return;
    }
  }
  if (!currentHandler) {
    mView.setConnectButtonEnabled(false);
    return;
  }
  currentHandler->resetNextConnect();
  POPRef pop = currentHandler->nextConnectPOP();
  if (!pop) {
    // Nothing is selected: there is nothing to dial, so the request ends here.
    log("No POP selected.");
    mView.setConnectButtonEnabled(currentHandler->readyToConnect());
    return;
  }
  mView.setConnectButtonEnabled(false);
  redialAttempts = 0;
  waitingToConnect = true;
  expandOnIdle = false;

  UserInfo info;
  info.setInteger("accessType", currentHandler->accessType());
  info.setObject<POP>("pop", pop);
  if (auto dial = currentHandler->dialStringWithPOP(*pop)) {
    info.setString("dialString", *dial);
  }
  post(ZavroPreConnectNotification, std::move(info));
  doConnect(pop);
}

void ConnectController::doConnect(const POPRef& pop) {
  if (connectionStatus != kConnectionIdle || mThread || !currentHandler || !pop) {
    return;
  }
  didConnect = false;
  mPendingDisconnect = false;
  for (int busyRuns = 0;; ++busyRuns) {
    std::vector<std::string> args = POPConnection().configArguments(*pop, currentHandler->connectSettings());
    currentHandler->applyAdditionalConfigArgs(args, *pop);
    post(ZavroPreDialNotification);

    connectTime = 0;
    if (connectionTimer) {
      connectionTimer->invalidate();
    }
    std::weak_ptr<bool> alive = mAlive;
    connectionTimer = mLoop->scheduleTimer(mOptions.connectionTimerInterval, true, [this, alive](Timer&) {
      if (auto a = alive.lock(); a && *a) {
        connectionTimerProc();
      }
    });

    log("Switching network location.");
    const int status = runNetconfig(args);
    netconfigArgs = args;
    if (status == 0) {
      break;
    }
    if (status == 2 && busyRuns < mOptions.netconfigBusyRetries) {
      pause(mOptions.netconfigBusyPause);
      continue;
    }
    if (status == 2) {
      log(stringWithFormat("netconfig is still busy after %d runs.", busyRuns + 1));
    }
    log("Unable to switch network location.");
    // No connection was started: leave the user a window to try again from.
    if (connectionTimer) {
      connectionTimer->invalidate();
      connectionTimer.reset();
    }
    waitingToConnect = false;
    expandOnIdle = false;
    mView.expandWindow();
    mView.setConnectButtonTitle(mConnectTitle);
    mView.setConnectButtonEnabled(currentHandler->readyToConnect());
    return;
  }

  mView.collapseWindow();
  const std::string name = currentHandler->connectName();
  log("Starting connection to: " + name);
  mView.setConnectName(name);
  mView.setCanRedial(false);
  mView.setCanDialAnother(false);
  mView.setCanCancel(true);

  joinFinishedThreads();
  mAttemptPOP = pop;
  auto ports = ConnectionPorts::create();
  threadConnection = std::make_unique<ControllerChannel>(ports.toController, ports.toConnection);
  threadConnection->open(mLoop, this);
  mThread = std::make_unique<ConnectionThread>(ConnectionThreadArguments{
      ports.toConnection, ports.toController, connectionPOP(*pop), mOptions.connectionSettings, mOptions.kinds});
}

void ConnectController::setConnection(std::shared_ptr<ConnectionProtocol> proxy) {
  POPRef pop = currentHandler ? currentHandler->nextConnectPOP() : nullptr;
  if (!pop) {
    pop = mAttemptPOP;
  }
  const double timeout = mOptions.dialTimeout ? *mOptions.dialTimeout : static_cast<double>(mPrefs->dialTimeout());
  connection = std::move(proxy);
  const bool dialup = pop && isDialupAccessType(pop->accessType());
  if (dialup && needDialupPause) {
    pause(mOptions.dialupPause);
  }
  connection->setNetconfigArgs(netconfigArgs);
  if (pop) {
    connection->connect(connectionPOP(*pop));
  }
  if (timeout > 0 && dialup) {
    std::weak_ptr<bool> alive = mAlive;
    redialTimer = mLoop->scheduleTimer(timeout, false, [this, alive](Timer&) {
      if (auto a = alive.lock(); a && *a) {
        redialTimerProc();
      }
    });
  }
}

void ConnectController::setConnectionStatus(std::int32_t status, const UserInfo& info) {
  connectionStatus = status;
  switch (status) {
    case kConnectionConnecting:
      log("Connecting...");
      mView.setStatus(localizedString("Connecting", "Connecting\u2026", "Status"));
      mView.setConnectButtonEnabled(true);
      mView.setConnectButtonTitle(mDisconnectTitle);
      mView.collapseWindow();
      mView.setCancelButtonTitle(mCancelTitle);
      if (mPendingDisconnect && connection) {
        // Cancelled before the connection had started: stop it now.
        mPendingDisconnect = false;
        connection->disconnect();
      }
      break;
    case kConnectionConnected: {
      log("Connected to POP");
      didConnect = true;
      mView.setConnectButtonEnabled(true);
      mView.setConnectButtonTitle(mDisconnectTitle);
      if (mPendingDisconnect && connection) {
        mPendingDisconnect = false;
        connection->disconnect();
      }
      UserInfo negotiated;
      negotiated.setString("Baud Rate", info.string("ConnectionSpeed").value_or(""));
      post(ZavroModemNegotiatedNotification, std::move(negotiated));
      post(ZavroPreTunnelNotification);
      mView.setStatus(localizedString("Connected", "Connected", "Status"));
      if (mPrefs->updatePhonebook()) {
        beginSelfUpdate(false);
      } else {
        updateComplete(true);
      }
      mView.setCancelButtonTitle(mDisconnectTitle);
      break;
    }
    case kConnectionDisconnecting:
      log("Disconnecting...");
      mView.setConnectButtonTitle(mDisconnectTitle);
      mView.setConnectButtonEnabled(false);
      mView.setCanRedial(false);
      mView.setCanDialAnother(false);
      mView.setCanCancel(false);
      mView.setCancelButtonTitle(mCancelTitle);
      mView.setStatus(localizedString("Disconnecting", "Disconnecting\u2026", "Status"));
      break;
    case kConnectionIdle:
      idle();
      break;
    default:
      break;
  }
}

void ConnectController::stopTimers() {
  if (redialTimer) {
    redialTimer->invalidate();
    redialTimer.reset();
  }
  if (connectionTimer) {
    connectionTimer->invalidate();
    connectionTimer.reset();
  }
}

void ConnectController::releaseConnection() {
  if (threadConnection) {
    threadConnection->invalidate();
  }
  connection.reset();
  if (mThread) {
    // The thread ends on its own after its idle report; it is joined later so that its last steps never
    // hold up the main thread.
    mThread->abandon();
    mFinishedThreads.push_back(std::move(mThread));
  }
  threadConnection.reset();
  mAttemptPOP.reset();
  mPendingDisconnect = false;
}

void ConnectController::joinFinishedThreads() {
  for (auto& thread : mFinishedThreads) {
    thread->join();
  }
  mFinishedThreads.clear();
}

void ConnectController::idle() {
  log("Connection has disconnected");
  mView.setStatus(localizedString("Disconnected", "Disconnected", "Status"));
  stopTimers();
  releaseConnection();
  restorePreviousLocation();
  mView.setConnectButtonTitle(mConnectTitle);
  mView.setConnectButtonEnabled(currentHandler && currentHandler->readyToConnect());
  if (quitOnDisconnect) {
    mView.terminateApplication();
    return;
  }
  const std::int32_t wantedRedials = mPrefs->redialAttempts();
  if (waitingToConnect && !didConnect && (wantedRedials > 0 || mPrefs->smartRedial()) && currentHandler &&
      isDialupAccessType(currentHandler->accessType())) {
    if (wantedRedials > 0 && redialAttempts < static_cast<std::uint32_t>(wantedRedials)) {
      pause(mOptions.redialPause);
      ++redialAttempts;
      redial();
      return;
    }
    redialAttempts = 0;
    if (dialAnother()) {
      return;
    }
    log("No more POPs to dial, giving up");
    SqmRecord::logError(kGiveUpCode);
    post(ZavroErrorNotification);
    waitingToConnect = false;
    expandOnIdle = false;
    mView.expandWindow();
    Alert alert;
    alert.title = localizedString("DidNotConnect", "Dialing timed out.", "Error");
    alert.message = localizedString("DidNotConnect Msg", "Unable to connect to the specified numbers.", "Error");
    alert.defaultButton = mOKTitle;
    mView.runAlert(alert);
    return;
  }
  if (!currentHandler || currentHandler->selectedCount() <= 1 || expandOnIdle) {
    expandOnIdle = false;
    mView.expandWindow();
  } else {
    mView.setCanRedial(true);
    mView.setCanDialAnother(true);
    mView.setCanCancel(true);
    mView.setCancelButtonTitle(mCancelTitle);
  }
}

void ConnectController::redial() {
  if (connectionStatus != kConnectionIdle || mThread || !currentHandler) {
    return;
  }
  log("Redialing POP");
  mView.setConnectButtonEnabled(false);
  doConnect(currentHandler->nextConnectPOP());
}

bool ConnectController::dialAnother() {
  if (connectionStatus != kConnectionIdle || mThread || !currentHandler || !currentHandler->incrementNextConnect()) {
    return false;
  }
  log("Dialing next POP");
  mView.setConnectButtonEnabled(false);
  doConnect(currentHandler->nextConnectPOP());
  return true;
}

void ConnectController::redialTimerProc() {
  if (!didConnect) {
    disconnect(false, kGiveUpCode);
  }
  if (redialTimer) {
    redialTimer->invalidate();
    redialTimer.reset();
  }
}

void ConnectController::connectionTimerProc() {
  if (connectionStatus == kConnectionConnecting || connectionStatus == kConnectionConnected) {
    mView.setConnectTime(connectTime, connectionStatus == kConnectionConnected);
    ++connectTime;
  }
}

void ConnectController::setConnectionTime(std::uint32_t seconds, bool connected) {
  mView.setConnectTime(seconds, connected);
}

void ConnectController::disconnect(bool expand, std::int32_t sqmError) {
  auto requestDisconnect = [&](bool now) {
    if (now && connection) {
      connection->disconnect();
    } else {
      // The connection only acts on a disconnect once it is connecting: sent when it reports that.
      mPendingDisconnect = true;
    }
    SqmRecord::logDisconnectCode(1);
    SqmRecord::sharedRecord()->releaseSharedLock();
  };
  switch (connectionStatus) {
    case kConnectionIdle:
      if (mThread) {
        // The attempt has started but not yet reported connecting: cancel it like a connecting one, or it
        // would go on behind the user's back.
        post(ZavroCancelNotification);
        SqmRecord::logError(sqmError);
        requestDisconnect(false);
      } else {
        mView.expandWindow();
      }
      break;
    case kConnectionDisconnecting:
      break;
    case kConnectionConnected:
      post(ZavroDisconnectNotification);
      requestDisconnect(true);
      break;
    default:
      post(ZavroCancelNotification);
      SqmRecord::logError(sqmError);
      requestDisconnect(true);
      break;
  }
  mView.setCanRedial(false);
  mView.setCanDialAnother(false);
  mView.setCanCancel(false);
  expandOnIdle = expand;
  if (expand) {
    waitingToConnect = false;
  }
}

void ConnectController::displayError(std::int32_t error) {
  if (error == kConnectionNoErr) {
    return;
  }
  const ErrorRow row = errorRow(error);
  if (row.logLine != nullptr) {
    log(row.logLine);
  }
  if (row.titleKey != nullptr) {
    Alert alert;
    alert.style = Alert::Style::Critical;
    alert.title = localizedString(row.titleKey, row.titleDefault, "Error");
    alert.message = localizedString(row.messageKey, row.messageDefault, "Error");
    alert.defaultButton = mOKTitle;
    mView.runAlert(alert);
  }
  if (row.then == ErrorRow::Then::Disconnect) {
    post(ZavroErrorNotification);
    disconnect(false, row.sqmCode);
  }
}

void ConnectController::restorePreviousLocation() {
  std::vector<std::string> args{"-restore-previous", "yes"};
  if (!mPrefs->keepZavroLocation()) {
    args.insert(args.end(), {"-delete-zavro", "yes"});
  }
  runNetconfig(args);
}

bool ConnectController::shouldTerminate() {
  switch (connectionStatus) {
    case kConnectionIdle:
      if (!mThread) {
        return true;
      }
      [[fallthrough]];  // an attempt under way counts as connecting
    case kConnectionConnecting:
    case kConnectionConnected: {
      Alert alert;
      alert.style = Alert::Style::Informational;
      alert.title = localizedString("QuitWhileConnectedAlert", "Quit ZavroConnect", "Localizable");
      alert.message = localizedString("QuitWhileConnectedMessage",
                                      "Quitting ZavroConnect will terminate your connection.", "Localizable");
      alert.defaultButton = localizedString("Terminate", "Terminate", "Localizable");
      alert.otherButton = mCancelTitle;
      if (mView.runAlert(alert) == AlertButton::Default) {
        quitOnDisconnect = true;
        disconnect(true, kCancelCode);
      }
      return false;
    }
    default:
      return false;
  }
}

bool ConnectController::loginPrompt() {
  return mView.loginPrompt();
}

void ConnectController::beginSelfUpdate(bool userRequested) {
  userRequestedUpdateInProgress = userRequested;
  if (!mSelfUpdate) {
    updateComplete(false);
    return;
  }
  std::weak_ptr<bool> alive = mAlive;
  mSelfUpdate->startUpdate(false, [this, alive](bool success) {
    if (auto a = alive.lock(); a && *a) {
      updateComplete(success);
    }
  });
}

void ConnectController::updateComplete(bool success) {
  if (userRequestedUpdateInProgress && success) {
    Alert alert;
    alert.style = Alert::Style::Informational;
    alert.title = localizedString("Update Phonebook", "Update Phonebook", "UpdateStatus");
    alert.message = localizedString("Update Phonebook Msg",
                                    "The phonebook and other configuration files are up-to-date.", "UpdateStatus");
    alert.defaultButton = mOKTitle;
    mView.runAlert(alert);
  }
  userRequestedUpdateInProgress = false;
  if (connectionStatus == kConnectionConnected) {
    post(ZavroTunnelNotification);
    post(ZavroPostConnectNotification);
  }
}

int ConnectController::runNetconfig(const std::vector<std::string>& args) {
  std::vector<std::string> argv = args;
  std::optional<std::string> password;
  for (size_t i = 0; i + 1 < argv.size(); ++i) {
    if (argv[i] == "-ppp-password") {
      password = argv[i + 1];
      argv[i + 1] = "-";
      ++i;
    }
  }
  Process::Options options;
  options.pipeStdin = password.has_value();
  auto process = Process::start(mOptions.netconfigPath, argv, options);
  if (!process) {
    log("netconfig could not be started: " + mOptions.netconfigPath);
    return -1;
  }
  if (password) {
    process->writeStdin(*password + "\n");
    process->closeStdin();
  }
  return process->wait();
}

}  // namespace zavro
