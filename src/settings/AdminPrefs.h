// The administrator's configuration (config.ini and raspref.ini): named getters, each with its default.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/IniFile.h"

namespace zavro {

// Read-only after load(); no getter fails: a missing file, section or key gives the getter's default.
// Shared by the main, connection and update threads once made.
//
// Defaults chosen for this service: "SupportEmail" kDefaultSupportEmail and "SqmLoaderURL"
// kDefaultSqmLoaderURL (host name and path, no scheme). Both lie in the reserved .example domain, so
// an installation whose config.ini lacks them reaches nobody by accident.
class AdminPrefs {
 public:
  static constexpr const char* kDefaultSupportEmail = "support@zavroconnect.example";
  static constexpr const char* kDefaultSqmLoaderURL = "sqm.zavroconnect.example/servlets/loader";
  // Key of the scrambled phonebook-server credentials.
  static constexpr const char* kCredentialKey = "Qv7&Lm2;Xe9^Tn4!";
  // This client's operating-system bit in version records.
  static constexpr uint32_t kZavroOS = 0x1000;

  // Made on first call (init, then load from the configuration folder); one per process.
  static std::shared_ptr<AdminPrefs> adminPrefs();

  AdminPrefs();  // section names only, empty readers
  // Reads config.ini and raspref.ini of the configuration folder; true when both readers exist
  // (always: a missing file is an empty reader).
  bool load();
  // The same from given readers (tests, and tools that read another folder).
  void setFiles(std::shared_ptr<IniFile> config, std::shared_ptr<IniFile> raspref);

  // ---- config.ini, "Profile" ----
  uint32_t getTabSelect() const;            // 15; 0 also gives 15
  uint32_t getWirelessAccessTypes() const;  // 0x70; 0 also gives 0x70
  uint32_t getWiredAccessTypes() const;     // 8; 0 also gives 8
  int32_t getCustPopSort() const;           // -1 for "", F..., f..., 0...; otherwise 0
  int32_t getCustomerID() const;
  int32_t getProfileID() const;
  int32_t getPhonebookID() const;
  int32_t getConnectionTimeout() const;      // element 0; 0
  int32_t getConnectionTimeoutResp() const;  // element 1; 1
  std::string getAppName() const;            // "ZavroConnect"
  std::string getCustPBUserID() const;       // scrambled, as stored
  std::string getCustPBPassword() const;     // scrambled, as stored
  std::string getCustAuthHeaderValue() const;
  std::string getCustAuthHeader() const;
  std::vector<std::string> getCustUrlArr() const;
  int32_t getPBServer() const;  // 3
  bool getAllowSavePassword() const;
  std::string getCustomPBKfile() const;
  bool getShowPrice() const;
  bool getAutoUpdatePB() const;
  bool getAllowChangeAutoUpdatePB() const;
  bool getSmartRedial() const;
  bool getSmartRedialSettable() const;
  bool getStartBrowser() const;
  bool getStartBrowserSettable() const;
  int32_t getDialTimeout() const;  // 120
  bool getDialTimeoutSettable() const;
  int32_t getRedialAttempts() const;  // 1; 0 also gives 1
  bool getRedialAttemptsSettable() const;
  bool getHideDomain() const;
  bool getShowProjCode() const;
  bool getNoConnWithoutPFW() const;
  bool getDisconnPFWDown() const;
  bool getRemoveDUNentry() const;
  std::string getProxyServer() const;
  std::string getMessage() const;
  bool getCachePassword() const;
  bool getPostConnectSettable() const;
  int32_t getPBUpdateFrequency() const;     // 1
  int32_t getPBUpdateMaxFrequency() const;  // 14
  bool getAskUpdateDialer() const;
  bool getMigrateDialerVersionSettable() const;
  uint32_t getIdleTimeout() const;   // element 0 of "IdleTimeout"
  uint32_t getIdleRespTime() const;  // element 1
  uint32_t getIdleMinRate() const;   // element 2
  bool getIdleTimeoutChangeable() const;
  int32_t getSecondsToWait4VpnExit() const;  // 2
  int32_t getSecondsToWait4Logoff() const;   // 10
  std::string getMonitorFirewallString() const;
  // Longer than 4 characters: whole when it starts with "yes," (any case), else "". Shorter: as read.
  std::string getMonitorVpnString() const;
  std::string getVLaunchString() const;
  bool usePrelogon() const;
  bool getKeepZavroLocation() const;
  bool getSendSqmBool() const;
  bool getBBShowPrice() const;
  bool getProxyZavroPop() const;
  bool getProxyCustomerPop() const;
  uint32_t getFeatureSet() const;
  bool getHomeConnectWillExit() const;
  bool getHangUpOnSysExit() const;

  // ---- config.ini, "Currency" ----
  std::string getDisplayCurrency() const;  // "Price"
  bool getApplyConversion() const;
  double getConversionRate() const;          // 1.0
  std::string getBBDisplayCurrency() const;  // "Price"
  double getBBConvRate() const;              // 1.0
  bool getBBApplyConv() const;

  // ---- config.ini, "Domain" ----
  std::string getAuthPrefix() const;
  std::vector<std::string> getDomainArr() const;
  // With a "DomainName%d" family: its element at `index` (as unsigned) or "" past the end. Without
  // one: the plain "DomainName", whatever the index.
  std::string getDomain(int32_t index) const;
  bool getDomainEditable() const;

  // ---- config.ini, "Zavro" ----
  std::vector<std::string> getDnsArr() const;
  std::string getZavroPBUserID() const;
  std::string getZavroPBPassword() const;
  std::string getZavroAuthHeaderValue() const;
  std::string getZavroAuthHeader() const;
  std::vector<std::string> getZavroUrlArr() const;
  std::string getSupportEmail() const;
  std::string getSqmLoaderUrl() const;

  // ---- config.ini, "ProjectCode" ----
  std::vector<std::string> getProjCodeArr() const;
  std::string getProjCode(int32_t index) const;  // "" past the end
  bool getProjCodeEditable() const;

  // ---- config.ini, "Actions" ----
  // "Action0", "Action1", ... up to the first gap, each split as a comma-separated list.
  std::vector<std::vector<std::string>> getActionArr() const;
  std::optional<std::vector<std::string>> getAction(int32_t index) const;  // nullopt past the end

  // ---- raspref.ini, "Zavro" ----
  bool getUseSpecificDNS() const;
  std::string getDNSIPAddr() const;     // "0.0.0.0"
  std::string getAltDNSIPAddr() const;  // "0.0.0.0"
  std::string getLoginFormat() const;   // "%p%a%u@%d%s"

  // ---- raspref.ini, "customer" ----
  bool getCustomerUseSpecificDNS() const;
  std::string getCustomerDNSIPAddr() const;
  std::string getCustomerAltDNSIPAddr() const;
  std::string getCustomerLoginFormat() const;  // "%p%u%s"
  bool getCustomerUseNTDomain() const;
  bool getCustomerUseVpn() const;
  std::string getCustomerNTDomain() const;

  // ---- raspref.ini, "Vpn" ----
  bool getVpnUseSpecificDNS() const;
  std::string getVpnDNSIPAddr() const;
  std::string getVpnAltDNSIPAddr() const;
  bool getVpnEnabled() const;
  bool getVpnSameUserInfo() const;
  bool getVpnAllowSavePassword() const;
  std::string getVpnServerIP() const;
  std::string getVpnDomain() const;
  bool getVpnDomainEditable() const;
  int32_t getVpnConnectDelay() const;  // 7
  int32_t getVpnDisconnectDelay() const;

  // ---- not from files ----
  // "\"ZVC Mac <version>\"", the quotes included, with this build's version.
  std::string getDialerVersion() const;
  static uint32_t getCurrentZavroOS() { return kZavroOS; }
  // The language bit of this session's locale, worked out on the first call and kept.
  static uint32_t getCurrentZavroLanguage();
  // The language bit of a locale name such as "fr_CA.UTF-8" or "zh_TW": French 2, Spanish 4,
  // simplified Chinese 8, Japanese 16, traditional Chinese 32, German 64, Italian 128, Portuguese
  // 256; "C", "POSIX", empty and every other language 1 (English).
  static uint32_t zavroLanguageForLocale(std::string_view locale);
  void setIdleTimeoutOff() {}

  // "Basic <base64 of user:password>" of the two scrambled texts; "" when either is empty.
  static std::string buildAuthHeaderValueForUser(const std::string& scrambledUser,
                                                 const std::string& scrambledPassword);
  // "Authorization: " followed by that value.
  static std::string buildAuthHeaderForUser(const std::string& scrambledUser, const std::string& scrambledPassword);

  const IniFile& iniFile() const { return *mIniFile; }
  const IniFile& rasIni() const { return *mRasIni; }

 private:
  std::shared_ptr<IniFile> mIniFile;
  std::shared_ptr<IniFile> mRasIni;
  std::string secProfile;
  std::string secCurrency;
  std::string secDomain;
  std::string secZavro;
  std::string secProjectCode;
  std::string secActions;
  std::string secCustomer;
  std::string secVpn;
};

}  // namespace zavro
