// AdminPrefs: the getters over config.ini and raspref.ini, the authorization builders and the system codes.
#include "settings/AdminPrefs.h"

#include <cstdlib>

#include "common/Base64.h"
#include "common/LogFile.h"
#include "common/ZavroEncryptedData.h"
#include "runtime/ProcessWide.h"

#ifndef ZAVRO_DIALER_VERSION
#error "ZAVRO_DIALER_VERSION must be defined by the build"
#endif

namespace zavro {

namespace {

// Text as a C string of at most 255 bytes would hold it: cut at the first zero byte and at 255 bytes.
std::string cString255(const std::string& text) {
  std::string out = text.substr(0, text.find('\0'));
  if (out.size() > 255) {
    out.resize(255);
  }
  return out;
}

std::string upToZero(std::string text) {
  auto zero = text.find('\0');
  if (zero != std::string::npos) {
    text.resize(zero);
  }
  return text;
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::shared_ptr<AdminPrefs> AdminPrefs::adminPrefs() {
  static ProcessWide<AdminPrefs> instance([] {
    auto prefs = std::make_shared<AdminPrefs>();
    prefs->load();
    return prefs;
  });
  return instance.get();
}

AdminPrefs::AdminPrefs()
    : mIniFile(std::make_shared<IniFile>()),
      mRasIni(std::make_shared<IniFile>()),
      secProfile("Profile"),
      secCurrency("Currency"),
      secDomain("Domain"),
      secZavro("Zavro"),
      secProjectCode("ProjectCode"),
      secActions("Actions"),
      secCustomer("customer"),
      secVpn("Vpn") {}

bool AdminPrefs::load() {
  auto config = IniFile::fileWithPath(ZavroConfiguration::pathToConfigFile("config.ini"));
  auto raspref = IniFile::fileWithPath(ZavroConfiguration::pathToConfigFile("raspref.ini"));
  bool both = config && raspref;
  setFiles(std::move(config), std::move(raspref));
  return both;
}

void AdminPrefs::setFiles(std::shared_ptr<IniFile> config, std::shared_ptr<IniFile> raspref) {
  mIniFile = config ? std::move(config) : std::make_shared<IniFile>();
  mRasIni = raspref ? std::move(raspref) : std::make_shared<IniFile>();
}

// ---- Profile ----

uint32_t AdminPrefs::getTabSelect() const {
  uint32_t v = mIniFile->getValueAsHexIntForAttribute("TabSelect", secProfile, 15);
  return v == 0 ? 15 : v;
}
uint32_t AdminPrefs::getWirelessAccessTypes() const {
  uint32_t v = mIniFile->getValueAsHexIntForAttribute("WirelessAccessTypes", secProfile, 0x70);
  return v == 0 ? 0x70 : v;
}
uint32_t AdminPrefs::getWiredAccessTypes() const {
  uint32_t v = mIniFile->getValueAsHexIntForAttribute("WiredAccessTypes", secProfile, 8);
  return v == 0 ? 8 : v;
}
int32_t AdminPrefs::getCustPopSort() const {
  std::string v = mIniFile->getValueAsStringForAttribute("CustomerPopSortFlag", secProfile, "first");
  if (v.empty() || v[0] == 'F' || v[0] == 'f' || v[0] == '0') {
    return -1;
  }
  return 0;
}
int32_t AdminPrefs::getCustomerID() const {
  return mIniFile->getValueAsIntForAttribute("CustomerID", secProfile);
}
int32_t AdminPrefs::getProfileID() const {
  return mIniFile->getValueAsIntForAttribute("ProfileID", secProfile);
}
int32_t AdminPrefs::getPhonebookID() const {
  return mIniFile->getValueAsIntForAttribute("PhonebookID", secProfile);
}
int32_t AdminPrefs::getConnectionTimeout() const {
  return mIniFile->getCSVEntryAsIntForAttribute("ConnectionTimeout", 0, secProfile, 0);
}
int32_t AdminPrefs::getConnectionTimeoutResp() const {
  return mIniFile->getCSVEntryAsIntForAttribute("ConnectionTimeout", 1, secProfile, 1);
}
std::string AdminPrefs::getAppName() const {
  return mIniFile->getValueAsStringForAttribute("AppName", secProfile, "ZavroConnect");
}
std::string AdminPrefs::getCustPBUserID() const {
  return mIniFile->getValueAsStringForAttribute("PhonebookUserID", secProfile);
}
std::string AdminPrefs::getCustPBPassword() const {
  return mIniFile->getValueAsStringForAttribute("PhonebookPassword", secProfile);
}
std::string AdminPrefs::getCustAuthHeaderValue() const {
  return buildAuthHeaderValueForUser(getCustPBUserID(), getCustPBPassword());
}
std::string AdminPrefs::getCustAuthHeader() const {
  return buildAuthHeaderForUser(getCustPBUserID(), getCustPBPassword());
}
std::vector<std::string> AdminPrefs::getCustUrlArr() const {
  return mIniFile->getValueAsArrayForAttributeSet("PhonebookURL%d", secProfile);
}
int32_t AdminPrefs::getPBServer() const {
  return mIniFile->getValueAsIntForAttribute("PBServer", secProfile, 3);
}
bool AdminPrefs::getAllowSavePassword() const {
  return mIniFile->getValueAsBoolForAttribute("AllowSavePassword", secProfile, true);
}
std::string AdminPrefs::getCustomPBKfile() const {
  return mIniFile->getValueAsStringForAttribute("CustomPBKFile", secProfile);
}
bool AdminPrefs::getShowPrice() const {
  return mIniFile->getValueAsBoolForAttribute("ShowPrice", secProfile, true);
}
bool AdminPrefs::getAutoUpdatePB() const {
  return mIniFile->getValueAsBoolForAttribute("UpdatePB", secProfile, true);
}
bool AdminPrefs::getAllowChangeAutoUpdatePB() const {
  return mIniFile->getValueAsBoolForAttribute("AllowChangeUpdatePB", secProfile, true);
}
bool AdminPrefs::getSmartRedial() const {
  return mIniFile->getValueAsBoolForAttribute("SmartRedial", secProfile, false);
}
bool AdminPrefs::getSmartRedialSettable() const {
  return mIniFile->getValueAsBoolForAttribute("SmartRedialSettable", secProfile, true);
}
bool AdminPrefs::getStartBrowser() const {
  return mIniFile->getValueAsBoolForAttribute("LaunchBrowser", secProfile, false);
}
bool AdminPrefs::getStartBrowserSettable() const {
  return mIniFile->getValueAsBoolForAttribute("LaunchBrowserSettable", secProfile, true);
}
int32_t AdminPrefs::getDialTimeout() const {
  return mIniFile->getValueAsIntForAttribute("DialTimeout", secProfile, 120);
}
bool AdminPrefs::getDialTimeoutSettable() const {
  return mIniFile->getValueAsBoolForAttribute("DialTimeoutSettable", secProfile, true);
}
int32_t AdminPrefs::getRedialAttempts() const {
  int32_t v = mIniFile->getValueAsIntForAttribute("RedialAttempts", secProfile, 1);
  return v == 0 ? 1 : v;
}
bool AdminPrefs::getRedialAttemptsSettable() const {
  return mIniFile->getValueAsBoolForAttribute("RedialAttemptsSettable", secProfile, true);
}
bool AdminPrefs::getHideDomain() const {
  return mIniFile->getValueAsBoolForAttribute("HideDomain", secProfile, false);
}
bool AdminPrefs::getShowProjCode() const {
  return mIniFile->getValueAsBoolForAttribute("ShowProjectCode", secProfile, false);
}
bool AdminPrefs::getNoConnWithoutPFW() const {
  return mIniFile->getValueAsBoolForAttribute("NoConnWithoutPFW", secProfile, false);
}
bool AdminPrefs::getDisconnPFWDown() const {
  return mIniFile->getValueAsBoolForAttribute("DisconnPFWDown", secProfile, false);
}
bool AdminPrefs::getRemoveDUNentry() const {
  return mIniFile->getValueAsBoolForAttribute("RemoveDUNentry", secProfile, true);
}
std::string AdminPrefs::getProxyServer() const {
  return mIniFile->getValueAsStringForAttribute("ProxyServer", secProfile);
}
std::string AdminPrefs::getMessage() const {
  return mIniFile->getValueAsStringForAttribute("Message", secProfile);
}
bool AdminPrefs::getCachePassword() const {
  return mIniFile->getValueAsBoolForAttribute("CachePassword", secProfile, true);
}
bool AdminPrefs::getPostConnectSettable() const {
  return mIniFile->getValueAsBoolForAttribute("PostConnectSettable", secProfile, true);
}
int32_t AdminPrefs::getPBUpdateFrequency() const {
  return mIniFile->getValueAsIntForAttribute("PBUpdateFrequency", secProfile, 1);
}
int32_t AdminPrefs::getPBUpdateMaxFrequency() const {
  return mIniFile->getValueAsIntForAttribute("PBUpdateMaxFrequency", secProfile, 14);
}
bool AdminPrefs::getAskUpdateDialer() const {
  return mIniFile->getValueAsBoolForAttribute("AskUpdateDialer", secProfile, true);
}
bool AdminPrefs::getMigrateDialerVersionSettable() const {
  return mIniFile->getValueAsBoolForAttribute("MigrateDialerVersionSettable", secProfile, true);
}
uint32_t AdminPrefs::getIdleTimeout() const {
  return static_cast<uint32_t>(mIniFile->getCSVEntryAsIntForAttribute("IdleTimeout", 0, secProfile, 0));
}
uint32_t AdminPrefs::getIdleRespTime() const {
  return static_cast<uint32_t>(mIniFile->getCSVEntryAsIntForAttribute("IdleTimeout", 1, secProfile, 0));
}
uint32_t AdminPrefs::getIdleMinRate() const {
  return static_cast<uint32_t>(mIniFile->getCSVEntryAsIntForAttribute("IdleTimeout", 2, secProfile, 0));
}
bool AdminPrefs::getIdleTimeoutChangeable() const {
  return mIniFile->getValueAsBoolForAttribute("IdleTimeOutChangeable", secProfile, true);
}
int32_t AdminPrefs::getSecondsToWait4VpnExit() const {
  return mIniFile->getValueAsIntForAttribute("SecondsToWait4pnExit", secProfile, 2);
}
int32_t AdminPrefs::getSecondsToWait4Logoff() const {
  return mIniFile->getValueAsIntForAttribute("SecondsToWait4Logoff", secProfile, 10);
}
std::string AdminPrefs::getMonitorFirewallString() const {
  return mIniFile->getValueAsStringForAttribute("AppMonitorFirewall", secProfile);
}
std::string AdminPrefs::getMonitorVpnString() const {
  std::string v = mIniFile->getValueAsStringForAttribute("AppMonitorVPN", secProfile);
  if (v.size() <= 4) {
    return v;
  }
  const char* prefix = "yes,";
  for (int i = 0; i < 4; ++i) {
    if (lower(v[static_cast<size_t>(i)]) != prefix[i]) {
      return "";
    }
  }
  return v;
}
std::string AdminPrefs::getVLaunchString() const {
  return mIniFile->getValueAsStringForAttribute("VLaunch", secProfile);
}
bool AdminPrefs::usePrelogon() const {
  return mIniFile->getValueAsBoolForAttribute("UsePreLogon", secProfile, false);
}
bool AdminPrefs::getKeepZavroLocation() const {
  return mIniFile->getValueAsBoolForAttribute("KeepZavroLocation", secProfile, false);
}
bool AdminPrefs::getSendSqmBool() const {
  return mIniFile->getValueAsBoolForAttribute("SendSqm", secProfile, true);
}
bool AdminPrefs::getBBShowPrice() const {
  return mIniFile->getValueAsBoolForAttribute("BBShowPrice", secProfile, false);
}
bool AdminPrefs::getProxyZavroPop() const {
  return mIniFile->getValueAsBoolForAttribute("ProxyZavroPop", secProfile, false);
}
bool AdminPrefs::getProxyCustomerPop() const {
  return mIniFile->getValueAsBoolForAttribute("ProxyCustomerPop", secProfile, false);
}
uint32_t AdminPrefs::getFeatureSet() const {
  return mIniFile->getValueAsHexIntForAttribute("FeatureSet", secProfile, 0);
}
bool AdminPrefs::getHomeConnectWillExit() const {
  return mIniFile->getValueAsBoolForAttribute("HBExitAfterConnect", secProfile, true);
}
bool AdminPrefs::getHangUpOnSysExit() const {
  return mIniFile->getValueAsBoolForAttribute("HangUpOnSystemExit", secProfile, true);
}

// ---- Currency ----

std::string AdminPrefs::getDisplayCurrency() const {
  return mIniFile->getValueAsStringForAttribute("DisplayCurrency", secCurrency, "Price");
}
bool AdminPrefs::getApplyConversion() const {
  return mIniFile->getValueAsBoolForAttribute("ApplyConversion", secCurrency, false);
}
double AdminPrefs::getConversionRate() const {
  return mIniFile->getValueAsDoubleForAttribute("ConversionRate", secCurrency, 1.0);
}
std::string AdminPrefs::getBBDisplayCurrency() const {
  return mIniFile->getValueAsStringForAttribute("BBDisplayCurrency", secCurrency, "Price");
}
double AdminPrefs::getBBConvRate() const {
  return mIniFile->getValueAsDoubleForAttribute("BBConversionRate", secCurrency, 1.0);
}
bool AdminPrefs::getBBApplyConv() const {
  return mIniFile->getValueAsBoolForAttribute("BBApplyConversion", secCurrency, false);
}

// ---- Domain ----

std::string AdminPrefs::getAuthPrefix() const {
  return mIniFile->getValueAsStringForAttribute("AuthPrefix", secDomain);
}
std::vector<std::string> AdminPrefs::getDomainArr() const {
  return mIniFile->getValueAsArrayForAttributeSet("DomainName%d", secDomain);
}
std::string AdminPrefs::getDomain(int32_t index) const {
  auto family = getDomainArr();
  if (family.empty()) {
    return mIniFile->getValueAsStringForAttribute("DomainName", secDomain);
  }
  auto i = static_cast<uint32_t>(index);
  return i < family.size() ? family[i] : std::string();
}
bool AdminPrefs::getDomainEditable() const {
  return mIniFile->getValueAsBoolForAttribute("DomainEditable", secDomain, true);
}

// ---- Zavro ----

std::vector<std::string> AdminPrefs::getDnsArr() const {
  return mIniFile->getValueAsCSVArrayForAttribute("DNS", secZavro);
}
std::string AdminPrefs::getZavroPBUserID() const {
  return mIniFile->getValueAsStringForAttribute("PhonebookUserID", secZavro);
}
std::string AdminPrefs::getZavroPBPassword() const {
  return mIniFile->getValueAsStringForAttribute("PhonebookPassword", secZavro);
}
std::string AdminPrefs::getZavroAuthHeaderValue() const {
  return buildAuthHeaderValueForUser(getZavroPBUserID(), getZavroPBPassword());
}
std::string AdminPrefs::getZavroAuthHeader() const {
  return buildAuthHeaderForUser(getZavroPBUserID(), getZavroPBPassword());
}
std::vector<std::string> AdminPrefs::getZavroUrlArr() const {
  return mIniFile->getValueAsArrayForAttributeSet("PhonebookURL%d", secZavro);
}
std::string AdminPrefs::getSupportEmail() const {
  return mIniFile->getValueAsStringForAttribute("SupportEmail", secZavro, kDefaultSupportEmail);
}
std::string AdminPrefs::getSqmLoaderUrl() const {
  return mIniFile->getValueAsStringForAttribute("SqmLoaderURL", secZavro, kDefaultSqmLoaderURL);
}

// ---- ProjectCode ----

std::vector<std::string> AdminPrefs::getProjCodeArr() const {
  return mIniFile->getValueAsArrayForAttributeSet("ProjCode%d", secProjectCode);
}
std::string AdminPrefs::getProjCode(int32_t index) const {
  auto codes = getProjCodeArr();
  auto i = static_cast<uint32_t>(index);
  return i < codes.size() ? codes[i] : std::string();
}
bool AdminPrefs::getProjCodeEditable() const {
  return mIniFile->getValueAsBoolForAttribute("ProjCodeEditable", secProjectCode, true);
}

// ---- Actions ----

std::vector<std::vector<std::string>> AdminPrefs::getActionArr() const {
  return mIniFile->getValueAsCSVArrayForAttributeSet("Action%d", 0, secActions);
}
std::optional<std::vector<std::string>> AdminPrefs::getAction(int32_t index) const {
  auto actions = getActionArr();
  auto i = static_cast<uint32_t>(index);
  if (i >= actions.size()) {
    return std::nullopt;
  }
  return actions[i];
}

// ---- raspref.ini ----

bool AdminPrefs::getUseSpecificDNS() const {
  return mRasIni->getValueAsBoolForAttribute("FlagSpecificNameServers", secZavro, false);
}
std::string AdminPrefs::getDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDns", secZavro, "0.0.0.0");
}
std::string AdminPrefs::getAltDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDnsAlt", secZavro, "0.0.0.0");
}
std::string AdminPrefs::getLoginFormat() const {
  return mRasIni->getValueAsStringForAttribute("LoginFormat", secZavro, "%p%a%u@%d%s");
}

bool AdminPrefs::getCustomerUseSpecificDNS() const {
  return mRasIni->getValueAsBoolForAttribute("FlagSpecificNameServers", secCustomer, false);
}
std::string AdminPrefs::getCustomerDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDns", secCustomer, "0.0.0.0");
}
std::string AdminPrefs::getCustomerAltDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDnsAlt", secCustomer, "0.0.0.0");
}
std::string AdminPrefs::getCustomerLoginFormat() const {
  return mRasIni->getValueAsStringForAttribute("LoginFormat", secCustomer, "%p%u%s");
}
bool AdminPrefs::getCustomerUseNTDomain() const {
  return mRasIni->getValueAsBoolForAttribute("UseNTDomain", secCustomer, false);
}
bool AdminPrefs::getCustomerUseVpn() const {
  return mRasIni->getValueAsBoolForAttribute("UseVpnCustPop", secCustomer, false);
}
std::string AdminPrefs::getCustomerNTDomain() const {
  return mRasIni->getValueAsStringForAttribute("NTDomain", secCustomer);
}

bool AdminPrefs::getVpnUseSpecificDNS() const {
  return mRasIni->getValueAsBoolForAttribute("FlagSpecificNameServers", secVpn, false);
}
std::string AdminPrefs::getVpnDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDns", secVpn, "0.0.0.0");
}
std::string AdminPrefs::getVpnAltDNSIPAddr() const {
  return mRasIni->getValueAsStringForAttribute("IpAddrDnsAlt", secVpn, "0.0.0.0");
}
bool AdminPrefs::getVpnEnabled() const {
  return mRasIni->getValueAsBoolForAttribute("Enabled", secVpn, false);
}
bool AdminPrefs::getVpnSameUserInfo() const {
  return mRasIni->getValueAsBoolForAttribute("SameUserInfo", secVpn, true);
}
bool AdminPrefs::getVpnAllowSavePassword() const {
  return mRasIni->getValueAsBoolForAttribute("AllowSavePassword", secVpn, true);
}
std::string AdminPrefs::getVpnServerIP() const {
  return mRasIni->getValueAsStringForAttribute("ServerIp", secVpn);
}
std::string AdminPrefs::getVpnDomain() const {
  return mRasIni->getValueAsStringForAttribute("Domain", secVpn);
}
bool AdminPrefs::getVpnDomainEditable() const {
  return mRasIni->getValueAsBoolForAttribute("DomainEditable", secVpn, true);
}
int32_t AdminPrefs::getVpnConnectDelay() const {
  return mRasIni->getValueAsIntForAttribute("ConnectDelay", secVpn, 7);
}
int32_t AdminPrefs::getVpnDisconnectDelay() const {
  return mRasIni->getValueAsIntForAttribute("DisconnectDelay", secVpn, 0);
}

// ---- not from files ----

std::string AdminPrefs::getDialerVersion() const {
  return std::string("\"ZVC Mac ") + ZAVRO_DIALER_VERSION + "\"";
}

uint32_t AdminPrefs::zavroLanguageForLocale(std::string_view locale) {
  // "ll[_RR][.codeset][@modifier]"; only the language and, for Chinese, the region or script matter.
  std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
  std::string lang;
  for (char c : language) lang += lower(c);
  if (lang == "fr") return 2;
  if (lang == "es") return 4;
  if (lang == "ja") return 16;
  if (lang == "de") return 64;
  if (lang == "it") return 128;
  if (lang == "pt") return 256;
  if (lang == "zh") {
    std::string rest;
    for (char c : locale.substr(language.size())) rest += lower(c);
    bool traditional = rest.rfind("_tw", 0) == 0 || rest.rfind("_hk", 0) == 0 || rest.rfind("_mo", 0) == 0 ||
                       rest.find("hant") != std::string::npos;
    return traditional ? 32 : 8;
  }
  return 1;
}

uint32_t AdminPrefs::getCurrentZavroLanguage() {
  static const uint32_t language = [] {
    // The locale category that chooses the language of messages, as the C library resolves it.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value != nullptr && *value != '\0') {
        return zavroLanguageForLocale(value);
      }
    }
    return 1u;
  }();
  return language;
}

// ---- authorization ----

std::string AdminPrefs::buildAuthHeaderValueForUser(const std::string& scrambledUser,
                                                    const std::string& scrambledPassword) {
  if (scrambledUser.empty() || scrambledPassword.empty()) {
    return "";
  }
  std::string user = upToZero(zavroDecrypt(cString255(scrambledUser), kCredentialKey));
  std::string password = upToZero(zavroDecrypt(cString255(scrambledPassword), kCredentialKey));
  if (user.size() > 256) user.resize(256);
  if (password.size() > 256) password.resize(256);
  return "Basic " + base64Encode(user + ":" + password);
}

std::string AdminPrefs::buildAuthHeaderForUser(const std::string& scrambledUser, const std::string& scrambledPassword) {
  return "Authorization: " + buildAuthHeaderValueForUser(scrambledUser, scrambledPassword);
}

}  // namespace zavro
