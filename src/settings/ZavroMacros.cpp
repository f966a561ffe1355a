// The macro table: standard, POP and temporal refreshes, and "<Name>" interpolation.
#include "settings/ZavroMacros.h"

#include "common/StringReplacement.h"
#include "phonebook/DialRules.h"
#include "phonebook/POP.h"
#include "phonebook/POPConnection.h"
#include "runtime/Environment.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"

namespace zavro {

std::shared_ptr<UserPrefs> ZavroMacros::user() const {
  return mSources.user ? mSources.user : UserPrefs::userPrefs();
}
std::shared_ptr<const AdminPrefs> ZavroMacros::admin() const {
  return mSources.admin ? mSources.admin : AdminPrefs::adminPrefs();
}
std::shared_ptr<const DialRules> ZavroMacros::rules() const {
  return mSources.rules ? mSources.rules : DialRules::dialRules();
}

std::shared_ptr<ZavroMacros> ZavroMacros::standardMacros(Sources sources) {
  auto macros = std::make_shared<ZavroMacros>();
  macros->setSources(std::move(sources));
  auto admin = macros->admin();
  macros->setValue(Environment::current()->sharedSupportDir(), "ToolPath");
  macros->setValue(admin->getDialerVersion(), "Version");
  macros->setValue(std::to_string(admin->getCustomerID()), "CustomerID");
  macros->setValue(std::to_string(admin->getProfileID()), "ProfileID");
  macros->setValue(std::to_string(admin->getPhonebookID()), "PhonebookID");
  macros->refreshStandardMacrosWithPOP(nullptr, 0, std::nullopt);
  return macros;
}

void ZavroMacros::refreshStandardMacrosWithPOP(const POP* pop, std::uint32_t accessType,
                                               const std::optional<std::string>& dialString) {
  auto admin = this->admin();
  auto user = this->user();
  if (pop != nullptr) {
    if (admin->getVpnSameUserInfo()) {
      user->setVPNUserName(user->userName());
      user->setVPNPassword(user->password());
      user->setSaveVPNPassword(user->savePassword());
    }
    setValue(user->password(), "UserPassword");
  }
  setValue(user->userName(), "UserName");
  setValue(user->domain(), "UserDomain");
  setValue(user->VPNDomain(), "VpnDomain");
  setValue(user->VPNPassword(), "VpnPassword");
  setValue(user->VPNUserName(), "VpnUserName");
  setValue(user->dialerLanguage(), "Language");
  refreshMacrosWithPOP(pop, accessType, dialString);
  refreshTemporalMacros();
}

void ZavroMacros::refreshMacrosWithPOP(const POP* pop, std::uint32_t accessType,
                                       const std::optional<std::string>& dialString) {
  if (pop == nullptr) {
    return;
  }
  auto rules = this->rules();
  const std::string computed = rules->dialStringWithPOP(pop, accessType);
  setValue(pop->prefix(), "Prefix");
  setValue(pop->suffix(), "Suffix");
  setValue(POPConnection(POPConnection::Sources{user(), admin(), rules, nullptr, nullptr}).loginString(*pop), "Login");
  setValue(pop->city(), "City");
  setValue(pop->regionCode(), "Region");
  setValue(pop->countryCode(), "Country");
  setValue(pop->areaCode() + "/" + pop->phone(), "ModemPhone");
  const bool dialup = (pop->accessType() & accessType & 0x187u) != 0;
  if (dialup && (!dialString || *dialString != computed)) {
    setValue("user", "PopID");
    setValue(dialString, "DialString");
    setValue(dialString, "SqmDialString");
  } else {
    setValue(pop->popIDString(), "PopID");
    setValue(computed, "DialString");
    setValue(rules->safeDialStringWithPOP(pop, accessType), "SqmDialString");
  }
  setValue(pop->accessProcedure(), "AccessProcedure");
}

void ZavroMacros::refreshTemporalMacros() {
  const std::string error = std::to_string(SqmRecord::getError());
  setValue(error, "RasErrorCode");
  setValue(error, "ErrorCode");
  setValue(std::to_string(SqmRecord::getDisconnectCode()), "DisconnectReason");
}

std::string ZavroMacros::valueForMacro(const std::string& name) const {
  auto it = mMacroValues.find(name);
  return it == mMacroValues.end() ? std::string() : it->second;
}

void ZavroMacros::setValue(const std::optional<std::string>& value, const std::string& name) {
  if (value) {
    mMacroValues[name] = *value;
  }
}

std::string ZavroMacros::interpolate(const std::string& text) const {
  std::string out = text;
  size_t p = 0;
  while (p < out.size()) {
    const size_t open = out.find('<', p);
    const size_t close = out.find('>', p);
    if (open == std::string::npos || close == std::string::npos || close < open) {
      break;
    }
    const std::string name = strings::trimWhitespaceFromEnds(std::string_view(out).substr(open + 1, close - open - 1));
    const std::string value = name.empty() ? std::string() : valueForMacro(name);
    out.replace(open, close - open + 1, value);
    p = open + value.size();
  }
  return out;
}

}  // namespace zavro
