// Administrator actions: configured programs run at fixed points of every connection attempt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/NotificationCenter.h"
#include "settings/ZavroMacros.h"

namespace zavro {

class AdminPrefs;
class Launcher;
class UserPrefs;

// Connection points: the value of an action's type.
enum AdminActionType : std::int32_t {
  kActionPreConnect = 0,
  kActionPreDial = 1,
  kActionPreTunnel = 2,
  kActionTunnel = 3,
  kActionPostConnect = 4,
  kActionDisconnect = 5,
  kActionCancel = 6,
  kActionError = 7,
  kActionModemNegotiated = 8,
};

// One configured command: "program arguments..." with macro references, run at one connection point for the
// POP kinds in its target bits (1: the service's POPs, 2: the customer's).
class AdminAction {
 public:
  AdminAction(std::int32_t type, std::int32_t sequence, std::int32_t target, std::string mode, std::string command,
              std::string description);
  static std::shared_ptr<AdminAction> adminActionWithType(std::int32_t type, std::int32_t sequence, std::int32_t target,
                                                          const std::string& mode, const std::string& command,
                                                          const std::string& description);

  std::int32_t type() const { return mType; }
  std::int32_t sequence() const { return mSequence; }
  std::int32_t target() const { return mTarget; }
  const std::string& mode() const { return mMode; }
  const std::string& command() const { return mCommand; }
  const std::string& description() const { return mDescription; }
  // Mode "s" in any case: wait for the program to end.
  bool waits() const;

  // The program is the text before the first blank, the arguments the rest: both interpolated, the arguments
  // then split at blanks outside double quotes. The program is started directly (no shell); with mode "s" it
  // is waited for. False, with a connection-log line naming it, when it cannot be started.
  bool executeWithMacros(const ZavroMacros& macros) const;

  // The program and arguments executeWithMacros() would start.
  std::pair<std::string, std::vector<std::string>> commandLineWithMacros(const ZavroMacros& macros) const;

 private:
  std::int32_t mType;
  std::int32_t mSequence;
  std::int32_t mTarget;
  std::string mMode;
  std::string mCommand;
  std::string mDescription;
};

// The process's administrator actions. They observe the connection notifications; each handler first
// advances the attempt's SQM record and then runs the actions of its point. After the post-connect actions
// the browser and the user's applications are opened. Main thread only.
class AdminActions {
 public:
  struct Sources {
    std::shared_ptr<const AdminPrefs> admin;     // the action lines; null: the process-wide configuration
    std::shared_ptr<UserPrefs> user;             // StartBrowser and the user's applications
    std::shared_ptr<NotificationCenter> center;  // null: the default center
    std::shared_ptr<Launcher> launcher;          // null: Launcher::systemLauncher()
    ZavroMacros::Sources macros;
  };

  // Made on first call from the process-wide objects.
  static std::shared_ptr<AdminActions> adminActions();

  explicit AdminActions(Sources sources = {});
  ~AdminActions();
  AdminActions(const AdminActions&) = delete;
  AdminActions& operator=(const AdminActions&) = delete;

  // Lines of six or more fields (command, type, sequence, mode, description, target), in descending order of
  // sequence; equal sequences keep their line order. Shorter lines are skipped.
  static std::vector<std::shared_ptr<AdminAction>> actionsFromLines(const std::vector<std::vector<std::string>>& lines);

  void executeActionsOfType(std::int32_t type);

  void preConnect(const Notification& notification);
  void preDial(const Notification& notification);
  void preTunnel(const Notification& notification);
  void tunnel(const Notification& notification);
  void postConnect(const Notification& notification);
  void disconnect(const Notification& notification);
  void cancel(const Notification& notification);
  void error(const Notification& notification);
  void modemNegotiated(const Notification& notification);
  // Stops observing and releases the macros and actions.
  void applicationWillTerminate();

  const std::vector<std::shared_ptr<AdminAction>>& actions() const { return mActions; }
  const ZavroMacros* macros() const { return mMacros.get(); }
  bool isCustomerPOP() const { return mIsCustomerPOP; }

 private:
  void observe(const char* name, void (AdminActions::*handler)(const Notification&));

  Sources mSources;
  std::shared_ptr<NotificationCenter> mCenter;
  std::shared_ptr<ZavroMacros> mMacros;
  std::vector<std::shared_ptr<AdminAction>> mActions;
  bool mIsCustomerPOP = false;
  bool mObserving = false;
};

}  // namespace zavro
