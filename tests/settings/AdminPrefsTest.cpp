// AdminPrefs: defaults without files, value adjustments, key families, the authorization forms and the codes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/Base64.h"
#include "common/ZavroEncryptedData.h"
#include "settings/AdminPrefs.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using Strings = std::vector<std::string>;

class AdminPrefsTest : public ::testing::Test {
 protected:
  // config.ini and raspref.ini with the given contents, read as the application reads them.
  std::shared_ptr<AdminPrefs> withFiles(const std::string& config, const std::string& raspref = "") {
    env.writeConfig("config.ini", config);
    env.writeConfig("raspref.ini", raspref);
    auto prefs = std::make_shared<AdminPrefs>();
    EXPECT_TRUE(prefs->load());
    return prefs;
  }

  test::TestEnvironment env;
};

TEST_F(AdminPrefsTest, WithoutFilesEveryGetterAnswersItsDefault) {
  AdminPrefs prefs;
  ASSERT_TRUE(prefs.load());  // nothing in the configuration folder
  EXPECT_EQ(prefs.getTabSelect(), 15u);
  EXPECT_EQ(prefs.getWirelessAccessTypes(), 0x70u);
  EXPECT_EQ(prefs.getWiredAccessTypes(), 8u);
  EXPECT_EQ(prefs.getCustPopSort(), -1);
  EXPECT_EQ(prefs.getConnectionTimeout(), 0);
  EXPECT_EQ(prefs.getConnectionTimeoutResp(), 1);
  EXPECT_EQ(prefs.getAppName(), "ZavroConnect");
  EXPECT_EQ(prefs.getDialTimeout(), 120);
  EXPECT_EQ(prefs.getRedialAttempts(), 1);
  EXPECT_EQ(prefs.getPBServer(), 3);
  EXPECT_EQ(prefs.getPBUpdateFrequency(), 1);
  EXPECT_EQ(prefs.getPBUpdateMaxFrequency(), 14);
  EXPECT_EQ(prefs.getSecondsToWait4VpnExit(), 2);
  EXPECT_EQ(prefs.getSecondsToWait4Logoff(), 10);
  EXPECT_EQ(prefs.getDisplayCurrency(), "Price");
  EXPECT_EQ(prefs.getBBDisplayCurrency(), "Price");
  EXPECT_DOUBLE_EQ(prefs.getConversionRate(), 1.0);
  EXPECT_DOUBLE_EQ(prefs.getBBConvRate(), 1.0);
  EXPECT_EQ(prefs.getLoginFormat(), "%p%a%u@%d%s");
  EXPECT_EQ(prefs.getCustomerLoginFormat(), "%p%u%s");
  EXPECT_EQ(prefs.getDNSIPAddr(), "0.0.0.0");
  EXPECT_EQ(prefs.getCustomerAltDNSIPAddr(), "0.0.0.0");
  EXPECT_EQ(prefs.getVpnDNSIPAddr(), "0.0.0.0");
  EXPECT_EQ(prefs.getVpnConnectDelay(), 7);
  EXPECT_EQ(prefs.getVpnDisconnectDelay(), 0);
  EXPECT_TRUE(prefs.getActionArr().empty());
  EXPECT_FALSE(prefs.getAction(0));
  EXPECT_TRUE(prefs.getCustUrlArr().empty());
  EXPECT_TRUE(prefs.getDnsArr().empty());
  EXPECT_EQ(prefs.getDomain(0), "");
  EXPECT_EQ(prefs.getProjCode(0), "");
  EXPECT_EQ(prefs.getSupportEmail(), AdminPrefs::kDefaultSupportEmail);
  EXPECT_EQ(prefs.getSqmLoaderUrl(), AdminPrefs::kDefaultSqmLoaderURL);
  EXPECT_EQ(prefs.getSqmLoaderUrl().find("://"), std::string::npos);
  EXPECT_EQ(prefs.getSqmLoaderUrl().substr(prefs.getSqmLoaderUrl().find('/')), "/servlets/loader");
  EXPECT_EQ(prefs.getFeatureSet(), 0u);
  EXPECT_EQ(prefs.getCustAuthHeaderValue(), "");
  EXPECT_EQ(prefs.getZavroAuthHeader(), "Authorization: ");

  // Flags that default to YES and to NO.
  for (bool v : {prefs.getAllowSavePassword(),
                 prefs.getShowPrice(),
                 prefs.getAutoUpdatePB(),
                 prefs.getAllowChangeAutoUpdatePB(),
                 prefs.getSmartRedialSettable(),
                 prefs.getStartBrowserSettable(),
                 prefs.getDialTimeoutSettable(),
                 prefs.getRedialAttemptsSettable(),
                 prefs.getRemoveDUNentry(),
                 prefs.getCachePassword(),
                 prefs.getPostConnectSettable(),
                 prefs.getAskUpdateDialer(),
                 prefs.getMigrateDialerVersionSettable(),
                 prefs.getIdleTimeoutChangeable(),
                 prefs.getSendSqmBool(),
                 prefs.getHomeConnectWillExit(),
                 prefs.getHangUpOnSysExit(),
                 prefs.getDomainEditable(),
                 prefs.getProjCodeEditable(),
                 prefs.getVpnSameUserInfo(),
                 prefs.getVpnAllowSavePassword(),
                 prefs.getVpnDomainEditable()}) {
    EXPECT_TRUE(v);
  }
  for (bool v : {prefs.getSmartRedial(), prefs.getStartBrowser(), prefs.getHideDomain(), prefs.getShowProjCode(),
                 prefs.getNoConnWithoutPFW(), prefs.getDisconnPFWDown(), prefs.usePrelogon(),
                 prefs.getKeepZavroLocation(), prefs.getBBShowPrice(), prefs.getProxyZavroPop(),
                 prefs.getProxyCustomerPop(), prefs.getApplyConversion(), prefs.getBBApplyConv(),
                 prefs.getUseSpecificDNS(), prefs.getCustomerUseSpecificDNS(), prefs.getCustomerUseNTDomain(),
                 prefs.getCustomerUseVpn(), prefs.getVpnUseSpecificDNS(), prefs.getVpnEnabled()}) {
    EXPECT_FALSE(v);
  }
}

TEST_F(AdminPrefsTest, AdjustedValues) {
  auto prefs = withFiles("[Profile]\nTabSelect=0\nRedialAttempts=0\nWirelessAccessTypes=0\nWiredAccessTypes=0\n");
  EXPECT_EQ(prefs->getTabSelect(), 15u);
  EXPECT_EQ(prefs->getRedialAttempts(), 1);
  EXPECT_EQ(prefs->getWirelessAccessTypes(), 0x70u);
  EXPECT_EQ(prefs->getWiredAccessTypes(), 8u);

  prefs = withFiles("[profile]\ntabselect=1F\nRedialAttempts=4\nDialTimeout=\nFeatureSet=0x20\n");
  EXPECT_EQ(prefs->getTabSelect(), 31u);
  EXPECT_EQ(prefs->getRedialAttempts(), 4);
  EXPECT_EQ(prefs->getDialTimeout(), 0);  // present but empty: not the default
  EXPECT_EQ(prefs->getFeatureSet(), 0x20u);
}

TEST_F(AdminPrefsTest, CustomerPopSortFlagForms) {
  struct Row {
    const char* line;
    int32_t expected;
  };
  const Row rows[] = {{"CustomerPopSortFlag=last", 0},
                      {"CustomerPopSortFlag=first", -1},
                      {"CustomerPopSortFlag=First", -1},
                      {"CustomerPopSortFlag=0", -1},
                      {"CustomerPopSortFlag=", -1},
                      {"CustomerPopSortFlag=1", 0},
                      {"Other=1", -1}};
  for (const auto& row : rows) {
    EXPECT_EQ(withFiles(std::string("[Profile]\n") + row.line + "\n")->getCustPopSort(), row.expected) << row.line;
  }
}

TEST_F(AdminPrefsTest, DomainWithAndWithoutTheNumberedFamily) {
  auto numbered = withFiles("[Domain]\nDomainName1=first.example\nDomainName2=second.example\nDomainName=plain\n");
  EXPECT_EQ(numbered->getDomainArr(), (Strings{"first.example", "second.example"}));
  EXPECT_EQ(numbered->getDomain(0), "first.example");
  EXPECT_EQ(numbered->getDomain(1), "second.example");
  EXPECT_EQ(numbered->getDomain(2), "");
  EXPECT_EQ(numbered->getDomain(-1), "");  // compared as unsigned

  auto plain = withFiles("[Domain]\nDomainName=plain.example\n");
  EXPECT_EQ(plain->getDomain(0), "plain.example");
  EXPECT_EQ(plain->getDomain(5), "plain.example");
  EXPECT_EQ(plain->getDomain(-1), "plain.example");
}

TEST_F(AdminPrefsTest, ListsFromCommaSeparatedValuesAndFamilies) {
  auto prefs = withFiles(
      "[Profile]\nIdleTimeout=600,30,2\nConnectionTimeout=45,9\nPhonebookURL1=a.example\nPhonebookURL3=c.example\n"
      "[Zavro]\nDNS=10.0.0.1, 10.0.0.2\nPhonebookURL1=z.example\n"
      "[ProjectCode]\nProjCode1=P1\nProjCode2=P2\n"
      "[Actions]\nAction0=Pre,/bin/a\nAction1=Post,\"/bin/b,c\"\nAction2=\nAction4=Post,/bin/never\n");
  EXPECT_EQ(prefs->getIdleTimeout(), 600u);
  EXPECT_EQ(prefs->getIdleRespTime(), 30u);
  EXPECT_EQ(prefs->getIdleMinRate(), 2u);
  EXPECT_EQ(prefs->getConnectionTimeout(), 45);
  EXPECT_EQ(prefs->getConnectionTimeoutResp(), 9);
  EXPECT_EQ(prefs->getCustUrlArr(), (Strings{"a.example"}));
  EXPECT_EQ(prefs->getZavroUrlArr(), (Strings{"z.example"}));
  EXPECT_EQ(prefs->getDnsArr(), (Strings{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(prefs->getProjCodeArr(), (Strings{"P1", "P2"}));
  EXPECT_EQ(prefs->getProjCode(1), "P2");
  EXPECT_EQ(prefs->getProjCode(2), "");

  auto actions = prefs->getActionArr();
  ASSERT_EQ(actions.size(), 3u);  // stops at the missing Action3
  EXPECT_EQ(actions[0], (Strings{"Pre", "/bin/a"}));
  EXPECT_EQ(actions[1], (Strings{"Post", "/bin/b,c"}));
  EXPECT_TRUE(actions[2].empty());
  EXPECT_EQ(prefs->getAction(1), actions[1]);
  EXPECT_FALSE(prefs->getAction(3));
  EXPECT_FALSE(prefs->getAction(-1));

  auto single = withFiles("[Profile]\nIdleTimeout=600\n");
  EXPECT_EQ(single->getIdleTimeout(), 600u);
  EXPECT_EQ(single->getIdleRespTime(), 0u);
  EXPECT_EQ(single->getIdleMinRate(), 0u);
}

TEST_F(AdminPrefsTest, AppMonitorVPNForms) {
  struct Row {
    const char* value;
    const char* expected;
  };
  const Row rows[] = {{"Yes,/Applications/Vpn", "Yes,/Applications/Vpn"},
                      {"YES,x", "YES,x"},
                      {"no,/Applications/Vpn", ""},
                      {"yesno", ""},
                      {"yes", "yes"},
                      {"no", "no"},
                      {"", ""}};
  for (const auto& row : rows) {
    auto prefs = withFiles(std::string("[Profile]\nAppMonitorVPN=") + row.value + "\n");
    EXPECT_EQ(prefs->getMonitorVpnString(), row.expected) << row.value;
  }
}

TEST_F(AdminPrefsTest, RasprefSections) {
  auto prefs = withFiles("",
                         "[Zavro]\nLoginFormat=%u\nFlagSpecificNameServers=1\nIpAddrDns=1.2.3.4\n"
                         "[Customer]\nUseNTDomain=yes\nNTDomain=CORP\n"
                         "[VPN]\nDomain=vpn.example\nDomainEditable=no\nConnectDelay=3\n");
  EXPECT_EQ(prefs->getLoginFormat(), "%u");
  EXPECT_TRUE(prefs->getUseSpecificDNS());
  EXPECT_EQ(prefs->getDNSIPAddr(), "1.2.3.4");
  EXPECT_EQ(prefs->getAltDNSIPAddr(), "0.0.0.0");
  EXPECT_TRUE(prefs->getCustomerUseNTDomain());
  EXPECT_EQ(prefs->getCustomerNTDomain(), "CORP");
  EXPECT_EQ(prefs->getVpnDomain(), "vpn.example");
  EXPECT_FALSE(prefs->getVpnDomainEditable());
  EXPECT_EQ(prefs->getVpnConnectDelay(), 3);
}

TEST_F(AdminPrefsTest, AuthorizationFromScrambledCredentials) {
  std::string user = zavroEncrypt("pbuser", AdminPrefs::kCredentialKey);
  std::string password = zavroEncrypt("s3cret:x", AdminPrefs::kCredentialKey);
  EXPECT_EQ(AdminPrefs::buildAuthHeaderValueForUser(user, password), "Basic " + base64Encode("pbuser:s3cret:x"));
  EXPECT_EQ(AdminPrefs::buildAuthHeaderForUser(user, password),
            "Authorization: Basic " + base64Encode("pbuser:s3cret:x"));
  EXPECT_EQ(AdminPrefs::buildAuthHeaderValueForUser("", password), "");
  EXPECT_EQ(AdminPrefs::buildAuthHeaderValueForUser(user, ""), "");
  EXPECT_EQ(AdminPrefs::buildAuthHeaderForUser("", password), "Authorization: ");

  auto prefs = withFiles("[Zavro]\nPhonebookUserID=" + user + "\nPhonebookPassword=" + password +
                         "\n[Profile]\nPhonebookUserID=" + user + "\n");
  EXPECT_EQ(prefs->getZavroPBUserID(), user);  // as stored
  EXPECT_EQ(prefs->getZavroAuthHeaderValue(), "Basic " + base64Encode("pbuser:s3cret:x"));
  EXPECT_EQ(prefs->getZavroAuthHeader(), "Authorization: Basic " + base64Encode("pbuser:s3cret:x"));
  EXPECT_EQ(prefs->getCustAuthHeader(), "Authorization: ");  // the Profile password is missing
}

TEST_F(AdminPrefsTest, ScrambledConfigurationFileIsReadLikeAPlainOne) {
  std::string plain = "[Profile]\nDialTimeout=33\n";
  std::string scrambled = plain;
  for (size_t i = 0; i < scrambled.size(); ++i) scrambled[i] = static_cast<char>(scrambled[i] ^ (255 - (i % 256)));
  auto prefs = withFiles(scrambled);
  EXPECT_EQ(prefs->getDialTimeout(), 33);
}

TEST(AdminPrefsCodes, VersionAndOperatingSystem) {
  AdminPrefs prefs;
  EXPECT_EQ(prefs.getDialerVersion(), std::string("\"ZVC Mac ") + ZAVRO_EXPECTED_VERSION + "\"");
  EXPECT_EQ(AdminPrefs::getCurrentZavroOS(), 0x1000u);
}

TEST(AdminPrefsCodes, LanguageOfTheLocale) {
  struct Row {
    const char* locale;
    uint32_t bit;
  };
  const Row rows[] = {{"", 1},
                      {"C", 1},
                      {"POSIX", 1},
                      {"C.UTF-8", 1},
                      {"en_US.UTF-8", 1},
                      {"nl_NL", 1},
                      {"fr_FR.UTF-8", 2},
                      {"fr_CA", 2},
                      {"fr", 2},
                      {"es_ES", 4},
                      {"es_MX.UTF-8", 4},
                      {"zh_CN.UTF-8", 8},
                      {"zh", 8},
                      {"zh_SG", 8},
                      {"zh_TW.UTF-8", 32},
                      {"zh_HK", 32},
                      {"ja_JP.eucJP", 16},
                      {"de_DE@euro", 64},
                      {"de_CH", 64},
                      {"it_IT", 128},
                      {"pt_PT", 256},
                      {"pt_BR.UTF-8", 256}};
  for (const auto& row : rows) {
    EXPECT_EQ(AdminPrefs::zavroLanguageForLocale(row.locale), row.bit) << row.locale;
  }
}

TEST(AdminPrefsCodes, LanguageIsWorkedOutOnce) {
  uint32_t first = AdminPrefs::getCurrentZavroLanguage();
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  setenv("LC_ALL", first == 64 ? "fr_FR.UTF-8" : "de_DE.UTF-8", 1);
  EXPECT_EQ(AdminPrefs::getCurrentZavroLanguage(), first);
  if (old) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

TEST(AdminPrefsCodes, ProcessWideInstanceReadsTheConfigurationFolder) {
  test::TestEnvironment env;
  env.writeConfig("config.ini", "[Profile]\nPBServer=7\n");
  auto prefs = AdminPrefs::adminPrefs();
  EXPECT_EQ(prefs->getPBServer(), 7);
  EXPECT_EQ(AdminPrefs::adminPrefs(), prefs);
}

}  // namespace
}  // namespace zavro
