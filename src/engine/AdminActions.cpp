// Administrator actions: the action lines, the SQM step of each connection point and running the commands.
#include "engine/AdminActions.h"

#include <strings.h>

#include <cstdlib>
#include <thread>

#include "common/LogFile.h"
#include "common/StringTokenizers.h"
#include "engine/ConnectNotifications.h"
#include "engine/UserActions.h"
#include "phonebook/POP.h"
#include "platform/Launcher.h"
#include "runtime/Process.h"
#include "runtime/ProcessWide.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"

namespace zavro {

namespace {

std::int32_t numberField(const std::string& text) {
  return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace

AdminAction::AdminAction(std::int32_t type, std::int32_t sequence, std::int32_t target, std::string mode,
                         std::string command, std::string description)
    : mType(type),
      mSequence(sequence),
      mTarget(target),
      mMode(std::move(mode)),
      mCommand(std::move(command)),
      mDescription(std::move(description)) {}

std::shared_ptr<AdminAction> AdminAction::adminActionWithType(std::int32_t type, std::int32_t sequence,
                                                              std::int32_t target, const std::string& mode,
                                                              const std::string& command,
                                                              const std::string& description) {
  return std::make_shared<AdminAction>(type, sequence, target, mode, command, description);
}

bool AdminAction::waits() const {
  return strcasecmp(mMode.c_str(), "s") == 0;
}

std::pair<std::string, std::vector<std::string>> AdminAction::commandLineWithMacros(const ZavroMacros& macros) const {
  const size_t blank = mCommand.find(' ');
  const std::string program = blank == std::string::npos ? mCommand : mCommand.substr(0, blank);
  const std::string argumentText = blank == std::string::npos ? std::string() : mCommand.substr(blank + 1);
  std::pair<std::string, std::vector<std::string>> line;
  line.first = macros.interpolate(program);
  const std::string arguments = macros.interpolate(argumentText);
  if (!arguments.empty()) {
    line.second = strings::quotedComponentsSeparatedByString(arguments, " ");
  }
  return line;
}

bool AdminAction::executeWithMacros(const ZavroMacros& macros) const {
  auto [program, args] = commandLineWithMacros(macros);
  std::unique_ptr<Process> process = program.empty() ? nullptr : Process::start(program, args);
  if (!process) {
    ConnectionLog::connectionLog()->stdLog("Unable to start the action program \"" + program + "\"; skipping it.");
    return false;
  }
  if (waits()) {
    process->wait();
  } else {
    // Not waited for: a thread of its own reaps it when it ends.
    std::thread([child = std::move(process)]() mutable { child->wait(); }).detach();
  }
  return true;
}

std::shared_ptr<AdminActions> AdminActions::adminActions() {
  static ProcessWide<AdminActions> shared([] { return std::make_shared<AdminActions>(); });
  return shared.get();
}

std::vector<std::shared_ptr<AdminAction>> AdminActions::actionsFromLines(
    const std::vector<std::vector<std::string>>& lines) {
  std::vector<std::shared_ptr<AdminAction>> actions;
  for (const auto& fields : lines) {
    if (fields.size() <= 5) {
      continue;  // "Action line has incorrect field count" (a trace only)
    }
    auto action = AdminAction::adminActionWithType(numberField(fields[1]), numberField(fields[2]),
                                                   numberField(fields[5]), fields[3], fields[0], fields[4]);
    auto at = actions.begin();
    while (at != actions.end() && (*at)->sequence() >= action->sequence()) {
      ++at;
    }
    actions.insert(at, std::move(action));
  }
  return actions;
}

AdminActions::AdminActions(Sources sources) : mSources(std::move(sources)) {
  mCenter = mSources.center ? mSources.center : NotificationCenter::defaultCenter();
  mMacros = ZavroMacros::standardMacros(mSources.macros);
  auto admin = mSources.admin ? mSources.admin : AdminPrefs::adminPrefs();
  mActions = actionsFromLines(admin->getActionArr());

  mObserving = true;
  observe(ZavroApplicationWillTerminateNotification, nullptr);
  observe(ZavroWorkspaceWillPowerOffNotification, nullptr);
  observe(ZavroPreConnectNotification, &AdminActions::preConnect);
  observe(ZavroPreDialNotification, &AdminActions::preDial);
  observe(ZavroPreTunnelNotification, &AdminActions::preTunnel);
  observe(ZavroTunnelNotification, &AdminActions::tunnel);
  observe(ZavroPostConnectNotification, &AdminActions::postConnect);
  observe(ZavroDisconnectNotification, &AdminActions::disconnect);
  observe(ZavroCancelNotification, &AdminActions::cancel);
  observe(ZavroErrorNotification, &AdminActions::error);
  observe(ZavroModemNegotiatedNotification, &AdminActions::modemNegotiated);
}

AdminActions::~AdminActions() {
  if (mObserving) {
    mCenter->removeObserver(this);
  }
}

void AdminActions::observe(const char* name, void (AdminActions::*handler)(const Notification&)) {
  mCenter->addObserver(
      this,
      [this, handler](const Notification& notification) {
        if (handler == nullptr) {
          applicationWillTerminate();
        } else {
          (this->*handler)(notification);
        }
      },
      name, nullptr);
}

void AdminActions::applicationWillTerminate() {
  // "AdminActions applicationWillTerminate" (a trace only)
  if (mObserving) {
    mObserving = false;
    mCenter->removeObserver(this);
  }
  mMacros.reset();
  mActions.clear();
}

void AdminActions::executeActionsOfType(std::int32_t type) {
  if (!mMacros) {
    return;
  }
  mMacros->refreshTemporalMacros();
  const std::int32_t bit = mIsCustomerPOP ? 2 : 1;
  // A copy: an action's program may run long enough for the list to be released meanwhile.
  const auto actions = mActions;
  for (const auto& action : actions) {
    if (action->type() == type && (action->target() & bit) != 0) {
      action->executeWithMacros(*mMacros);
    }
  }
}

void AdminActions::preConnect(const Notification& notification) {
  auto pop = notification.userInfo.object<POP>("pop");
  const auto accessType = static_cast<std::uint32_t>(notification.userInfo.integer("accessType").value_or(0));
  const std::optional<std::string> dialString = notification.userInfo.string("dialString");
  mIsCustomerPOP = pop && pop->isCustomerPOP();
  if (mMacros) {
    mMacros->refreshStandardMacrosWithPOP(pop.get(), accessType, dialString);
  }
  auto record = pop ? SqmRecord::newRecordWithPOP(*pop, accessType, dialString.value_or(""))
                    : SqmRecord::newRecordWithAttempt(SqmAttempt{}, accessType, dialString.value_or(""));
  record->preConnect();
  executeActionsOfType(kActionPreConnect);
}

void AdminActions::preDial(const Notification&) {
  SqmRecord::sharedRecord()->preDial();
  executeActionsOfType(kActionPreDial);
}

void AdminActions::preTunnel(const Notification&) {
  SqmRecord::sharedRecord()->preTunnel();
  executeActionsOfType(kActionPreTunnel);
}

void AdminActions::tunnel(const Notification&) {
  SqmRecord::sharedRecord()->tunnel();
  executeActionsOfType(kActionTunnel);
}

void AdminActions::postConnect(const Notification&) {
  SqmRecord::sharedRecord()->postConnect();
  executeActionsOfType(kActionPostConnect);
  auto user = mSources.user ? mSources.user : UserPrefs::userPrefs();
  auto launcher = mSources.launcher ? mSources.launcher : Launcher::systemLauncher();
  UserActions::userActionsWithArray(user->actions())->execute(*launcher, user->startBrowser());
}

void AdminActions::disconnect(const Notification&) {
  SqmRecord::sharedRecord()->disconnect();
  executeActionsOfType(kActionDisconnect);
}

void AdminActions::cancel(const Notification&) {
  SqmRecord::sharedRecord()->cancel();
  executeActionsOfType(kActionCancel);
}

void AdminActions::error(const Notification&) {
  SqmRecord::sharedRecord()->error();
  executeActionsOfType(kActionError);
}

void AdminActions::modemNegotiated(const Notification& notification) {
  auto record = SqmRecord::sharedRecord();
  if (auto baud = notification.userInfo.string("Baud Rate"); baud && !baud->empty()) {
    record->setBaudRate(*baud);
  }
  record->modemNegotiated();
  executeActionsOfType(kActionModemNegotiated);
}

}  // namespace zavro
