// DialRules: rule files, rule choice and dial strings.
#include "phonebook/DialRules.h"

#include <cctype>
#include <cstdlib>

#include "common/CSVFile.h"
#include "common/StringReplacement.h"
#include "phonebook/AccessType.h"
#include "phonebook/POP.h"
#include "phonebook/PhoneBook.h"
#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"
#include "settings/Preferences.h"
#include "settings/UserPrefs.h"

namespace zavro {

namespace {

ProcessWide<DialRules> gShared([] { return std::make_shared<DialRules>(); });

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string stringSetting(const DialRules::Settings& settings, const char* key) {
  auto it = settings.find(key);
  if (it == settings.end()) {
    return {};
  }
  return Preferences::stringFromObject(it->second).value_or("");
}

std::optional<PropertyList> objectSetting(const DialRules::Settings& settings, const char* key) {
  auto it = settings.find(key);
  return it == settings.end() ? std::nullopt : std::optional<PropertyList>(it->second);
}

// Reads the rows of one rule file that carry at least `fields` fields; `byKey` maps each row's key
// to its position (a later row replaces an earlier one).
void loadRows(const std::string& path, size_t fields, bool keyWithArea, DialRules::Rows& rows,
              std::map<std::string, size_t>& byKey) {
  auto file = CSVFile::fileWithPath(path);
  if (!file) {
    return;
  }
  for (int i = 0; i < file->count(); ++i) {
    auto row = file->getArrayForLine(i);
    if (row.size() < fields) {
      continue;
    }
    byKey[keyWithArea ? row[0] + row[1] : row[0]] = rows.size();
    rows.push_back(std::move(row));
  }
}

// The first group of the POP's access bits: modem, ISDN, PHS, wired, wireless.
uint32_t accessOfPOP(uint32_t access) {
  for (uint32_t group : {kAccessModem, kAccessISDN, kAccessPHS, kAccessWired, kAccessWireless}) {
    if (access & group) {
      return access & group;
    }
  }
  return access;
}

}  // namespace

std::shared_ptr<DialRules> DialRules::dialRules() {
  return gShared.get();
}

void DialRules::applicationWillTerminate() {
  gShared.reset();
}

DialRules::DialRules() {
  load(Environment::current()->configDir());
}

DialRules::DialRules(const std::string& configDir) {
  load(configDir);
}

void DialRules::load(const std::string& configDir) {
  loadRows(configDir + "/dr_tapi.txt", 7, false, mTapiRules, mTapiRulesByCountry);
  loadRows(configDir + "/dr_country.txt", 7, false, mCountryRules, mCountryRulesByCode);
  loadRows(configDir + "/dr_areacode.txt", 3, true, mAreaRules, mAreaRulesByCountryAndCode);
}

DialRules::Settings DialRules::prefixSettings(const Preferences& prefs) {
  Settings settings;
  auto section = prefs.dictionaryForSection(ZavroSecPrefix);
  if (!section) {
    return settings;
  }
  for (const char* key : {ZavroKeyFromCountry, ZavroKeyFromAreaCode, ZavroKeyFollow, ZavroKeyCallType, ZavroKeyAccess,
                          ZavroKeyCallWaiting, ZavroKeyTonePulse}) {
    if (auto value = prefs.objectForKey(key, section.get())) {
      settings.emplace(key, std::move(*value));
    }
  }
  return settings;
}

std::optional<std::string> DialRules::dialCodeForCountry(const std::string& country) const {
  if (auto it = mCountryRulesByCode.find(country);
      it != mCountryRulesByCode.end() && !mCountryRules[it->second][2].empty()) {
    return mCountryRules[it->second][2];
  }
  if (auto it = mTapiRulesByCountry.find(country);
      it != mTapiRulesByCountry.end() && !mTapiRules[it->second][2].empty()) {
    return mTapiRules[it->second][2];
  }
  auto code = PhoneBook::countryTAPICode(country);
  if (code && !code->empty()) {
    return code;
  }
  return std::nullopt;
}

DialRules::RuleSet DialRules::dialRulesForCountry(const std::string& country, const std::string& areaCode,
                                                  const Settings& settings, uint32_t access) const {
  RuleSet rules = {"G", "1FG", "011EFG", "1FG"};
  auto takeRow = [&rules](const std::vector<std::string>& row) {
    for (size_t i = 0; i < 4; ++i) {
      rules[i] = row[3 + i];
    }
  };
  if (auto it = mTapiRulesByCountry.find(country); it != mTapiRulesByCountry.end()) {
    takeRow(mTapiRules[it->second]);
  }
  if (auto it = mCountryRulesByCode.find(country); it != mCountryRulesByCode.end()) {
    takeRow(mCountryRules[it->second]);
  }
  if (auto it = mAreaRulesByCountryAndCode.find(country + areaCode); it != mAreaRulesByCountryAndCode.end()) {
    rules[0] = mAreaRules[it->second][2];
  }
  auto code = dialCodeForCountry(country);
  if (code && parseIntegerBase0(*code) == 1) {
    int32_t callType = Preferences::integerFromObject(objectSetting(settings, ZavroKeyCallType));
    if (callType == 1) {
      rules[0] = "FG";
    } else if (callType == 2) {
      rules[0] = "1FG";
    }
  }
  if (access & (kAccessISDN | kAccessPHS)) {
    std::string rule;
    if (equalsIgnoringCase(country, "US") || equalsIgnoringCase(country, "CA")) {
      rule = "1FG";
    } else if (access & kAccessPHS) {
      rule = "0FG";
    } else {
      rule = "FG";
    }
    rules.fill(rule);
  }
  return rules;
}

std::string DialRules::dialRuleForCountry(const std::string& country, const std::string& areaCode, bool allCity,
                                          const Settings& settings, uint32_t access) const {
  std::string fromCountry = stringSetting(settings, ZavroKeyFromCountry);
  std::string fromArea = stringSetting(settings, ZavroKeyFromAreaCode);
  if (Preferences::boolFromObject(objectSetting(settings, ZavroKeyFollow))) {
    fromCountry = country;
    fromArea = areaCode;
  }
  auto fromCode = dialCodeForCountry(fromCountry);
  auto toCode = dialCodeForCountry(country);
  size_t rule;
  if (!fromCode || !toCode || !equalsIgnoringCase(*fromCode, *toCode)) {
    rule = 2;
  } else if (allCity) {
    rule = 3;
  } else if (!equalsIgnoringCase(fromArea, areaCode)) {
    rule = 1;
  } else {
    rule = 0;
  }
  return dialRulesForCountry(fromCountry, fromArea, settings, access)[rule];
}

std::string DialRules::dialStringForPrefixWithSettings(const Settings& settings) {
  std::string prefix;
  for (const char* key : {ZavroKeyAccess, ZavroKeyCallWaiting}) {
    std::string code = stringSetting(settings, key);
    if (!code.empty()) {
      prefix += code + ", ";
    }
  }
  return prefix;
}

std::string DialRules::parseTAPICodesInString(const std::string& rule, const std::string& phoneNumber,
                                              const std::string& areaCode, const std::string& countryCode,
                                              const std::string& pin) {
  std::string out;
  out.reserve(rule.size() + phoneNumber.size() + areaCode.size() + countryCode.size() + 8);
  for (char c : rule) {
    const std::string* value = nullptr;
    switch (std::toupper(static_cast<unsigned char>(c))) {
      case 'E':
        value = &countryCode;
        break;
      case 'F':
      case 'I':
        value = &areaCode;
        break;
      case 'G':
        value = &phoneNumber;
        break;
      case 'H':
        value = &pin;
        break;
      default:
        break;
    }
    if (value != nullptr) {
      out += ' ';
      out += *value;
    } else {
      out += c;
    }
  }
  return strings::trimExtraWhitespace(out);
}

std::string DialRules::dialStringWithPOP(const POP* pop, uint32_t access) const {
  if (pop == nullptr) {
    return {};
  }
  return dialStringWithPOP(pop, prefixSettings(*UserPrefs::userPrefs()), access);
}

std::string DialRules::dialStringWithPOP(const POP* pop, const Settings& settings, uint32_t access) const {
  return dialStringWithPOP(pop, settings, std::string(), access);
}

std::string DialRules::dialStringWithPOP(const POP* pop, const Settings& settings, const std::string& pin,
                                         uint32_t access) const {
  if (pop == nullptr) {
    return {};
  }
  const std::string country = pop->countryCode();
  const std::string areaCode = pop->areaCode();
  const std::string phone = pop->phone();
  auto callingCode = dialCodeForCountry(country);
  std::string fromCountry = Preferences::boolFromObject(objectSetting(settings, ZavroKeyFollow))
                                ? country
                                : stringSetting(settings, ZavroKeyFromCountry);
  if (!callingCode || !dialCodeForCountry(fromCountry)) {
    return {};
  }
  if (access == 0) {
    access = accessOfPOP(pop->accessType());
  }
  std::string rule = dialStringForPrefixWithSettings(settings) +
                     dialRuleForCountry(country, areaCode, pop->allCity(), settings, access);
  return parseTAPICodesInString(rule, phone, areaCode, *callingCode, pin);
}

}  // namespace zavro
