// Dial strings: the rule choice, the rule files, access overrides, prefixes and substitution.
#include <gtest/gtest.h>

#include "DialingFixtures.h"
#include "phonebook/DialRules.h"
#include "phonebook/POP.h"
#include "settings/UserPrefs.h"

namespace zavro {
namespace {

using test::popLine;
using test::settingsMap;

class DialRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    book = test::loadDialingBook(env, popLine("US", "New York", "212", "5551234", "US212", "0x4") +
                                          popLine("US", "San Francisco", "415", "5551234", "US415", "0x4") +
                                          popLine("US", "Miami", "305", "5550000", "US305", "0x4") +
                                          popLine("US", "Nationwide", "800", "5550100", "USALL", "0x4", {{24, "1"}}) +
                                          popLine("US", "Anywhere", "", "5551234", "USNOAREA", "0x4") +
                                          popLine("CA", "Toronto", "416", "5551234", "CA416", "0x4") +
                                          popLine("GB", "London", "20", "71234567", "GB20", "0x4") +
                                          popLine("DE", "Berlin", "30", "1234567", "DE30", "0x4") +
                                          popLine("DE", "Berlin ISDN", "30", "1234567", "DE30ISDN", "0x13") +
                                          popLine("US", "New York ISDN", "212", "5551234", "US212ISDN", "0x3") +
                                          popLine("JP", "Tokyo", "3", "12345678", "JP3", "0x180") +
                                          popLine("FR", "Paris", "1", "23456789", "FR1", "0x4") +
                                          popLine("FR", "Lyon", "4", "78123456", "FR4", "0x4") +
                                          popLine("US", "Mixed", "415", "5551234", "USMIXED", "0x1C") +
                                          popLine("ZZ", "Nowhere", "1", "555", "ZZ1", "0x4") +
                                          popLine("XX", "Unknown", "1", "555", "XX1", "0x4"));
  }
  const POP* pop(const std::string& id) const {
    auto p = book->popForID(id);
    EXPECT_TRUE(p) << id;
    return p.get();
  }

  test::TestEnvironment env;
  std::shared_ptr<PhoneBook> book;
};

TEST_F(DialRulesTest, WorkedExamplesWithTheDefaults) {
  DialRules rules(env.configDir());
  auto s = settingsMap({{"FromCountryCode", "US"}, {"FromAreaCode", "212"}, {"Access", "9"}, {"Follow", "NO"}});
  EXPECT_EQ(rules.dialStringWithPOP(pop("US212"), s), "9, 5551234");
  EXPECT_EQ(rules.dialStringWithPOP(pop("US415"), s), "9, 1 415 5551234");
  EXPECT_EQ(rules.dialStringWithPOP(pop("GB20"), s), "9, 011 44 20 71234567");
  EXPECT_EQ(rules.safeDialStringWithPOP(pop("GB20"), s), "9, 011 44 20 71234567");
  EXPECT_EQ(rules.dialStringWithPOP(nullptr, s), "");
  EXPECT_EQ(rules.safeDialStringWithPOP(nullptr, s, kAccessModem), "");
}

TEST_F(DialRulesTest, RuleChoiceFilesAndOverrides) {
  // The area file gives Miami's own-area calls a leading 1; France writes its rules in lower case.
  env.writeConfig("dr_areacode.txt", "US,305,1FG\n");
  env.writeConfig("dr_country.txt", "FR,x,33,g,0fg,00efg,0fg\n");
  DialRules rules(env.configDir());
  struct Row {
    const char* name;
    std::map<std::string, std::string> settings;
    const char* pop;
    uint32_t access;
    const char* expected;
  };
  const std::map<std::string, std::string> fromNY = {{"FromCountryCode", "US"}, {"FromAreaCode", "212"}};
  auto with = [&](std::map<std::string, std::string> extra) {
    extra.insert(fromNY.begin(), fromNY.end());
    return extra;
  };
  const Row rows[] = {
      {"follow_other_area_is_same_area", with({{"Follow", "YES"}}), "US415", 0, "5551234"},
      {"follow_abroad_is_same_area", with({{"Follow", "1"}}), "GB20", 0, "71234567"},
      {"follow_all_city_is_rule_3", with({{"Follow", "YES"}}), "USALL", 0, "1 800 5550100"},
      {"all_city_same_country", fromNY, "USALL", 0, "1 800 5550100"},
      {"us_to_canada_is_not_international", fromNY, "CA416", 0, "1 416 5551234"},
      {"canada_same_area", {{"FromCountryCode", "CA"}, {"FromAreaCode", "416"}}, "CA416", 0, "5551234"},
      {"area_file_rule_0", {{"FromCountryCode", "US"}, {"FromAreaCode", "305"}}, "US305", 0, "1 305 5550000"},
      {"area_file_only_for_its_area", fromNY, "US212", 0, "5551234"},
      {"isdn_abroad_has_no_calling_code",
       {{"FromCountryCode", "GB"}, {"FromAreaCode", "20"}},
       "DE30",
       kAccessISDN,
       "30 1234567"},
      {"isdn_from_the_pops_own_group",
       {{"FromCountryCode", "GB"}, {"FromAreaCode", "20"}},
       "DE30ISDN",
       0,
       "30 1234567"},
      {"isdn_in_the_us", fromNY, "US212ISDN", 0, "1 212 5551234"},
      {"phs_in_japan", {{"FromCountryCode", "JP"}, {"FromAreaCode", "3"}}, "JP3", 0, "0 3 12345678"},
      {"modem_first_of_mixed_access", fromNY, "USMIXED", 0, "1 415 5551234"},
      {"explicit_access_wins", {{"FromCountryCode", "GB"}}, "USMIXED", 0x1, "415 5551234"},
      {"call_type_1", with({{"CallType", "1"}}), "US212", 0, "212 5551234"},
      {"call_type_2", with({{"CallType", "2"}}), "US212", 0, "1 212 5551234"},
      {"call_type_only_where_the_code_is_1",
       {{"FromCountryCode", "GB"}, {"FromAreaCode", "20"}, {"CallType", "2"}},
       "GB20",
       0,
       "71234567"},
      {"lower_case_other_area", {{"FromCountryCode", "FR"}, {"FromAreaCode", "1"}}, "FR4", 0, "0 4 78123456"},
      {"lower_case_abroad", {{"FromCountryCode", "FR"}, {"FromAreaCode", "1"}}, "GB20", 0, "00 44 20 71234567"},
      {"empty_area_code", fromNY, "USNOAREA", 0, "1 5551234"},
      {"prefix_codes", with({{"Access", "9"}, {"CallWaiting", "*70"}}), "US212", 0, "9, *70, 5551234"},
      {"call_waiting_only", with({{"CallWaiting", "1170"}}), "US212", 0, "1170, 5551234"},
      {"pop_country_without_code", fromNY, "ZZ1", 0, ""},
      {"pop_country_not_in_any_table", fromNY, "XX1", 0, ""},
      {"from_country_without_code", {{"FromCountryCode", "QQ"}}, "US212", 0, ""},
      {"from_country_missing", {}, "US212", 0, ""},
      {"follow_to_country_without_code", {{"FromCountryCode", "US"}, {"Follow", "YES"}}, "ZZ1", 0, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(rules.dialStringWithPOP(pop(row.pop), settingsMap(row.settings), row.access), row.expected) << row.name;
  }
}

TEST_F(DialRulesTest, RuleFilesPrecedenceAndCallingCodes) {
  env.writeConfig("dr_tapi.txt",
                  "DE,x,49,T0,T1,T2,T3\n"
                  "GB,x,440,T0,T1,T2,T3\n"
                  "ZZ,x,999,G,0FG,00EFG,0FG\n"
                  "SHORT,x,7,G,FG\n");
  env.writeConfig("dr_country.txt",
                  "GB,x,44,C0,C1,C2,C3\n"
                  "DE,x,,old,old,old,old\n"
                  "DE,x,,D0,D1,D2,D3\n");
  env.writeConfig("dr_areacode.txt", "DE,30,A0\nDE30\n");
  DialRules rules(env.configDir());
  PropertyList::Dictionary none;
  EXPECT_EQ(rules.dialRulesForCountry("GB", "20", none, 0), (DialRules::RuleSet{"C0", "C1", "C2", "C3"}));
  EXPECT_EQ(rules.dialRulesForCountry("DE", "89", none, 0), (DialRules::RuleSet{"D0", "D1", "D2", "D3"}));
  EXPECT_EQ(rules.dialRulesForCountry("DE", "30", none, 0), (DialRules::RuleSet{"A0", "D1", "D2", "D3"}));
  EXPECT_EQ(rules.dialRulesForCountry("US", "212", none, 0), (DialRules::RuleSet{"G", "1FG", "011EFG", "1FG"}));
  EXPECT_EQ(rules.dialRulesForCountry("SHORT", "", none, 0), (DialRules::RuleSet{"G", "1FG", "011EFG", "1FG"}));
  EXPECT_EQ(rules.countryRules().size(), 3u);
  EXPECT_EQ(rules.tapiRules().size(), 3u);  // the short row is not kept
  EXPECT_EQ(rules.areaRules().size(), 1u);

  EXPECT_EQ(rules.dialCodeForCountry("GB"), "44");   // dr_country.txt before dr_tapi.txt
  EXPECT_EQ(rules.dialCodeForCountry("DE"), "49");   // an empty code falls through to dr_tapi.txt
  EXPECT_EQ(rules.dialCodeForCountry("ZZ"), "999");  // the rule file fills the table's gap
  EXPECT_EQ(rules.dialCodeForCountry("JP"), "81");   // the country table
  EXPECT_EQ(rules.dialCodeForCountry("XX"), std::nullopt);
  EXPECT_EQ(rules.dialStringWithPOP(pop("ZZ1"), settingsMap({{"FromCountryCode", "US"}})), "011 999 1 555");
}

TEST(DialRulesSubstitution, LettersPrefixesAndWhiteSpace) {
  struct Row {
    const char* rule;
    const char* expected;
  };
  for (const Row& r :
       {Row{"EFGHI", "44 20 5550123 20"}, Row{"efghi", "44 20 5550123 20"}, Row{"9,G", "9, 5550123"},
        Row{" \t9W,\r\n 1FG\n", "9W, 1 20 5550123"}, Row{"*70 , , G", "*70 , , 5550123"}, Row{"", ""}, Row{"H", ""}}) {
    EXPECT_EQ(DialRules::parseTAPICodesInString(r.rule, "5550123", "20", "44", ""), r.expected) << r.rule;
  }
  // Values are not substituted again, even when they hold letters of the notation.
  EXPECT_EQ(DialRules::parseTAPICodesInString("FG", "FLOWERS", "E1", "44", ""), "E1 FLOWERS");
  EXPECT_EQ(DialRules::parseTAPICodesInString("GH", "555", "", "", "1234"), "555 1234");

  EXPECT_EQ(DialRules::dialStringForPrefixWithSettings(settingsMap({{"Access", "9"}, {"CallWaiting", "*70"}})),
            "9, *70, ");
  EXPECT_EQ(DialRules::dialStringForPrefixWithSettings(settingsMap({{"Access", ""}})), "");
  EXPECT_EQ(DialRules::dialStringForPrefixWithSettings({}), "");
}

TEST_F(DialRulesTest, SharedRulesReadTheUserPreferencesAndAreReadOnce) {
  auto prefs = UserPrefs::userPrefs();
  prefs->setFollow(false);
  prefs->setFromCountry("US");
  prefs->setFromAreaCode("212");
  prefs->setLineAccess("9");
  auto shared = DialRules::dialRules();
  EXPECT_EQ(shared->dialStringWithPOP(pop("US415")), "9, 1 415 5551234");
  EXPECT_EQ(shared->dialStringWithPOP(pop("US415"), kAccessISDN), "9, 1 415 5551234");
  EXPECT_EQ(shared->safeDialStringWithPOP(pop("GB20")), "9, 011 44 20 71234567");
  prefs->setFollow(true);
  EXPECT_EQ(shared->dialStringWithPOP(pop("US415")), "9, 5551234");

  env.writeConfig("dr_country.txt", "US,x,1,G,X1FG,011EFG,1FG\n");
  EXPECT_EQ(DialRules::dialRules(), shared);  // changed files wait for the next start
  EXPECT_EQ(DialRules::dialRules()->dialStringWithPOP(pop("US415"), settingsMap({{"FromCountryCode", "US"}})),
            "1 415 5551234");
  DialRules::applicationWillTerminate();
  auto fresh = DialRules::dialRules();
  EXPECT_NE(fresh, shared);
  EXPECT_EQ(fresh->dialStringWithPOP(pop("US415"), settingsMap({{"FromCountryCode", "US"}})), "X1 415 5551234");
}

}  // namespace
}  // namespace zavro
