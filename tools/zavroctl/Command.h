// The command table of zavroctl: each command group registers its commands from its own file.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace zavro::ctl {

// What the global options chose, already applied to the installed Environment.
struct GlobalOptions {
  std::string installDir;
  std::string configDir;
  // From --plugins, else the codes of the plug-ins installed in the plug-in folder.
  std::vector<std::string> pluginCodes;
};

struct CommandContext {
  const GlobalOptions& global;
  std::vector<std::string> args;  // after the command name
  std::ostream& out;
  std::ostream& err;
};

struct Command {
  std::string name;
  std::string usage;  // "pops [--access MASK] ...", shown by --help
  std::function<int(CommandContext&)> run;
};

// Adds a command; called from static registrars before main runs.
void registerCommand(Command command);
const std::vector<Command>& commands();

struct CommandRegistrar {
  explicit CommandRegistrar(std::vector<Command> group) {
    for (auto& command : group) {
      registerCommand(std::move(command));
    }
  }
};

// Exit statuses.
inline constexpr int kExitOK = 0;
inline constexpr int kExitUsage = 2;

// Writes "zavroctl: <message>" as one line on err and returns kExitUsage.
int usageError(std::ostream& err, const std::string& message);

// Reads the value of an option given as "--name VALUE" or "--name=VALUE" at args[i] (advancing i past
// the value). nullopt when args[i] is not that option; an error message in `error` when the value is
// missing.
std::optional<std::string> optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                                       std::string& error);

// "123" or "0x7b" (also "0X7B"); nullopt for anything else or a value above 32 bits.
std::optional<uint32_t> parseMask(const std::string& text);

}  // namespace zavro::ctl
