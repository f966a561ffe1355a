// zavroctl dialing commands: dialstring, args, login and connectname, read as the app reads them.
#include <ostream>

#include "Command.h"
#include "phonebook/DialRules.h"
#include "phonebook/POPConnection.h"
#include "phonebook/PhoneBook.h"

namespace zavro::ctl {

namespace {

// Parses "ID [--access MASK]" (the option only where `withAccess`); nullopt after a usage error.
struct PopArguments {
  std::string id;
  std::optional<uint32_t> access;
};

std::optional<PopArguments> parsePopArguments(CommandContext& ctx, const std::string& command, bool withAccess,
                                              int& status) {
  PopArguments parsed;
  const std::string usage = "usage: zavroctl " + command + " ID" + (withAccess ? " [--access MASK]" : "");
  for (size_t i = 0; i < ctx.args.size();) {
    std::string error;
    if (withAccess) {
      if (auto v = optionValue(ctx.args, i, "--access", error)) {
        auto mask = parseMask(*v);
        if (!mask) {
          status = usageError(ctx.err, command + ": bad access mask '" + *v + "' (decimal or 0x-hex)");
          return std::nullopt;
        }
        parsed.access = *mask;
        continue;
      }
      if (!error.empty()) {
        status = usageError(ctx.err, command + ": " + error);
        return std::nullopt;
      }
    }
    const std::string& arg = ctx.args[i];
    if (arg.empty() || arg[0] == '-' || !parsed.id.empty()) {
      status = usageError(ctx.err, usage);
      return std::nullopt;
    }
    parsed.id = arg;
    ++i;
  }
  if (parsed.id.empty()) {
    status = usageError(ctx.err, usage);
    return std::nullopt;
  }
  return parsed;
}

// The POP from the master phonebook, as the app loads it (installed plug-in codes included).
POPRef findPop(CommandContext& ctx, const std::string& command, const std::string& id, int& status) {
  auto book = PhoneBook::create();
  book->load(ctx.global.pluginCodes);
  POPRef pop = book->popForID(id);
  if (!pop) {
    status = usageError(ctx.err, command + ": unknown POP ID '" + id + "'");
  }
  // The POP keeps its records alive, not its book; the book's tables stay for the process.
  return pop;
}

int runDialString(CommandContext& ctx) {
  int status = kExitOK;
  auto parsed = parsePopArguments(ctx, "dialstring", true, status);
  if (!parsed) {
    return status;
  }
  POPRef pop = findPop(ctx, "dialstring", parsed->id, status);
  if (!pop) {
    return status;
  }
  std::string dial = DialRules::dialRules()->dialStringWithPOP(pop.get(), parsed->access.value_or(0));
  if (dial.empty()) {
    const bool dialup = (pop->accessType() & 0x187u) != 0;
    ctx.err << "zavroctl: dialstring: POP '" << parsed->id << "' cannot be dialed ("
            << (dialup ? "no calling code for its country or the dialing location" : "it has no dial-up number")
            << ")\n";
    return 1;
  }
  ctx.out << dial << '\n';
  return kExitOK;
}

int runArgs(CommandContext& ctx) {
  int status = kExitOK;
  auto parsed = parsePopArguments(ctx, "args", false, status);
  if (!parsed) {
    return status;
  }
  POPRef pop = findPop(ctx, "args", parsed->id, status);
  if (!pop) {
    return status;
  }
  auto args = POPConnection().configArguments(*pop);
  for (size_t i = 0; i < args.size(); ++i) {
    // A helpdesk screen is no place for the user's password.
    const bool secret = i > 0 && args[i - 1] == "-ppp-password";
    ctx.out << (secret ? "********" : args[i]) << '\n';
  }
  return kExitOK;
}

int runLogin(CommandContext& ctx) {
  int status = kExitOK;
  auto parsed = parsePopArguments(ctx, "login", false, status);
  if (!parsed) {
    return status;
  }
  POPRef pop = findPop(ctx, "login", parsed->id, status);
  if (!pop) {
    return status;
  }
  ctx.out << POPConnection().loginString(*pop) << '\n';
  return kExitOK;
}

int runConnectName(CommandContext& ctx) {
  int status = kExitOK;
  auto parsed = parsePopArguments(ctx, "connectname", true, status);
  if (!parsed) {
    return status;
  }
  POPRef pop = findPop(ctx, "connectname", parsed->id, status);
  if (!pop) {
    return status;
  }
  // Without a mask the POP is named as the list of its own access type would name it: the first
  // group its bits hold, in the order modem, ISDN, PHS, wired, wireless (the dialing rules' order).
  uint32_t access = 0;
  if (parsed->access) {
    access = *parsed->access;
  } else {
    for (uint32_t group : {0x4u, 0x3u, 0x180u, 0x8u, 0x10u}) {
      if ((pop->accessType() & group) != 0) {
        access = pop->accessType() & group;
        break;
      }
    }
  }
  ctx.out << POPConnection().connectName(*pop, access) << '\n';
  return kExitOK;
}

const CommandRegistrar registrar({
    {"dialstring", "dialstring ID [--access MASK]", runDialString},
    {"args", "args ID", runArgs},
    {"login", "login ID", runLogin},
    {"connectname", "connectname ID [--access MASK]", runConnectName},
});

}  // namespace

}  // namespace zavro::ctl
