// What a POP needs to connect: the network tool's arguments, the login name and the connection's name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/PropertyList.h"

namespace zavro {

class AdminPrefs;
class DialRules;
class ModemScripts;
class POP;
class PortDiscovery;
class UserPrefs;

// Reads the administrator configuration and the user preferences at the moment each operation runs.
// The default sources are the process-wide ones; tests and tools pass their own.
class POPConnection {
 public:
  using Settings = PropertyList::Dictionary;

  struct Sources {
    std::shared_ptr<UserPrefs> user;
    std::shared_ptr<const AdminPrefs> admin;
    std::shared_ptr<const DialRules> rules;
    std::shared_ptr<const PortDiscovery> ports;
    std::shared_ptr<const ModemScripts> scripts;
  };

  // The process-wide user preferences, administrator configuration, dialing rules, port discovery
  // and modem script folders.
  POPConnection();
  // Null members are taken from the process-wide objects.
  explicit POPConnection(Sources sources);

  // The administrator's login format (the customer format for customer POPs) with "%p", "%a", "%u",
  // "%d", "%s" and "%t" replaced in that order, each over the text produced so far.
  std::string loginString(const POP& pop) const;

  // The netconfig argument vector: DHCP, proxy, DNS, the wireless or wired interface and, for a
  // dial-up POP, the PPP configuration. `settings` is a bookmark's map; null means the "Prefix"
  // section of the user preferences. The modem script is passed as the full path of the file found in
  // the script folders; a chosen script that is not installed is left out, like no script at all.
  std::vector<std::string> configArguments(const POP& pop, const Settings* settings = nullptr) const;

  // "<city>, <dial string>" when `access` has a dial-up bit, else "<city>, <site name>".
  std::string connectName(const POP& pop, uint32_t access, const Settings* settings = nullptr) const;

 private:
  Settings prefixSettings() const;
  Sources mSources;
};

}  // namespace zavro
