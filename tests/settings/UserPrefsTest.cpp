// UserPrefs: the start-up rules with the administrator's locks, the two passwords, dates and the final save.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/LogFile.h"
#include "common/ZavroEncryptedData.h"
#include "platform/CredentialStoreBackends.h"
#include "settings/AdminPrefs.h"
#include "settings/UserPrefs.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using Dict = PropertyList::Dictionary;
using Array = PropertyList::Array;

class UserPrefsTest : public ::testing::Test {
 protected:
  void writeAdmin(const std::string& config, const std::string& raspref = "") {
    env.writeConfig("config.ini", config);
    env.writeConfig("raspref.ini", raspref);
  }

  // A start of the program: the administrator files and the preferences file as they are now.
  std::unique_ptr<UserPrefs> start() {
    auto admin = std::make_shared<AdminPrefs>();
    admin->load();
    return std::make_unique<UserPrefs>(std::make_shared<PersistentDomain>(path), admin, store);
  }

  // The user's own map of a section (what the dialing rules and bookmarks read), or empty.
  static Dict userMap(const UserPrefs& prefs, const std::string& section) {
    auto map = prefs.dictionaryForSection(section);
    return map ? *map : Dict{};
  }

  test::TestEnvironment env;
  std::string path = env.env().preferencesFile();
  std::shared_ptr<MemoryCredentialStore> store = std::make_shared<MemoryCredentialStore>();
};

TEST_F(UserPrefsTest, LockedRedialAttemptsOverwriteTheUsersValue) {
  writeAdmin("[Profile]\nRedialAttempts=3\nRedialAttemptsSettable=no\n");
  auto prefs = start();
  EXPECT_EQ(prefs->redialAttempts(), 3);
  EXPECT_EQ(userMap(*prefs, "Connect").at("RedialAttempts"), PropertyList("3"));

  prefs->setRedialAttempts(9);
  ASSERT_TRUE(prefs->synchronize());
  EXPECT_EQ(start()->redialAttempts(), 3);  // locked again at the next start
}

TEST_F(UserPrefsTest, SettableRedialAttemptsOnlyProvideTheDefault) {
  writeAdmin("[Profile]\nRedialAttempts=3\nRedialAttemptsSettable=yes\n");
  auto prefs = start();
  EXPECT_EQ(prefs->redialAttempts(), 3);
  EXPECT_EQ(userMap(*prefs, "Connect").count("RedialAttempts"), 0u);

  prefs->setRedialAttempts(5);
  ASSERT_TRUE(prefs->synchronize());
  EXPECT_EQ(start()->redialAttempts(), 5);

  prefs->setRedialAttempts(0);
  EXPECT_EQ(prefs->redialAttempts(), 1);
}

TEST_F(UserPrefsTest, EveryLockOfTheConnectSection) {
  writeAdmin(
      "[Profile]\nDialTimeout=45\nDialTimeoutSettable=0\nLaunchBrowser=yes\nLaunchBrowserSettable=no\n"
      "UpdatePB=no\nAllowChangeUpdatePB=no\nSmartRedial=yes\nSmartRedialSettable=no\n");
  {
    auto prefs = start();
    prefs->setDialTimeout(10);
    prefs->setStartBrowser(false);
    prefs->setUpdatePhonebook(true);
    prefs->setSmartRedial(false);
    ASSERT_TRUE(prefs->synchronize());
  }
  auto prefs = start();
  EXPECT_EQ(prefs->dialTimeout(), 45);
  EXPECT_TRUE(prefs->startBrowser());
  EXPECT_FALSE(prefs->updatePhonebook());
  EXPECT_TRUE(prefs->smartRedial());
  EXPECT_EQ(prefs->pauseBetweenDial(), 8);
  EXPECT_TRUE(prefs->waitToDial());
  EXPECT_EQ(prefs->dialDevice(), "");
}

TEST_F(UserPrefsTest, PrefixMapHoldsAllTenKeysAfterAFirstStart) {
  auto prefs = start();
  Dict prefix = userMap(*prefs, "Prefix");
  const Dict expected{{"Follow", "YES"},
                      {"CallType", "0"},
                      {"TonePulse", "0"},
                      {"Access", ""},
                      {"DisableCallWaiting", "NO"},
                      {"CallWaiting", ""},
                      {"UseCallingCard", "NO"},
                      {"CallingCard", "0"},
                      {"FromCountryCode", "US"},
                      {"FromAreaCode", ""}};
  EXPECT_EQ(prefix, expected);

  // A user's own values survive the read-and-write-back.
  prefs->setFromCountry("DE");
  prefs->setCallingCard(2);
  ASSERT_TRUE(prefs->synchronize());
  Dict again = userMap(*start(), "Prefix");
  EXPECT_EQ(again.at("FromCountryCode"), PropertyList("DE"));
  EXPECT_EQ(again.at("CallingCard"), PropertyList("2"));
  EXPECT_EQ(again.size(), 11u);  // the ten keys and the section marker
}

TEST_F(UserPrefsTest, ActionsAreErasedWhenPostConnectIsNotSettable) {
  const Array actions{PropertyList(Dict{{"Path", "/usr/bin/true"}})};
  {
    auto prefs = start();
    prefs->setActions(actions);
    ASSERT_TRUE(prefs->synchronize());
  }
  EXPECT_EQ(start()->actions(), actions);

  writeAdmin("[Profile]\nPostConnectSettable=NO\n");
  auto locked = start();
  EXPECT_TRUE(locked->actions().empty());
  EXPECT_EQ(userMap(*locked, "Actions").at("Array"), PropertyList(Array{}));
}

TEST_F(UserPrefsTest, ListsAreCarriedOverOrStartEmpty) {
  auto fresh = start();
  EXPECT_EQ(userMap(*fresh, "CallingCards").at("Array"), PropertyList(Array{}));
  EXPECT_EQ(userMap(*fresh, "Bookmarks").at("Array"), PropertyList(Array{}));
  EXPECT_FALSE(fresh->shortcut());
  const Array cards{PropertyList(Dict{{"Name", "Card"}})};
  const Array marks{PropertyList(Dict{{"Name", "Home"}})};
  fresh->setCallingCards(cards);
  fresh->setBookmarks(marks);
  ASSERT_TRUE(fresh->synchronize());
  auto next = start();
  EXPECT_EQ(next->callingCards(), cards);
  EXPECT_EQ(next->bookmarks(), marks);
}

TEST_F(UserPrefsTest, DialerLanguageIsResetAtEveryStart) {
  {
    auto prefs = start();
    prefs->setDialerLanguage("French");
    ASSERT_TRUE(prefs->synchronize());
  }
  auto prefs = start();
  EXPECT_EQ(prefs->dialerLanguage(), "");
  EXPECT_EQ(userMap(*prefs, "General").at("DialerLanguage"), PropertyList(""));
}

TEST_F(UserPrefsTest, LoginDomainsFollowTheAdministrator) {
  {
    auto prefs = start();
    prefs->setNTDomain("MINE");
    prefs->setDomain("mine.example");
    prefs->setVPNDomain("myvpn.example");
    ASSERT_TRUE(prefs->synchronize());
  }
  // UseNTDomain off: the user's NT domain is forced to "".
  writeAdmin("[Domain]\nDomainName1=corp.example\n[ProjectCode]\nProjCode1=P-1\n",
             "[customer]\nUseNTDomain=no\nNTDomain=CORP\n");
  auto prefs = start();
  EXPECT_EQ(prefs->NTDomain(), "");
  EXPECT_EQ(userMap(*prefs, "Login").at("NTDomain"), PropertyList(""));
  EXPECT_EQ(prefs->domain(), "mine.example");  // editable: the user's value stands
  EXPECT_EQ(prefs->projectCode(), "P-1");
  EXPECT_TRUE(prefs->usePreLogon());

  // UseNTDomain on: the administrator's NT domain is only the default.
  writeAdmin("[Domain]\nDomainName1=corp.example\nDomainEditable=no\n",
             "[customer]\nUseNTDomain=yes\nNTDomain=CORP\n[Vpn]\nDomain=vpn.example\nDomainEditable=no\n");
  std::filesystem::remove(path);
  auto fresh = start();
  EXPECT_EQ(fresh->NTDomain(), "CORP");
  EXPECT_EQ(userMap(*fresh, "Login").count("NTDomain"), 0u);
  EXPECT_EQ(fresh->domain(), "corp.example");
  EXPECT_EQ(userMap(*fresh, "Login").at("Domain"), PropertyList("corp.example"));
  EXPECT_EQ(fresh->VPNDomain(), "vpn.example");
}

TEST_F(UserPrefsTest, MediaSectionsAndOtherDefaults) {
  auto prefs = start();
  for (const char* section : {"Modem", "Phs", "ISDN", "BB_Wireless", "BB_Wired"}) {
    EXPECT_EQ(prefs->countryInSection(section), "") << section;
    EXPECT_EQ(prefs->defaultDictionaryForSection(section)->size(), 5u) << section;
    EXPECT_FALSE(prefs->mediaTypeInSection(section)) << section;
    EXPECT_FALSE(prefs->primaryDNSInSection(section)) << section;
  }
  EXPECT_EQ(prefs->defaultDictionaryForSection("Main"), nullptr);
  EXPECT_EQ(prefs->integerForKey("ConnectionDuration", "Test"), 0);
  EXPECT_FALSE(prefs->wirelessCountry());
  EXPECT_FALSE(prefs->windowTab());
  EXPECT_EQ(prefs->activePageInSection("Modem"), 0);
  EXPECT_EQ(prefs->osLanguage(), "");

  prefs->setSelectedPOP("POP-7", "ISDN");
  prefs->setActivePage(2, "ISDN");
  prefs->setSelectedWirelessPOP("W-1");
  EXPECT_EQ(prefs->selectedPOPInSection("ISDN"), "POP-7");
  EXPECT_EQ(prefs->activePageInSection("ISDN"), 2);
  EXPECT_EQ(prefs->selectedWirelessPOP(), "W-1");
}

TEST_F(UserPrefsTest, DatesAreStoredAsSecondsSince2001) {
  auto prefs = start();
  EXPECT_FALSE(prefs->lastUpdate());
  prefs->setLastUpdate(764000123.25);
  prefs->setLastPhonebookUpdate(-1.5);
  EXPECT_EQ(userMap(*prefs, "General").at("LastUpdate"), PropertyList("764000123.250000"));
  EXPECT_EQ(prefs->lastUpdate(), 764000123.25);  // to the fraction, not rounded to single precision
  EXPECT_EQ(prefs->lastPhonebookUpdate(), -1.5);
}

// ---- login password ----

TEST_F(UserPrefsTest, PasswordUnknownEverywhereIsEmptyAndAskedForAgain) {
  auto prefs = start();
  prefs->setUserName("ann");
  EXPECT_EQ(prefs->password(), "");
  EXPECT_EQ(store->findCount(), 1);
  EXPECT_EQ(prefs->password(), "");
  EXPECT_EQ(store->findCount(), 2);
}

TEST_F(UserPrefsTest, PasswordComesFromTheStoreAndIsCached) {
  store->add("ZavroConnect", "ann", "pw-1");
  auto prefs = start();
  prefs->setUserName("ann");
  prefs->setObject(PropertyList(zavroEncrypt("stale", UserPrefs::kPasswordKey)), "Password", "Login");
  EXPECT_EQ(prefs->password(), "pw-1");
  EXPECT_EQ(prefs->stringForKey("Password", "Login"), "");  // the legacy copy is erased
  EXPECT_EQ(prefs->password(), "pw-1");
  EXPECT_EQ(store->findCount(), 1);
}

TEST_F(UserPrefsTest, LegacyPasswordMovesIntoTheStore) {
  {
    auto prefs = start();
    prefs->setUserName("ann");
    prefs->setObject(PropertyList(zavroEncrypt("old-secret", UserPrefs::kPasswordKey)), "Password", "Login");
    ASSERT_TRUE(prefs->synchronize());
  }
  auto prefs = start();
  EXPECT_EQ(prefs->password(), "old-secret");
  EXPECT_EQ(store->items().at({"ZavroConnect", "ann"}), "old-secret");
  EXPECT_EQ(prefs->stringForKey("Password", "Login"), "");
}

TEST_F(UserPrefsTest, LegacyPasswordStaysWhenTheStoreRefusesIt) {
  auto prefs = start();
  prefs->setUserName("ann");
  std::string legacy = zavroEncrypt("old-secret", UserPrefs::kPasswordKey);
  prefs->setObject(PropertyList(legacy), "Password", "Login");
  store->setFailure("keyring locked");
  EXPECT_EQ(prefs->password(), "old-secret");
  EXPECT_TRUE(store->items().empty());
  EXPECT_EQ(prefs->stringForKey("Password", "Login"), legacy);  // nothing lost
}

TEST_F(UserPrefsTest, SettingUserAndPassword) {
  auto prefs = start();
  prefs->setUserName("ann", "first");
  EXPECT_EQ(prefs->userName(), "ann");
  EXPECT_EQ(store->items().at({"ZavroConnect", "ann"}), "first");
  prefs->setUserName("ann", "second");  // replaces the existing item
  EXPECT_EQ(store->items().at({"ZavroConnect", "ann"}), "second");
  EXPECT_EQ(prefs->password(), "second");
  EXPECT_EQ(store->findCount(), 2);  // the two lookups of the stores, none for the cached read
}

TEST_F(UserPrefsTest, EmptyOrOverlongCredentialsStoreNothing) {
  struct Row {
    const char* name;
    std::string user;
    std::string password;
  };
  const Row rows[] = {
      {"empty password", "bob", ""},
      {"empty user", "", "pw"},
      {"user longer than 255 bytes", std::string(256, 'u'), "pw"},
      {"password longer than 255 bytes", "bob", std::string(256, 'p')},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto prefs = start();
    prefs->setUserName("previous");
    prefs->setUserName(row.user, row.password);
    EXPECT_EQ(prefs->userName(), "previous");
    EXPECT_TRUE(store->items().empty());
    if (row.password.empty()) {
      // The cache holds "", so the next read asks the store again.
      int before = store->findCount();
      EXPECT_EQ(prefs->password(), "");
      EXPECT_EQ(store->findCount(), before + 1);
    } else {
      EXPECT_EQ(prefs->password(), row.password);  // lives only in this run's cache
    }
  }
  // 255 bytes exactly is fine.
  auto prefs = start();
  prefs->setUserName(std::string(255, 'u'), std::string(255, 'p'));
  EXPECT_EQ(store->items().size(), 1u);
}

TEST_F(UserPrefsTest, StoreErrorOnLookupLeavesItUnchanged) {
  auto prefs = start();
  store->setFailure("unreachable");
  prefs->setUserName("ann", "pw");
  store->setFailure(std::nullopt);
  EXPECT_TRUE(store->items().empty());
  EXPECT_EQ(prefs->userName(), "ann");
}

TEST_F(UserPrefsTest, TurningSavePasswordOffDeletesTheCurrentUsersItem) {
  auto prefs = start();
  prefs->setUserName("old", "pw-old");
  prefs->setUserName("ann", "pw-ann");
  prefs->setSavePassword(true);
  EXPECT_EQ(store->items().size(), 2u);
  prefs->setSavePassword(false);
  EXPECT_EQ(store->items().count({"ZavroConnect", "ann"}), 0u);
  EXPECT_EQ(store->items().count({"ZavroConnect", "old"}), 1u);
}

// ---- VPN password ----

TEST_F(UserPrefsTest, VPNPasswordIsKeptScrambled) {
  auto prefs = start();
  prefs->setVPNPassword("vpn-secret");
  std::string stored = *prefs->stringForKey("Password", "VPN");
  EXPECT_EQ(stored.find("vpn-secret"), std::string::npos);
  EXPECT_EQ(zavroDecrypt(stored, "Wibbelo572").c_str(), std::string("vpn-secret"));
  EXPECT_EQ(prefs->VPNPassword(), "vpn-secret");

  prefs->setVPNPassword("");
  EXPECT_EQ(prefs->stringForKey("Password", "VPN"), "");
  EXPECT_EQ(prefs->VPNPassword(), "");
}

// ---- final save ----

TEST_F(UserPrefsTest, FinalSaveWithSavingOffDropsOnlyTheCurrentUsersPassword) {
  {
    auto prefs = start();
    prefs->setUserName("old", "pw-old");
    prefs->setUserName("ann", "pw-ann");
    prefs->setVPNPassword("vpn");
    prefs->setSaveVPNPassword(true);
    prefs->setSmartRedial(true);
    ASSERT_TRUE(prefs->applicationWillTerminate());
  }
  EXPECT_EQ(store->items().count({"ZavroConnect", "ann"}), 0u);
  EXPECT_EQ(store->items().at({"ZavroConnect", "old"}), "pw-old");
  auto next = start();
  EXPECT_TRUE(next->smartRedial());
  EXPECT_EQ(next->VPNPassword(), "vpn");  // saving the VPN password was wanted
}

TEST_F(UserPrefsTest, FinalSaveKeepsPasswordsOnlyWhereBothSidesAllowIt) {
  struct Row {
    const char* name;
    const char* config;
    const char* raspref;
    bool userSaves;
    bool loginKept;
    bool vpnKept;
  };
  const Row rows[] = {
      {"user and administrator agree", "", "", true, true, true},
      {"user does not want it", "", "", false, false, false},
      {"administrator forbids both", "[Profile]\nAllowSavePassword=no\n", "[Vpn]\nAllowSavePassword=no\n", true, false,
       false},
      {"administrator forbids the VPN one", "", "[Vpn]\nAllowSavePassword=no\n", true, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(path);
    store = std::make_shared<MemoryCredentialStore>();
    writeAdmin(row.config, row.raspref);
    {
      auto prefs = start();
      prefs->setUserName("ann", "pw");
      prefs->setSavePassword(row.userSaves);
      prefs->setVPNPassword("vpn");
      prefs->setSaveVPNPassword(row.userSaves);
      ASSERT_TRUE(prefs->applicationWillTerminate());
    }
    EXPECT_EQ(store->items().count({"ZavroConnect", "ann"}), row.loginKept ? 1u : 0u);
    auto next = start();
    EXPECT_EQ(next->VPNPassword(), row.vpnKept ? "vpn" : "");
    EXPECT_EQ(next->saveVPNPassword(), row.vpnKept);
  }
}

TEST_F(UserPrefsTest, NothingIsWrittenBeforeTheFinalSave) {
  auto prefs = start();
  prefs->setDialTimeout(77);
  EXPECT_FALSE(test::fileExists(path));
  prefs->applicationWillTerminate();
  EXPECT_EQ(start()->dialTimeout(), 77);
}

TEST_F(UserPrefsTest, TruncatedPreferencesFileStartsWithDefaults) {
  {
    auto prefs = start();
    prefs->setDialTimeout(77);
    ASSERT_TRUE(prefs->applicationWillTerminate());
  }
  std::string whole = test::readFile(path);
  test::writeFile(path, whole.substr(0, whole.size() / 2));
  auto prefs = start();
  EXPECT_EQ(prefs->dialTimeout(), 120);
  EXPECT_EQ(test::readFile(path + ".corrupt"), whole.substr(0, whole.size() / 2));
  EXPECT_NE(ConnectionLog::connectionLog()->getLogContents().value_or("").find("moved it aside"), std::string::npos);
}

TEST_F(UserPrefsTest, ProcessWideInstanceUsesTheStandardDomain) {
  EXPECT_EQ(UserPrefs::existingUserPrefs(), nullptr);
  auto prefs = UserPrefs::userPrefs();
  EXPECT_EQ(prefs->persistentDomain()->path(), path);
  EXPECT_EQ(UserPrefs::existingUserPrefs(), prefs);
  EXPECT_EQ(UserPrefs::userPrefs(), prefs);
}

}  // namespace
}  // namespace zavro
