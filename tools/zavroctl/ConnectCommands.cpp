// zavroctl connect: a headless connect with the connect controller, printing every status change and alert.
//
// Output, one line each, in order:
//   dialing <POP ID> <connection name>     a dial attempt has started (netconfig ran)
//   status idle|connecting|connected|disconnecting
//   alert <title>: <message>               what the window would have shown
//   error                                  a connection error, or giving up after the last redial
//   interrupted                            SIGINT or SIGTERM: disconnecting before exit
// Exit status: 0 when a connection came up (and was ended by a signal or dropped), 1 when none did, 2 for
// a usage error or missing login data.
#include <csignal>
#include <iostream>
#include <ostream>

#include "Command.h"
#include "engine/AdminActions.h"
#include "engine/ConnectController.h"
#include "engine/ConnectNotifications.h"
#include "phonebook/PhoneBook.h"
#include "runtime/EventRunLoop.h"
#include "settings/UserPrefs.h"

namespace zavro::ctl {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onSignal(int) {
  gInterrupted = 1;
}

const char* statusName(std::int32_t status) {
  switch (status) {
    case kConnectionIdle:
      return "idle";
    case kConnectionConnecting:
      return "connecting";
    case kConnectionConnected:
      return "connected";
    case kConnectionDisconnecting:
      return "disconnecting";
    default:
      return "unknown";
  }
}

// Prints instead of drawing; answers every question without asking anyone.
class PrintingView final : public ConnectView {
 public:
  PrintingView(std::ostream& out, EventRunLoop& loop) : mOut(out), mLoop(loop) {}
  void setController(ConnectController* controller) { mController = controller; }

  void collapseWindow() override {}
  // The window goes back to full size when a connect sequence is over.
  void expandWindow() override { finishIfIdle(); }
  void setConnectButtonTitle(const std::string&) override {}
  void setConnectButtonEnabled(bool) override {}
  void setConnectName(const std::string& name) override {
    auto pop = mController->handler()->nextConnectPOP();
    mOut << "dialing " << (pop ? std::string(pop->popID()) : std::string()) << ' ' << name << std::endl;
  }
  void setStatus(const std::string&) override {
    std::int32_t status = mController->status();
    if (status != mLastStatus) {
      mLastStatus = status;
      mOut << "status " << statusName(status) << std::endl;
    }
  }
  void setConnectTime(std::uint32_t, bool) override {}
  // Left with the choice between redial, another POP and cancel: a headless run ends there.
  void setCanRedial(bool enabled) override {
    if (enabled) {
      finishIfIdle();
    }
  }
  void setCanDialAnother(bool) override {}
  void setCanCancel(bool) override {}
  void setCancelButtonTitle(const std::string&) override {}
  AlertButton runAlert(const Alert& alert) override {
    mOut << "alert " << alert.title << ": " << alert.message << std::endl;
    return AlertButton::Default;
  }
  bool loginPrompt() override { return false; }
  void terminateApplication() override { mLoop.stop(); }

 private:
  void finishIfIdle() {
    if (mController->status() == kConnectionIdle) {
      mLoop.stop();
    }
  }

  std::ostream& mOut;
  EventRunLoop& mLoop;
  ConnectController* mController = nullptr;
  std::int32_t mLastStatus = kConnectionIdle;
};

// The smart-redial order of a list: the first POP, then every other POP of the access type's book in the
// same city, from after it to the end and then from the top.
std::vector<POPRef> smartRedialOrder(const PhoneBook& book, const POPRef& first, std::uint32_t access) {
  std::vector<POPRef> order{first};
  auto typed = book.copyAccessType(access);
  const int n = static_cast<int>(typed->count());
  int at = static_cast<int>(typed->indexForID(first->popID()));
  if (at >= n) {
    at = -1;
  }
  for (int k = 1; k <= n; ++k) {
    POPRef pop = typed->pop((at + k + n) % n);
    if (pop && pop != first && pop->popID() != first->popID() && pop->city() == first->city()) {
      order.push_back(pop);
    }
  }
  return order;
}

int runConnect(CommandContext& ctx) {
  const std::string usage = "usage: zavroctl connect [--access MASK] [--smart-redial] [--password-stdin] ID...";
  std::optional<std::uint32_t> access;
  bool smart = false;
  bool passwordFromStdin = false;
  std::vector<std::string> ids;
  for (size_t i = 0; i < ctx.args.size();) {
    std::string error;
    if (auto v = optionValue(ctx.args, i, "--access", error)) {
      access = parseMask(*v);
      if (!access) {
        return usageError(ctx.err, "connect: bad access mask '" + *v + "' (decimal or 0x-hex)");
      }
      continue;
    }
    if (!error.empty()) {
      return usageError(ctx.err, "connect: " + error);
    }
    const std::string& arg = ctx.args[i++];
    if (arg == "--smart-redial") {
      smart = true;
    } else if (arg == "--password-stdin") {
      passwordFromStdin = true;
    } else if (arg.empty() || arg[0] == '-') {
      return usageError(ctx.err, usage);
    } else {
      ids.push_back(arg);
    }
  }
  if (ids.empty()) {
    return usageError(ctx.err, usage);
  }

  auto book = PhoneBook::create();
  book->load(ctx.global.pluginCodes);
  std::vector<POPRef> pops;
  for (const auto& id : ids) {
    POPRef pop = book->popForID(id);
    if (!pop) {
      return usageError(ctx.err, "connect: unknown POP ID '" + id + "'");
    }
    pops.push_back(pop);
  }
  const std::uint32_t mask = access.value_or(pops.front()->accessType());

  auto user = UserPrefs::userPrefs();
  if (passwordFromStdin) {
    std::string password;
    std::getline(std::cin, password);
    user->setUserName(user->userName(), password);
  }
  if (user->userName().empty() || user->domain().empty() || user->password().empty()) {
    ctx.err << "zavroctl: connect: the login is not complete: set the user name and domain (zavroctl prefs set Login "
               "UserName|Domain VALUE) and save the password, or give it with --password-stdin\n";
    return kExitUsage;
  }
  if (smart) {
    user->setSmartRedial(true);  // for this run only: nothing is saved
  }

  auto loop = EventRunLoop::create();
  RunLoop::setCurrent(loop);
  int result = 1;
  {
    auto actions = AdminActions::adminActions();  // the SQM record and the administrator's commands
    auto list = std::make_shared<POPSelectionList>(pops, mask);
    if (smart && isDialupAccessType(mask)) {
      list->setRedialOrder(smartRedialOrder(*book, pops.front(), mask));
    }
    PrintingView view(ctx.out, *loop);
    ConnectController::Options options;
    options.runLoop = loop;
    ConnectController controller(view, options);
    view.setController(&controller);
    controller.setCurrentHandler(list);

    auto center = NotificationCenter::defaultCenter();
    bool connected = false;
    center->addObserver(
        &view, [&](const Notification&) { ctx.out << "error" << std::endl; }, ZavroErrorNotification, &controller);
    center->addObserver(
        &view, [&](const Notification&) { connected = true; }, ZavroModemNegotiatedNotification, &controller);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    bool stopping = false;
    auto watch = loop->scheduleTimer(0.1, true, [&](Timer&) {
      if (gInterrupted && !stopping) {
        stopping = true;
        ctx.out << "interrupted" << std::endl;
        if (controller.shouldTerminate()) {
          loop->stop();
        }
      }
    });

    loop->post([&] {
      controller.connect();
      if (controller.status() == kConnectionIdle && !controller.isWaitingToConnect()) {
        loop->stop();  // nothing was started (netconfig failed)
      }
    });
    loop->run();
    watch->invalidate();
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    center->removeObserver(&view);
    result = connected ? kExitOK : 1;
  }
  RunLoop::setCurrent(nullptr);
  return result;
}

const CommandRegistrar registrar({
    {"connect", "connect [--access MASK] [--smart-redial] [--password-stdin] ID...", runConnect},
});

}  // namespace

}  // namespace zavro::ctl
