// The request netconfig is given on its command line, parsed and checked before anything changes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zavro::netconfig {

enum class Interface { None, Wireless, Wired, Ppp };

struct NetconfigRequest {
  bool dhcp = true;
  std::string proxy;                    // "host:port" from "http://host:port"; empty: none
  std::vector<std::string> dnsServers;  // "-dns-address" first, then "-alt-dns"
  Interface interface = Interface::None;

  std::optional<std::string> ssid;
  std::optional<std::string> wepKey;  // without the leading "$"

  std::string pppDevice;
  std::string pppAccount;
  std::string pppPassword;
  bool passwordFromStdin = false;  // "-ppp-password" "-": the password is the first line of standard input
  std::string pppModemScript;
  std::string pppTerminalScript;
  unsigned pppIdleSeconds = 0;
  bool pppPulse = false;
  bool pppWaitToDial = true;
  std::string pppPhone;

  bool restorePrevious = false;
  bool deleteZavro = false;
};

// Parses the option/value pairs. Unknown options, missing values and malformed values fail with a
// message in `error`.
std::optional<NetconfigRequest> parseArguments(const std::vector<std::string>& args, std::string& error);

// The usage text printed with argument errors.
const char* usageText();

}  // namespace zavro::netconfig
