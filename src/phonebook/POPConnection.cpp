// POPConnection: login names, netconfig arguments and connection names.
#include "phonebook/POPConnection.h"

#include <arpa/inet.h>

#include "common/StringReplacement.h"
#include "net/ModemScriptList.h"
#include "net/NetworkPorts.h"
#include "phonebook/AccessType.h"
#include "phonebook/DialRules.h"
#include "phonebook/POP.h"
#include "platform/ModemScripts.h"
#include "platform/PortDiscovery.h"
#include "runtime/Environment.h"
#include "settings/AdminPrefs.h"
#include "settings/Preferences.h"
#include "settings/UserPrefs.h"

namespace zavro {

namespace {

// A fixed DNS server is passed unless it is empty or the all-zero address; text that is no address
// at all goes through as it stands, for the network tool to judge.
bool usableDNSServer(const std::string& server) {
  return !server.empty() && inet_addr(server.c_str()) != 0;
}

}  // namespace

POPConnection::POPConnection() : POPConnection(Sources{}) {}

POPConnection::POPConnection(Sources sources) : mSources(std::move(sources)) {
  if (!mSources.admin) {
    mSources.admin = mSources.user ? std::shared_ptr<const AdminPrefs>(mSources.user, &mSources.user->admin())
                                   : AdminPrefs::adminPrefs();
  }
  if (!mSources.user) {
    mSources.user = UserPrefs::userPrefs();
  }
  if (!mSources.rules) {
    mSources.rules = DialRules::dialRules();
  }
  if (!mSources.ports) {
    mSources.ports = PortDiscovery::shared();
  }
  if (!mSources.scripts) {
    mSources.scripts = ModemScripts::shared();
  }
}

POPConnection::Settings POPConnection::prefixSettings() const {
  return DialRules::prefixSettings(*mSources.user);
}

std::string POPConnection::loginString(const POP& pop) const {
  const AdminPrefs& admin = *mSources.admin;
  const bool customer = pop.isCustomerPOP();
  std::string login = customer ? admin.getCustomerLoginFormat() : admin.getLoginFormat();
  const std::string ntDomain = customer && admin.getCustomerUseNTDomain() ? admin.getCustomerNTDomain() : "";
  const std::pair<const char*, std::string> steps[] = {{"%p", pop.prefix()},
                                                       {"%a", admin.getAuthPrefix()},
                                                       {"%u", mSources.user->userName()},
                                                       {"%d", mSources.user->domain()},
                                                       {"%s", pop.suffix()},
                                                       {"%t", ntDomain}};
  for (const auto& [placeholder, value] : steps) {
    login = strings::replaceAll(login, placeholder, value);
  }
  return login;
}

std::vector<std::string> POPConnection::configArguments(const POP& pop, const Settings* settings) const {
  const AdminPrefs& admin = *mSources.admin;
  UserPrefs& user = *mSources.user;
  const bool customer = pop.isCustomerPOP();
  std::vector<std::string> args = {"-dhcp", "yes"};

  const bool proxy = customer ? admin.getProxyCustomerPop() : admin.getProxyZavroPop();
  if (proxy && !admin.getProxyServer().empty()) {
    args.insert(args.end(), {"-proxy", "http://" + admin.getProxyServer()});
  }

  if (pop.requiresDNS()) {
    if (auto address = pop.DNSAddress(); !address.empty()) {
      args.insert(args.end(), {"-dns-address", address});
    }
  } else {
    std::string primary = "0.0.0.0", alternate = "0.0.0.0";
    if (customer && admin.getCustomerUseSpecificDNS()) {
      primary = admin.getCustomerDNSIPAddr();
      alternate = admin.getCustomerAltDNSIPAddr();
    } else if (!customer && admin.getUseSpecificDNS()) {
      primary = admin.getDNSIPAddr();
      alternate = admin.getAltDNSIPAddr();
    }
    if (usableDNSServer(primary)) {
      args.insert(args.end(), {"-dns-address", primary});
    }
    if (usableDNSServer(alternate)) {
      args.insert(args.end(), {"-alt-dns", alternate});
    }
  }

  const uint32_t access = pop.accessType();
  if (access & kAccessWireless) {
    args.insert(args.end(), {"-connection", "airport"});
    if (auto ssid = pop.ssidString(); ssid && !ssid->empty()) {
      args.insert(args.end(), {"-airport-ssid", *ssid});
      if (auto key = pop.wepKey(); key && !key->empty()) {
        args.insert(args.end(), {"-airport-wep-key", "$" + *key});
      }
    }
  } else if (access & kAccessWired) {
    args.insert(args.end(), {"-connection", "ethernet"});
  }

  if (!isDialupAccess(access)) {
    return args;
  }
  const Settings prefix = settings != nullptr ? Settings() : prefixSettings();
  const Settings& s = settings != nullptr ? *settings : prefix;

  args.insert(args.end(), {"-connection", "ppp"});
  std::string device = user.dialDevice();
  if (device.empty()) {
    auto modems = SCF::getPortUserNameArray("Modem", *mSources.ports);
    if (!modems.empty()) {
      device = modems.front();
    }
  }
  args.insert(args.end(), {"-ppp-device", device});
  args.insert(args.end(), {"-ppp-account", loginString(pop)});
  args.insert(args.end(), {"-ppp-password", user.password()});

  std::string script = user.dialDeviceScript();
  if (script.empty()) {
    std::vector<std::string> names;
    size_t defaultIndex = 0;
    if (MoreSCCreateCCLArray(names, defaultIndex, *mSources.scripts) == 0 && defaultIndex < names.size()) {
      script = names[defaultIndex];
    }
  }
  if (auto path = modemScriptPath(script, *mSources.scripts)) {
    args.insert(args.end(), {"-ppp-modem-script", *path});
  }
  if (auto termScript = pop.scriptFile(); !termScript.empty()) {
    args.insert(args.end(), {"-ppp-term-script", Environment::current()->configDir() + "/Mac_" + termScript});
  }
  if (uint32_t idle = admin.getIdleTimeout(); idle != 0) {
    args.insert(args.end(), {"-ppp-idle", std::to_string(static_cast<unsigned long>(idle))});
  }
  auto tonePulse = s.find(ZavroKeyTonePulse);
  if (tonePulse != s.end() && Preferences::integerFromObject(tonePulse->second) != 0) {
    args.insert(args.end(), {"-ppp-pulse", "1"});
  }
  args.insert(args.end(), {"-ppp-wait-to-dial", user.waitToDial() ? "yes" : "no"});
  return args;
}

std::string POPConnection::connectName(const POP& pop, uint32_t access, const Settings* settings) const {
  std::string detail;
  if (isDialupAccess(access)) {
    detail = settings != nullptr ? mSources.rules->dialStringWithPOP(&pop, *settings, access)
                                 : mSources.rules->dialStringWithPOP(&pop, prefixSettings(), access);
  } else {
    detail = pop.siteName();
  }
  return pop.city() + ", " + detail;
}

}  // namespace zavro
