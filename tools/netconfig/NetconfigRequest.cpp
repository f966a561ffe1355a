// Argument parsing of netconfig: option/value pairs, each value checked for what it will be used as.
#include "NetconfigRequest.h"

#include <arpa/inet.h>

#include <cctype>
#include <climits>
#include <cstdlib>

namespace zavro::netconfig {

namespace {

std::string lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

std::optional<bool> parseFlag(const std::string& value) {
  std::string v = lower(value);
  if (v == "yes" || v == "1" || v == "true") {
    return true;
  }
  if (v == "no" || v == "0" || v == "false") {
    return false;
  }
  return std::nullopt;
}

bool isAddress(const std::string& text) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

// "http://proxy.example:8080/" -> "proxy.example:8080"; the port defaults to 80. Only host-name, address
// and port characters are accepted: the value ends up inside a proxy script.
std::optional<std::string> parseProxy(const std::string& value) {
  std::string rest = value;
  if (lower(rest.substr(0, 7)) == "http://") {
    rest = rest.substr(7);
  }
  while (!rest.empty() && rest.back() == '/') {
    rest.pop_back();
  }
  if (rest.empty()) {
    return std::nullopt;
  }
  for (unsigned char c : rest) {
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != ':' && c != '[' && c != ']') {
      return std::nullopt;
    }
  }
  bool bracketed = rest.front() == '[';
  auto closing = rest.find(']');
  bool hasPort = bracketed ? (closing != std::string::npos && closing + 1 < rest.size() && rest[closing + 1] == ':')
                           : rest.find(':') != std::string::npos;
  if (bracketed && closing == std::string::npos) {
    return std::nullopt;
  }
  if (!hasPort) {
    rest += ":80";
  }
  auto colon = rest.rfind(':');
  std::string port = rest.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::atoi(port.c_str()) == 0 || std::atoi(port.c_str()) > 65535 || colon == 0) {
    return std::nullopt;
  }
  return rest;
}

std::optional<unsigned> parseUnsigned(const std::string& value) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9) {
    return std::nullopt;
  }
  return static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
}

}  // namespace

const char* usageText() {
  return "usage: netconfig [-dhcp yes|no] [-proxy http://HOST[:PORT]] [-dns-address IP] [-alt-dns IP]\n"
         "                 -connection airport|ethernet|ppp\n"
         "                 [-airport-ssid SSID] [-airport-wep-key $KEY]\n"
         "                 [-ppp-device PORT] [-ppp-account NAME] [-ppp-password PASSWORD|-]\n"
         "                 [-ppp-modem-script PATH] [-ppp-term-script PATH] [-ppp-idle SECONDS]\n"
         "                 [-ppp-pulse 0|1] [-ppp-wait-to-dial yes|no] [-ppp-phone NUMBER]\n"
         "       netconfig [-restore-previous yes] [-delete-zavro yes]\n"
         "       netconfig --simulate FILE ARGUMENTS...\n"
         "A password given as \"-\" is read from the first line of standard input.\n";
}

std::optional<NetconfigRequest> parseArguments(const std::vector<std::string>& args, std::string& error) {
  NetconfigRequest request;
  for (size_t i = 0; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (name.size() < 2 || name[0] != '-') {
      error = "unexpected argument '" + name + "' where an option was expected";
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = "option '" + name + "' needs a value";
      return std::nullopt;
    }
    const std::string& value = args[i + 1];
    auto flag = [&](bool& target) {
      auto parsed = parseFlag(value);
      if (!parsed) {
        error = "option '" + name + "' takes yes or no, not '" + value + "'";
        return false;
      }
      target = *parsed;
      return true;
    };
    if (name == "-dhcp") {
      if (!flag(request.dhcp)) {
        return std::nullopt;
      }
    } else if (name == "-proxy") {
      auto proxy = parseProxy(value);
      if (!proxy) {
        error = "'" + value + "' is not an HTTP proxy address (http://HOST[:PORT])";
        return std::nullopt;
      }
      request.proxy = *proxy;
    } else if (name == "-dns-address" || name == "-alt-dns") {
      if (!isAddress(value)) {
        error = "the name server '" + value + "' of option '" + name + "' is not an IP address";
        return std::nullopt;
      }
      if (name == "-dns-address") {
        request.dnsServers.insert(request.dnsServers.begin(), value);
      } else {
        request.dnsServers.push_back(value);
      }
    } else if (name == "-connection") {
      std::string kind = lower(value);
      if (kind == "airport") {
        request.interface = Interface::Wireless;
      } else if (kind == "ethernet") {
        request.interface = Interface::Wired;
      } else if (kind == "ppp") {
        request.interface = Interface::Ppp;
      } else {
        error = "option '-connection' takes airport, ethernet or ppp, not '" + value + "'";
        return std::nullopt;
      }
    } else if (name == "-airport-ssid") {
      request.ssid = value;
    } else if (name == "-airport-wep-key") {
      request.wepKey = (!value.empty() && value[0] == '$') ? value.substr(1) : value;
    } else if (name == "-ppp-device") {
      request.pppDevice = value;
    } else if (name == "-ppp-account") {
      request.pppAccount = value;
    } else if (name == "-ppp-password") {
      request.passwordFromStdin = value == "-";
      request.pppPassword = request.passwordFromStdin ? std::string() : value;
    } else if (name == "-ppp-modem-script") {
      request.pppModemScript = value;
    } else if (name == "-ppp-term-script") {
      request.pppTerminalScript = value;
    } else if (name == "-ppp-idle") {
      auto seconds = parseUnsigned(value);
      if (!seconds) {
        error = "option '-ppp-idle' takes a number of seconds, not '" + value + "'";
        return std::nullopt;
      }
      request.pppIdleSeconds = *seconds;
    } else if (name == "-ppp-pulse") {
      if (!flag(request.pppPulse)) {
        return std::nullopt;
      }
    } else if (name == "-ppp-wait-to-dial") {
      if (!flag(request.pppWaitToDial)) {
        return std::nullopt;
      }
    } else if (name == "-ppp-phone") {
      request.pppPhone = value;
    } else if (name == "-restore-previous") {
      if (!flag(request.restorePrevious)) {
        return std::nullopt;
      }
    } else if (name == "-delete-zavro") {
      if (!flag(request.deleteZavro)) {
        return std::nullopt;
      }
    } else {
      error = "unknown option '" + name + "'";
      return std::nullopt;
    }
  }
  // Settings without an interface ("-dhcp yes" alone, as for a POP that needs no switching) leave
  // the network as it is: nothing to do is success. No arguments at all is a usage error.
  if (args.empty()) {
    error = "nothing to do: give -connection, -restore-previous yes or -delete-zavro yes";
    return std::nullopt;
  }
  return request;
}

}  // namespace zavro::netconfig
