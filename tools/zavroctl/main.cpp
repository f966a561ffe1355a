// zavroctl: global options, then one command from the command table.
#include <filesystem>
#include <iostream>
#include <sstream>

#include "Command.h"
#include "runtime/Environment.h"

namespace zavro::ctl {
std::vector<std::string> installedPluginCodes(const std::string& dir);
}

using namespace zavro;
using namespace zavro::ctl;

namespace {

void printUsage(std::ostream& out) {
  out << "usage: zavroctl [--install-dir DIR] [--config DIR] [--plugins CODES] COMMAND [ARGS]\n"
         "  --install-dir DIR  installation directory (default: the one holding this program)\n"
         "  --config DIR       configuration folder (default: DIR/Configuration)\n"
         "  --plugins CODES    comma-separated plug-in codes (default: those installed in PlugIns/)\n"
         "commands:\n";
  for (const auto& command : commands()) {
    out << "  zavroctl " << command.usage << "\n";
  }
}

std::vector<std::string> splitCodes(const std::string& text) {
  std::vector<std::string> codes;
  std::stringstream in(text);
  std::string code;
  while (std::getline(in, code, ',')) {
    if (!code.empty()) {
      codes.push_back(code);
    }
  }
  return codes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Environment env = Environment::fromProcess();
  std::optional<std::string> installDir, configDir, plugins;
  size_t i = 0;
  while (i < args.size() && args[i].size() > 1 && args[i][0] == '-') {
    if (args[i] == "--help" || args[i] == "-h") {
      printUsage(std::cout);
      return kExitOK;
    }
    std::string error;
    if (auto v = optionValue(args, i, "--install-dir", error)) {
      installDir = *v;
    } else if (auto v2 = optionValue(args, i, "--config", error)) {
      configDir = *v2;
    } else if (auto v3 = optionValue(args, i, "--plugins", error)) {
      plugins = *v3;
    } else {
      return usageError(std::cerr, error.empty() ? "unknown option " + args[i] : error);
    }
  }
  if (i >= args.size()) {
    return usageError(std::cerr, "no command given (try --help)");
  }
  // Paths handed on (terminal scripts in netconfig arguments, for one) must not depend on the
  // folder a later program runs in.
  auto absolute = [](const std::string& dir) {
    std::error_code ec;
    auto path = std::filesystem::absolute(dir, ec);
    return ec ? dir : path.lexically_normal().string();
  };
  if (installDir) {
    env.setInstallDir(absolute(*installDir));
  }
  if (configDir) {
    env.setConfigDir(absolute(*configDir));
  }
  Environment::install(env);

  GlobalOptions global;
  global.installDir = env.installDir();
  global.configDir = env.configDir();
  global.pluginCodes = plugins ? splitCodes(*plugins) : installedPluginCodes(env.pluginDir());

  const std::string name = args[i];
  for (const auto& command : commands()) {
    if (command.name == name) {
      CommandContext context{global, std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()),
                             std::cout, std::cerr};
      return command.run(context);
    }
  }
  return usageError(std::cerr, "unknown command " + name + " (try --help)");
}
