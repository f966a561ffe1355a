// Macro tables: interpolation rules and the standard, POP and temporal refreshes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "phonebook/DialRules.h"
#include "phonebook/PhoneBook.h"
#include "settings/UserPrefs.h"
#include "settings/ZavroMacros.h"
#include "sqm/SqmRecord.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

TEST(ZavroMacrosTest, Interpolation) {
  ZavroMacros macros({{"UserName", "jo"}, {"UserDomain", "corp"}, {"Tricky", "<UserName>"}, {"Empty", ""}});
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"<UserDomain>\\<UserName>", "corp\\jo"},
      {"< UserName >@<\tUserDomain >", "jo@corp"},
      {"a<>b", "ab"},
      {"x<NoSuchMacro>y", "xy"},
      {"<username>", ""},                  // names are case-sensitive
      {"<Tricky>!", "<UserName>!"},        // an inserted value is not expanded again
      {"a>b<UserName>", "a>b<UserName>"},  // a '>' before the first '<' stops the scan
      {"<UserName", "<UserName"},
      {"<a<UserName>", ""},  // the reference runs from the first '<' to the '>'
      {"<UserName><Empty><UserName>", "jojo"},
      {"no references", "no references"},
      {"", ""},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(macros.interpolate(row.text), row.expected) << row.text;
  }
}

TEST(ZavroMacrosTest, NullValuesAreIgnoredAndUnknownNamesReadEmpty) {
  ZavroMacros macros;
  macros.setValue("one", "A");
  macros.setValue(std::nullopt, "A");
  EXPECT_EQ(macros.valueForMacro("A"), "one");
  EXPECT_EQ(macros.valueForMacro("B"), "");
}

class MacrosWithSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("ZAVRO_PLATFORM", "sim", 1);
    env.useDemoConfiguration();
    env.writeConfig("config.ini", "[Profile]\nCustomerID=77\nProfileID=12\nPhonebookID=3\n");
    env.apply();
    user = UserPrefs::userPrefs();
    user->setUserName("jo", "pw");
    user->setDomain("corp");
    book->load({});
    SqmRecord::resetCodes();
  }
  test::TestEnvironment env;
  std::shared_ptr<UserPrefs> user;
  std::shared_ptr<PhoneBook> book = PhoneBook::create();
};

TEST_F(MacrosWithSettings, StandardTableWithoutAPOP) {
  user->setVPNUserName("vpn-before");
  auto macros = ZavroMacros::standardMacros();
  EXPECT_EQ(macros->valueForMacro("ToolPath"), env.env().sharedSupportDir());
  EXPECT_EQ(macros->valueForMacro("CustomerID"), "77");
  EXPECT_EQ(macros->valueForMacro("ProfileID"), "12");
  EXPECT_EQ(macros->valueForMacro("PhonebookID"), "3");
  EXPECT_EQ(macros->valueForMacro("UserName"), "jo");
  EXPECT_EQ(macros->valueForMacro("UserDomain"), "corp");
  EXPECT_EQ(macros->valueForMacro("UserPassword"), "");           // only with a POP
  EXPECT_EQ(macros->valueForMacro("VpnUserName"), "vpn-before");  // not touched without a POP
  EXPECT_EQ(macros->valueForMacro("ErrorCode"), "0");
  EXPECT_EQ(macros->valueForMacro("DisconnectReason"), "100");
  EXPECT_FALSE(macros->valueForMacro("Version").empty());
}

TEST_F(MacrosWithSettings, POPRefreshTellsAnEditedDialString) {
  auto pop = book->popForID("100101");
  ASSERT_TRUE(pop);
  const std::string computed = DialRules::dialRules()->dialStringWithPOP(pop.get(), 0x4);
  ASSERT_FALSE(computed.empty());
  auto macros = ZavroMacros::standardMacros();
  macros->refreshStandardMacrosWithPOP(pop.get(), 0x4, computed);
  EXPECT_EQ(macros->valueForMacro("PopID"), pop->popIDString());
  EXPECT_EQ(macros->valueForMacro("DialString"), computed);
  EXPECT_EQ(macros->valueForMacro("UserPassword"), "pw");
  EXPECT_EQ(macros->valueForMacro("VpnUserName"), "jo");  // the login copied for the VPN
  EXPECT_EQ(macros->valueForMacro("City"), "San Francisco");
  EXPECT_EQ(macros->valueForMacro("ModemPhone"), "415/555-0134");
  EXPECT_EQ(macros->valueForMacro("Country"), "US");

  macros->refreshMacrosWithPOP(pop.get(), 0x4, std::string("9,5550134"));
  EXPECT_EQ(macros->valueForMacro("PopID"), "user");
  EXPECT_EQ(macros->valueForMacro("DialString"), "9,5550134");
  EXPECT_EQ(macros->valueForMacro("SqmDialString"), "9,5550134");

  SqmRecord::logError(678);
  SqmRecord::logDisconnectCode(1);
  macros->refreshTemporalMacros();
  EXPECT_EQ(macros->interpolate("<RasErrorCode>/<ErrorCode>/<DisconnectReason>"), "678/678/1");
}

}  // namespace
}  // namespace zavro
