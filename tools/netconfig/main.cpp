// netconfig: switches the network for a connection attempt (NetworkManager or the pppd files) and back again.
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "NetconfigRequest.h"
#include "NetworkManager.h"
#include "common/TabFields.h"
#include "net/NetworkPorts.h"
#include "platform/PortDiscovery.h"
#include "platform/PppFiles.h"
#include "runtime/Environment.h"

using namespace zavro;
using namespace zavro::netconfig;

namespace {

void say(const std::string& message) {
  std::fprintf(stderr, "netconfig: %s\n", message.c_str());
}

// The first line of standard input, without its line break; nullopt when the input ends before any byte.
// The password never travels on a command line, where every local user could read it.
std::optional<std::string> readPasswordLine() {
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    any = true;
    if (c == '\n') {
      break;
    }
    if (line.size() >= 4096) {
      return std::nullopt;
    }
    line += c;
  }
  if (!any) {
    return std::nullopt;
  }
  return line;
}

bool passwordOnStdin(const std::vector<std::string>& args) {
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == "-ppp-password" && args[i + 1] == "-") {
      return true;
    }
  }
  return false;
}

// --simulate FILE ARGS...: appends one record per run and answers the scripted status. A record is the
// arguments, each escaped (\\ \t \n \r), joined by tabs; when the password came on standard input a last
// field "\stdin-password" (which no escaped argument can be) says a password line was received.
// ZAVRO_NETCONFIG_STATUS is a status or a comma list of statuses: run N (counting the records already in
// FILE) answers element N, the last element once the list is used up. Arguments that the real tool would
// refuse still get their record, then status 1, like the real tool.
int simulate(const std::string& file, const std::vector<std::string>& args) {
  std::vector<int> statuses;
  if (const char* scripted = std::getenv("ZAVRO_NETCONFIG_STATUS"); scripted != nullptr && *scripted != '\0') {
    std::string list = scripted;
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(',', start);
      if (end == std::string::npos) {
        end = list.size();
      }
      std::string item = list.substr(start, end - start);
      char* stop = nullptr;
      long value = std::strtol(item.c_str(), &stop, 10);
      if (item.empty() || *stop != '\0' || value < 0 || value > 255) {
        say("ZAVRO_NETCONFIG_STATUS: '" + list + "' is not a status or a comma list of statuses (0-255)");
        return kStatusFailed;
      }
      statuses.push_back(static_cast<int>(value));
      start = end + 1;
    }
  }

  bool fromStdin = passwordOnStdin(args);
  bool received = fromStdin && readPasswordLine().has_value();

  std::FILE* out = std::fopen(file.c_str(), "a+");
  if (out == nullptr) {
    say("cannot open " + file + ": " + std::strerror(errno));
    return kStatusFailed;
  }
  // Counting the earlier records and adding ours is one step for concurrent runs.
  ::flock(::fileno(out), LOCK_EX);
  std::rewind(out);
  size_t runs = 0;
  for (int c; (c = std::fgetc(out)) != EOF;) {
    runs += c == '\n' ? 1 : 0;
  }
  std::string record;
  for (size_t i = 0; i < args.size(); ++i) {
    record += (i == 0 ? "" : "\t") + escapeTabField(args[i]);
  }
  if (received) {
    record += args.empty() ? "\\stdin-password" : "\t\\stdin-password";
  }
  record += "\n";
  std::fseek(out, 0, SEEK_END);
  bool written = std::fwrite(record.data(), 1, record.size(), out) == record.size();
  written = std::fclose(out) == 0 && written;
  if (!written) {
    say("cannot write " + file);
    return kStatusFailed;
  }

  // The simulation answers as scripted whatever the arguments; what the real tool would refuse is
  // still said on standard error, so a test can see it.
  std::string error;
  if (!parseArguments(args, error)) {
    say(error);
  }
  if (fromStdin && !received) {
    say("-ppp-password -: no password line on standard input");
  }
  if (statuses.empty()) {
    return kStatusOK;
  }
  return statuses[std::min(runs, statuses.size() - 1)];
}

int configurePpp(const NetconfigRequest& request) {
  PppSettings settings;
  settings.port = request.pppDevice;
  if (request.pppDevice.empty()) {
    say("-ppp-device: no modem port given");
    return kStatusFailed;
  }
  // The arguments name the port as the user sees it ("Modem Port", "USB Modem"): the port list knows
  // its device. A device name or path given directly is taken as it is.
  auto device = devicePathForPort(request.pppDevice);
  if (!device) {
    if (auto discovery = PortDiscovery::shared()) {
      std::string tty = SCF::deviceNameForPort(request.pppDevice, "Modem", *discovery);
      if (!tty.empty()) {
        device = devicePathForPort(tty);
      }
    }
  }
  if (!device) {
    say("-ppp-device: no device is known for the modem port '" + request.pppDevice + "'");
    return kStatusFailed;
  }
  settings.device = *device;
  settings.account = request.pppAccount;
  settings.password = request.pppPassword;
  if (!request.pppModemScript.empty()) {
    auto script = modemScriptPath(request.pppModemScript);
    if (!script) {
      say("-ppp-modem-script: the modem script '" + request.pppModemScript + "' is not installed");
      return kStatusFailed;
    }
    settings.modemScript = *script;
  }
  settings.terminalScript = request.pppTerminalScript;
  settings.idleSeconds = request.pppIdleSeconds;
  settings.pulse = request.pppPulse;
  settings.waitToDial = request.pppWaitToDial;
  settings.phone = request.pppPhone;
  settings.dnsServers = request.dnsServers;
  settings.proxy = request.proxy;
  std::string error;
  if (!PppFiles::forCurrentUser().write(settings, error)) {
    say("cannot write the dial-up settings: " + error);
    return kStatusFailed;
  }
  return kStatusOK;
}

int worse(int a, int b) {
  if (a == kStatusFailed || b == kStatusFailed) {
    return kStatusFailed;
  }
  return a != kStatusOK ? a : b;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--simulate") {
    if (args.size() < 2) {
      say("--simulate needs the file to record the runs in");
      return kStatusFailed;
    }
    return simulate(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  }
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(usageText(), stdout);
    return kStatusOK;
  }

  std::string error;
  auto request = parseArguments(args, error);
  if (!request) {
    say(error);
    std::fputs(usageText(), stderr);
    return kStatusFailed;
  }
  if (request->passwordFromStdin) {
    auto password = readPasswordLine();
    if (!password) {
      say("-ppp-password -: no password line on standard input");
      return kStatusFailed;
    }
    request->pppPassword = *password;
  }

  auto env = Environment::current();
  NetworkManager networkManager(env->supportDir() + "/netconfig-previous", env->supportDir());
  int status = kStatusOK;
  if (request->restorePrevious || request->deleteZavro) {
    // Every dial writes the password afresh; between attempts it has no reason to stay on disk.
    PppFiles::forCurrentUser().removeSecrets();
  }
  if (request->restorePrevious) {
    status = worse(status, networkManager.restorePrevious());
  }
  if (request->deleteZavro) {
    status = worse(status, networkManager.deleteProfile());
  }
  switch (request->interface) {
    case Interface::Wireless:
    case Interface::Wired:
      status = worse(status, networkManager.configure(*request));
      break;
    case Interface::Ppp:
      status = worse(status, configurePpp(*request));
      break;
    case Interface::None:
      break;
  }
  return status;
}
