// The user's settings: defaults and administrator locks applied at start, the login password in the
// credential store, the scrambled VPN password, and the final save at exit.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "settings/Preferences.h"

namespace zavro {

class AdminPrefs;
class CredentialStore;

// Section names.
inline constexpr const char ZavroSecConnect[] = "Connect";
inline constexpr const char ZavroSecPrefix[] = "Prefix";
inline constexpr const char ZavroSecLogin[] = "Login";
inline constexpr const char ZavroSecVPN[] = "VPN";
inline constexpr const char ZavroSecActions[] = "Actions";
inline constexpr const char ZavroSecCallingCards[] = "CallingCards";
inline constexpr const char ZavroSecBookmarks[] = "Bookmarks";
inline constexpr const char ZavroSecGeneral[] = "General";
inline constexpr const char ZavroSecModem[] = "Modem";
inline constexpr const char ZavroSecPhs[] = "Phs";
inline constexpr const char ZavroSecISDN[] = "ISDN";
inline constexpr const char ZavroSecBBWireless[] = "BB_Wireless";
inline constexpr const char ZavroSecBBWired[] = "BB_Wired";
inline constexpr const char ZavroSecMain[] = "Main";
inline constexpr const char ZavroSecTest[] = "Test";

// Key names.
inline constexpr const char ZavroKeyDialTimeout[] = "DialTimeout";
inline constexpr const char ZavroKeyRedialAttempts[] = "RedialAttempts";
inline constexpr const char ZavroKeyDevice[] = "Device";
inline constexpr const char ZavroKeyDeviceType[] = "DeviceType";
inline constexpr const char ZavroKeyDeviceScript[] = "DeviceScript";
inline constexpr const char ZavroKeyStartBrowser[] = "StartBrowser";
inline constexpr const char ZavroKeyUpdatePB[] = "AutoUpdatePhonebook";
inline constexpr const char ZavroKeyPauseBtwnDial[] = "PauseBetweenDial";
inline constexpr const char ZavroKeySmartRedial[] = "SmartRedial";
inline constexpr const char ZavroKeyWaitToDial[] = "WaitToDial";
inline constexpr const char ZavroKeyFollow[] = "Follow";
inline constexpr const char ZavroKeyCallType[] = "CallType";
inline constexpr const char ZavroKeyTonePulse[] = "TonePulse";
inline constexpr const char ZavroKeyAccess[] = "Access";
inline constexpr const char ZavroKeyDisableCW[] = "DisableCallWaiting";
inline constexpr const char ZavroKeyCallWaiting[] = "CallWaiting";
inline constexpr const char ZavroKeyUseCC[] = "UseCallingCard";
inline constexpr const char ZavroKeyCallingCard[] = "CallingCard";
inline constexpr const char ZavroKeyFromCountry[] = "FromCountryCode";
inline constexpr const char ZavroKeyFromAreaCode[] = "FromAreaCode";
inline constexpr const char ZavroKeyUserName[] = "UserName";
inline constexpr const char ZavroKeyDomain[] = "Domain";
inline constexpr const char ZavroKeyNTDomain[] = "NTDomain";
inline constexpr const char ZavroKeyPassword[] = "Password";
inline constexpr const char ZavroKeySavePassword[] = "SavePassword";
inline constexpr const char ZavroKeyProjCode[] = "ProjectCode";
inline constexpr const char ZavroKeyUsePreLogon[] = "UsePreLogon";
inline constexpr const char ZavroKeyUseExistingEntry[] = "UseExistingEntry";
inline constexpr const char ZavroKeyArray[] = "Array";
inline constexpr const char ZavroKeyShortcut[] = "CreateShortcut";
inline constexpr const char ZavroKeyPrefTab[] = "PreferenceTab";
inline constexpr const char ZavroKeyWindowTab[] = "WindowTab";
inline constexpr const char ZavroKeyLastUpdate[] = "LastUpdate";
inline constexpr const char ZavroKeyLastPhonebookUpdate[] = "LastPhonebookUpdate";
inline constexpr const char ZavroKeyDialerLanguage[] = "DialerLanguage";
inline constexpr const char ZavroKeyMedia[] = "MediaType";
inline constexpr const char ZavroKeyCountry[] = "Country";
inline constexpr const char ZavroKeyRegion[] = "Region";
inline constexpr const char ZavroKeyCity[] = "City";
inline constexpr const char ZavroKeyAreaCode[] = "AreaCode";
inline constexpr const char ZavroKeyPrimaryDNS[] = "PrimaryDNS";
inline constexpr const char ZavroKeySecondaryDNS[] = "SecondaryDNS";
inline constexpr const char ZavroKeySelPOP[] = "SelectedPop";
inline constexpr const char ZavroKeyLanguage[] = "Language";
inline constexpr const char ZavroKeyActivePage[] = "ActivePageIndex";
inline constexpr const char ZavroKeyWLPOPCountry[] = "WirelessPopCountry";
inline constexpr const char ZavroKeyWLPOPRegion[] = "WirelessPopRegion";
inline constexpr const char ZavroKeyWLPOPCity[] = "WirelessPopCity";
inline constexpr const char ZavroKeyWLPOPSel[] = "SelectedWirelessPop";
inline constexpr const char ZavroKeyConnectionDuration[] = "ConnectionDuration";

// The one concrete sectional store. Construction runs the start-up sequence: load the user's sections,
// register the defaults (several from the administrator configuration) and, where the administrator
// has locked a setting, overwrite the user's value with the administrator's. Nothing reaches the disk
// before applicationWillTerminate().
//
// Threads: the settings are guarded by the store's lock; the login-password members (cache and
// credential store) are meant for one thread at a time, as the login and preferences windows and the
// connection code use them in turn.
class UserPrefs : public Preferences {
 public:
  // Service name of the login password's credential-store item.
  static constexpr const char* kCredentialService = "ZavroConnect";
  // Key of the two scrambled passwords kept in the preferences.
  static constexpr const char* kPasswordKey = "Wibbelo572";

  // Made on first call from the standard domain, AdminPrefs::adminPrefs() and
  // CredentialStore::systemStore() (asked for on the first password operation); one per process.
  static std::shared_ptr<UserPrefs> userPrefs();
  // The process-wide instance if one has been made, else null (the final save uses this, so a tool
  // that never touched the settings does not write them).
  static std::shared_ptr<UserPrefs> existingUserPrefs();

  // Tests and tools pass their own parts; a null credential store means CredentialStore::systemStore().
  UserPrefs(std::shared_ptr<PersistentDomain> domain, std::shared_ptr<const AdminPrefs> admin,
            std::shared_ptr<CredentialStore> credentials = nullptr);
  ~UserPrefs() override;

  const AdminPrefs& admin() const { return *mAdmin; }

  // ---- Connect ----
  int32_t redialAttempts() const;  // a stored 0 reads as 1
  void setRedialAttempts(int32_t value);
  int32_t dialTimeout() const;
  void setDialTimeout(int32_t seconds);
  std::string dialDevice() const;
  void setDialDevice(const std::string& value);
  std::string dialDeviceType() const;
  void setDialDeviceType(const std::string& value);
  std::string dialDeviceScript() const;
  void setDialDeviceScript(const std::string& value);
  bool startBrowser() const;
  void setStartBrowser(bool value);
  bool updatePhonebook() const;
  void setUpdatePhonebook(bool value);
  int32_t pauseBetweenDial() const;
  void setPauseBetweenDial(int32_t seconds);
  bool smartRedial() const;
  void setSmartRedial(bool value);
  bool waitToDial() const;
  void setWaitToDial(bool value);

  // ---- Prefix ----
  bool follow() const;
  void setFollow(bool value);
  int32_t callType() const;
  void setCallType(int32_t value);
  int32_t tonePulse() const;
  void setTonePulse(int32_t value);
  std::string lineAccess() const;
  void setLineAccess(const std::string& value);
  bool disableCallWaiting() const;
  void setDisableCallWaiting(bool value);
  std::string callWaiting() const;
  void setCallWaiting(const std::string& value);
  bool useCallingCard() const;
  void setUseCallingCard(bool value);
  int32_t callingCard() const;
  void setCallingCard(int32_t value);
  std::string fromCountry() const;
  void setFromCountry(const std::string& value);
  std::string fromAreaCode() const;
  void setFromAreaCode(const std::string& value);

  // ---- Login ----
  std::string userName() const;
  void setUserName(const std::string& value);
  std::string domain() const;
  void setDomain(const std::string& value);
  std::string NTDomain() const;
  void setNTDomain(const std::string& value);
  bool savePassword() const;
  // Off deletes the credential-store item of the current user name at once.
  void setSavePassword(bool value);
  std::string projectCode() const;
  void setProjectCode(const std::string& value);
  bool usePreLogon() const;
  void setUsePreLogon(bool value);
  // The login password: this run's cached value, else the credential store's item for the user name,
  // else the legacy scrambled copy in the preferences (moved into the credential store). "" when
  // unknown, in which case the next call asks again.
  std::string password();
  // Stores the user name and puts the password into the credential store (added or replaced). Both
  // must be non-empty and at most 255 bytes, else nothing is stored. The password is cached either way.
  void setUserName(const std::string& user, const std::string& password);

  // ---- VPN ----
  std::string VPNUserName() const;
  void setVPNUserName(const std::string& value);
  std::string VPNDomain() const;
  void setVPNDomain(const std::string& value);
  std::string VPNPassword() const;  // unscrambled
  void setVPNPassword(const std::string& value);
  bool saveVPNPassword() const;
  void setSaveVPNPassword(bool value);
  bool useExistingVPNEntry() const;
  void setUseExistingVPNEntry(bool value);

  // ---- Actions, calling cards, bookmarks ----
  Array actions() const;
  void setActions(const Array& value);
  Array callingCards() const;
  void setCallingCards(const Array& value);
  bool shortcut() const;
  void setShortcut(bool value);
  Array bookmarks() const;
  void setBookmarks(const Array& value);

  // ---- General ----
  std::optional<std::string> windowTab() const;
  void setWindowTab(const std::string& value);
  std::optional<std::string> prefTab() const;
  void setPrefTab(const std::string& value);
  // Seconds since 2001-01-01 00:00:00 UTC; nullopt when never set.
  std::optional<double> lastUpdate() const;
  void setLastUpdate(double secondsSince2001);
  std::optional<double> lastPhonebookUpdate() const;
  void setLastPhonebookUpdate(double secondsSince2001);
  std::string dialerLanguage() const;
  void setDialerLanguage(const std::string& value);
  std::string osLanguage() const { return ""; }

  // ---- media sections ("Modem", "Phs", "ISDN", "BB_Wireless", "BB_Wired") ----
  std::optional<std::string> mediaTypeInSection(const std::string& section) const;
  void setMediaType(const std::string& value, const std::string& section);
  std::string countryInSection(const std::string& section) const;
  void setCountry(const std::string& value, const std::string& section);
  std::string regionInSection(const std::string& section) const;
  void setRegion(const std::string& value, const std::string& section);
  std::string cityInSection(const std::string& section) const;
  void setCity(const std::string& value, const std::string& section);
  std::string areaCodeInSection(const std::string& section) const;
  void setAreaCode(const std::string& value, const std::string& section);
  std::optional<std::string> primaryDNSInSection(const std::string& section) const;
  void setPrimaryDNS(const std::string& value, const std::string& section);
  std::optional<std::string> secondaryDNSInSection(const std::string& section) const;
  void setSecondaryDNS(const std::string& value, const std::string& section);
  std::string selectedPOPInSection(const std::string& section) const;
  void setSelectedPOP(const std::string& value, const std::string& section);
  std::optional<std::string> languageInSection(const std::string& section) const;
  void setLanguage(const std::string& value, const std::string& section);
  int32_t activePageInSection(const std::string& section) const;
  void setActivePage(int32_t value, const std::string& section);

  // ---- BB_Wireless ----
  std::optional<std::string> wirelessCountry() const;
  void setWirelessCountry(const std::string& value);
  std::optional<std::string> wirelessRegion() const;
  void setWirelessRegion(const std::string& value);
  std::optional<std::string> wirelessCity() const;
  void setWirelessCity(const std::string& value);
  std::optional<std::string> selectedWirelessPOP() const;
  void setSelectedWirelessPOP(const std::string& value);

  // The final save, at exit and on SIGTERM/SIGHUP (see settings/FinalSave.h): drops the saved
  // passwords the user or the administrator does not want kept, then writes the preferences. Returns
  // whether the write succeeded.
  bool applicationWillTerminate();

  // The credential store in use (made on first need).
  std::shared_ptr<CredentialStore> credentialStore();

 private:
  void registerDefaults();
  // setUserName(user, password) without the cache; true when the credential store now holds it.
  bool storePassword(const std::string& user, const std::string& password);
  std::string stringOrEmpty(const char* key, const std::string& section) const;

  std::shared_ptr<const AdminPrefs> mAdmin;
  std::shared_ptr<CredentialStore> mCredentials;
  std::string cachedPassword;
};

}  // namespace zavro
