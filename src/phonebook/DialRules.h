// Dial strings for dial-up POPs: the dialing rule for the place dialed from, the prefix codes and the
// letter substitution.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/PropertyList.h"

namespace zavro {

class POP;
class Preferences;

// Rules are templates in the telephony letter notation: E the country calling code, F the area code,
// G the local number, H the calling-card PIN, I the area code again (either case). Rule 0 is for a
// call within the same area, 1 another area of the same country, 2 another country, 3 an all-city
// POP of the same country.
//
// The three rule files of the configuration folder are read once, by the constructor: "dr_tapi.txt"
// and "dr_country.txt" (field 0 country, 2 calling code, 3-6 rules 0-3; a dr_country.txt line wins)
// and "dr_areacode.txt" (field 0 country, 1 area code, 2 rule 0 for calls made from that area).
// Missing files leave their maps empty; rows with fewer fields than are read are ignored.
//
// A country has a calling code when one of the rule files or the country table gives it a non-empty
// one. A POP whose own country, or the country it is dialed from, has none cannot be dialed: its dial
// string is "" (callers treat "" as not dialable).
//
// Read-only after construction: any thread may use the shared object.
class DialRules {
 public:
  // The "Prefix" settings of the user or a bookmark.
  using Settings = PropertyList::Dictionary;
  using Rows = std::vector<std::vector<std::string>>;
  using RuleSet = std::array<std::string, 4>;

  // The shared rules, read from the configuration folder on first use; a new Environment or
  // applicationWillTerminate() releases them.
  static std::shared_ptr<DialRules> dialRules();
  // Releases the shared object (what the application does when it terminates or the system powers off).
  static void applicationWillTerminate();

  // Reads the three files from the configuration folder of the installed Environment.
  DialRules();
  // Reads them from `configDir`.
  explicit DialRules(const std::string& configDir);

  // With no settings given, the "Prefix" section of the shared user preferences is read.
  std::string dialStringWithPOP(const POP* pop, uint32_t access = 0) const;
  std::string dialStringWithPOP(const POP* pop, const Settings& settings, uint32_t access = 0) const;
  // The dial string; "" for no POP or a POP that cannot be dialed. `access` 0 takes the POP's own
  // access type (its first group of modem, ISDN, PHS, wired, wireless).
  std::string dialStringWithPOP(const POP* pop, const Settings& settings, const std::string& pin,
                                uint32_t access) const;
  // The same results: dial strings never throw or crash here, so nothing needs guarding.
  std::string safeDialStringWithPOP(const POP* pop, uint32_t access = 0) const {
    return dialStringWithPOP(pop, access);
  }
  std::string safeDialStringWithPOP(const POP* pop, const Settings& settings, uint32_t access = 0) const {
    return dialStringWithPOP(pop, settings, access);
  }

  // The rule template for a call to a POP of `country` and `areaCode`. A country without a calling
  // code counts as differing from every other (rule 2).
  std::string dialRuleForCountry(const std::string& country, const std::string& areaCode, bool allCity,
                                 const Settings& settings, uint32_t access) const;
  // The four rules for calls made from that country and area.
  RuleSet dialRulesForCountry(const std::string& country, const std::string& areaCode, const Settings& settings,
                              uint32_t access) const;
  std::optional<std::string> dialCodeForCountry(const std::string& country) const;

  // "<Access>, " and "<CallWaiting>, " for the codes that are not empty.
  static std::string dialStringForPrefixWithSettings(const Settings& settings);
  // Every letter of the notation replaced by a blank and its value (values are not substituted
  // again), then white space trimmed from the ends and inner runs made one blank.
  static std::string parseTAPICodesInString(const std::string& rule, const std::string& phoneNumber,
                                            const std::string& areaCode, const std::string& countryCode,
                                            const std::string& pin);

  // The "Prefix" section of `prefs` as a map, read with the store's own locking.
  static Settings prefixSettings(const Preferences& prefs);

  const Rows& tapiRules() const { return mTapiRules; }
  const Rows& countryRules() const { return mCountryRules; }
  const Rows& areaRules() const { return mAreaRules; }

 private:
  void load(const std::string& configDir);

  Rows mTapiRules;
  Rows mCountryRules;
  Rows mAreaRules;
  std::map<std::string, size_t> mTapiRulesByCountry;
  std::map<std::string, size_t> mCountryRulesByCode;
  std::map<std::string, size_t> mAreaRulesByCountryAndCode;
};

}  // namespace zavro
