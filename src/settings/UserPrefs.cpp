// UserPrefs: the start-up sequence, the accessors, the two passwords and the final save.
#include "settings/UserPrefs.h"

#include "common/IniFile.h"
#include "common/ZavroEncryptedData.h"
#include "platform/CredentialStore.h"
#include "runtime/ProcessWide.h"
#include "settings/AdminPrefs.h"

namespace zavro {

namespace {

std::mutex gExistingMutex;
std::weak_ptr<UserPrefs> gExisting;

constexpr size_t kMaxCredentialBytes = 255;

// The credential store takes names and passwords of at most 255 bytes; a longer one is treated as empty.
std::string credentialField(const std::string& text) {
  return text.size() <= kMaxCredentialBytes ? text : "";
}

std::string upToZero(std::string text) {
  auto zero = text.find('\0');
  if (zero != std::string::npos) {
    text.resize(zero);
  }
  return text;
}

const char* const kMediaSections[] = {ZavroSecModem, ZavroSecPhs, ZavroSecISDN, ZavroSecBBWireless, ZavroSecBBWired};

}  // namespace

std::shared_ptr<UserPrefs> UserPrefs::userPrefs() {
  static ProcessWide<UserPrefs> instance([] {
    auto prefs = std::make_shared<UserPrefs>(PersistentDomain::standardDomain(), AdminPrefs::adminPrefs());
    std::lock_guard lock(gExistingMutex);
    gExisting = prefs;
    return prefs;
  });
  return instance.get();
}

std::shared_ptr<UserPrefs> UserPrefs::existingUserPrefs() {
  std::lock_guard lock(gExistingMutex);
  return gExisting.lock();
}

UserPrefs::UserPrefs(std::shared_ptr<PersistentDomain> domain, std::shared_ptr<const AdminPrefs> admin,
                     std::shared_ptr<CredentialStore> credentials)
    : Preferences(std::move(domain)),
      mAdmin(admin ? std::move(admin) : std::make_shared<const AdminPrefs>()),
      mCredentials(std::move(credentials)) {
  registerDefaults();
}

UserPrefs::~UserPrefs() = default;

std::shared_ptr<CredentialStore> UserPrefs::credentialStore() {
  if (!mCredentials) {
    mCredentials = CredentialStore::systemStore();
  }
  return mCredentials;
}

void UserPrefs::registerDefaults() {
  const AdminPrefs& admin = *mAdmin;

  // Connect: each administrator-derived default is forced onto the user's value when it is locked.
  setDefaultInteger(admin.getRedialAttempts(), ZavroKeyRedialAttempts, ZavroSecConnect);
  if (!admin.getRedialAttemptsSettable()) setRedialAttempts(admin.getRedialAttempts());
  setDefaultInteger(admin.getDialTimeout(), ZavroKeyDialTimeout, ZavroSecConnect);
  if (!admin.getDialTimeoutSettable()) setDialTimeout(admin.getDialTimeout());
  setDefaultObject(PropertyList(""), ZavroKeyDevice, ZavroSecConnect);
  setDefaultObject(PropertyList(""), ZavroKeyDeviceType, ZavroSecConnect);
  setDefaultObject(PropertyList(""), ZavroKeyDeviceScript, ZavroSecConnect);
  setDefaultBool(admin.getStartBrowser(), ZavroKeyStartBrowser, ZavroSecConnect);
  if (!admin.getStartBrowserSettable()) setStartBrowser(admin.getStartBrowser());
  setDefaultBool(admin.getAutoUpdatePB(), ZavroKeyUpdatePB, ZavroSecConnect);
  if (!admin.getAllowChangeAutoUpdatePB()) setUpdatePhonebook(admin.getAutoUpdatePB());
  setDefaultInteger(8, ZavroKeyPauseBtwnDial, ZavroSecConnect);
  setDefaultBool(admin.getSmartRedial(), ZavroKeySmartRedial, ZavroSecConnect);
  if (!admin.getSmartRedialSettable()) setSmartRedial(admin.getSmartRedial());
  setDefaultBool(true, ZavroKeyWaitToDial, ZavroSecConnect);

  // Prefix: the dialing rules and bookmarks read this section as a whole map without defaults, so
  // every key is written into the user's own map.
  setDefaultBool(true, ZavroKeyFollow, ZavroSecPrefix);
  setDefaultInteger(0, ZavroKeyCallType, ZavroSecPrefix);
  setDefaultInteger(0, ZavroKeyTonePulse, ZavroSecPrefix);
  setDefaultObject(PropertyList(""), ZavroKeyAccess, ZavroSecPrefix);
  setDefaultBool(false, ZavroKeyDisableCW, ZavroSecPrefix);
  setDefaultObject(PropertyList(""), ZavroKeyCallWaiting, ZavroSecPrefix);
  setDefaultBool(false, ZavroKeyUseCC, ZavroSecPrefix);
  setDefaultObject(PropertyList("US"), ZavroKeyFromCountry, ZavroSecPrefix);
  setDefaultObject(PropertyList(""), ZavroKeyFromAreaCode, ZavroSecPrefix);
  setFollow(follow());
  setCallType(callType());
  setTonePulse(tonePulse());
  setLineAccess(lineAccess());
  setDisableCallWaiting(disableCallWaiting());
  setCallWaiting(callWaiting());
  setUseCallingCard(useCallingCard());
  setCallingCard(callingCard());
  setFromCountry(fromCountry());
  setFromAreaCode(fromAreaCode());

  // Login
  setDefaultObject(PropertyList(""), ZavroKeyUserName, ZavroSecLogin);
  setDefaultObject(PropertyList(admin.getDomain(0)), ZavroKeyDomain, ZavroSecLogin);
  if (!admin.getDomainEditable()) setDomain(admin.getDomain(0));
  if (admin.getCustomerUseNTDomain()) {
    setDefaultObject(PropertyList(admin.getCustomerNTDomain()), ZavroKeyNTDomain, ZavroSecLogin);
  } else {
    setDefaultObject(PropertyList(""), ZavroKeyNTDomain, ZavroSecLogin);
    setNTDomain("");
  }
  setDefaultObject(PropertyList(""), ZavroKeyPassword, ZavroSecLogin);
  setDefaultBool(false, ZavroKeySavePassword, ZavroSecLogin);
  setDefaultObject(PropertyList(admin.getProjCode(0)), ZavroKeyProjCode, ZavroSecLogin);
  setDefaultBool(true, ZavroKeyUsePreLogon, ZavroSecLogin);

  // VPN
  setDefaultObject(PropertyList(""), ZavroKeyUserName, ZavroSecVPN);
  setDefaultObject(PropertyList(admin.getVpnDomain()), ZavroKeyDomain, ZavroSecVPN);
  if (!admin.getVpnDomainEditable()) setVPNDomain(admin.getVpnDomain());
  setDefaultObject(PropertyList(""), ZavroKeyPassword, ZavroSecVPN);
  setDefaultBool(false, ZavroKeySavePassword, ZavroSecVPN);
  setDefaultBool(false, ZavroKeyUseExistingEntry, ZavroSecVPN);

  // Actions: a configuration that does not let users set post-connect actions erases theirs.
  auto storedActions = arrayForKey(ZavroKeyArray, ZavroSecActions);
  setActions(storedActions && admin.getPostConnectSettable() ? *storedActions : Array{});

  auto storedCards = arrayForKey(ZavroKeyArray, ZavroSecCallingCards);
  setCallingCards(storedCards ? *storedCards : Array{});

  setDefaultBool(false, ZavroKeyShortcut, ZavroSecBookmarks);
  auto storedBookmarks = arrayForKey(ZavroKeyArray, ZavroSecBookmarks);
  setBookmarks(storedBookmarks ? *storedBookmarks : Array{});

  setDialerLanguage("");

  for (const char* section : kMediaSections) {
    setDefaultObject(PropertyList(""), ZavroKeyCountry, section);
    setDefaultObject(PropertyList(""), ZavroKeyRegion, section);
    setDefaultObject(PropertyList(""), ZavroKeyCity, section);
    setDefaultObject(PropertyList(""), ZavroKeyAreaCode, section);
    setDefaultObject(PropertyList(""), ZavroKeySelPOP, section);
  }

  setDefaultInteger(0, ZavroKeyConnectionDuration, ZavroSecTest);
}

std::string UserPrefs::stringOrEmpty(const char* key, const std::string& section) const {
  return stringForKey(key, section).value_or("");
}

// ---- Connect ----

int32_t UserPrefs::redialAttempts() const {
  int32_t v = integerForKey(ZavroKeyRedialAttempts, ZavroSecConnect);
  return v == 0 ? 1 : v;
}
void UserPrefs::setRedialAttempts(int32_t value) {
  setInteger(value, ZavroKeyRedialAttempts, ZavroSecConnect);
}
int32_t UserPrefs::dialTimeout() const {
  return integerForKey(ZavroKeyDialTimeout, ZavroSecConnect);
}
void UserPrefs::setDialTimeout(int32_t seconds) {
  setInteger(seconds, ZavroKeyDialTimeout, ZavroSecConnect);
}
std::string UserPrefs::dialDevice() const {
  return stringOrEmpty(ZavroKeyDevice, ZavroSecConnect);
}
void UserPrefs::setDialDevice(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDevice, ZavroSecConnect);
}
std::string UserPrefs::dialDeviceType() const {
  return stringOrEmpty(ZavroKeyDeviceType, ZavroSecConnect);
}
void UserPrefs::setDialDeviceType(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDeviceType, ZavroSecConnect);
}
std::string UserPrefs::dialDeviceScript() const {
  return stringOrEmpty(ZavroKeyDeviceScript, ZavroSecConnect);
}
void UserPrefs::setDialDeviceScript(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDeviceScript, ZavroSecConnect);
}
bool UserPrefs::startBrowser() const {
  return boolForKey(ZavroKeyStartBrowser, ZavroSecConnect);
}
void UserPrefs::setStartBrowser(bool value) {
  setBool(value, ZavroKeyStartBrowser, ZavroSecConnect);
}
bool UserPrefs::updatePhonebook() const {
  return boolForKey(ZavroKeyUpdatePB, ZavroSecConnect);
}
void UserPrefs::setUpdatePhonebook(bool value) {
  setBool(value, ZavroKeyUpdatePB, ZavroSecConnect);
}
int32_t UserPrefs::pauseBetweenDial() const {
  return integerForKey(ZavroKeyPauseBtwnDial, ZavroSecConnect);
}
void UserPrefs::setPauseBetweenDial(int32_t seconds) {
  setInteger(seconds, ZavroKeyPauseBtwnDial, ZavroSecConnect);
}
bool UserPrefs::smartRedial() const {
  return boolForKey(ZavroKeySmartRedial, ZavroSecConnect);
}
void UserPrefs::setSmartRedial(bool value) {
  setBool(value, ZavroKeySmartRedial, ZavroSecConnect);
}
bool UserPrefs::waitToDial() const {
  return boolForKey(ZavroKeyWaitToDial, ZavroSecConnect);
}
void UserPrefs::setWaitToDial(bool value) {
  setBool(value, ZavroKeyWaitToDial, ZavroSecConnect);
}

// ---- Prefix ----

bool UserPrefs::follow() const {
  return boolForKey(ZavroKeyFollow, ZavroSecPrefix);
}
void UserPrefs::setFollow(bool value) {
  setBool(value, ZavroKeyFollow, ZavroSecPrefix);
}
int32_t UserPrefs::callType() const {
  return integerForKey(ZavroKeyCallType, ZavroSecPrefix);
}
void UserPrefs::setCallType(int32_t value) {
  setInteger(value, ZavroKeyCallType, ZavroSecPrefix);
}
int32_t UserPrefs::tonePulse() const {
  return integerForKey(ZavroKeyTonePulse, ZavroSecPrefix);
}
void UserPrefs::setTonePulse(int32_t value) {
  setInteger(value, ZavroKeyTonePulse, ZavroSecPrefix);
}
std::string UserPrefs::lineAccess() const {
  return stringOrEmpty(ZavroKeyAccess, ZavroSecPrefix);
}
void UserPrefs::setLineAccess(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyAccess, ZavroSecPrefix);
}
bool UserPrefs::disableCallWaiting() const {
  return boolForKey(ZavroKeyDisableCW, ZavroSecPrefix);
}
void UserPrefs::setDisableCallWaiting(bool value) {
  setBool(value, ZavroKeyDisableCW, ZavroSecPrefix);
}
std::string UserPrefs::callWaiting() const {
  return stringOrEmpty(ZavroKeyCallWaiting, ZavroSecPrefix);
}
void UserPrefs::setCallWaiting(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyCallWaiting, ZavroSecPrefix);
}
bool UserPrefs::useCallingCard() const {
  return boolForKey(ZavroKeyUseCC, ZavroSecPrefix);
}
void UserPrefs::setUseCallingCard(bool value) {
  setBool(value, ZavroKeyUseCC, ZavroSecPrefix);
}
int32_t UserPrefs::callingCard() const {
  return integerForKey(ZavroKeyCallingCard, ZavroSecPrefix);
}
void UserPrefs::setCallingCard(int32_t value) {
  setInteger(value, ZavroKeyCallingCard, ZavroSecPrefix);
}
std::string UserPrefs::fromCountry() const {
  return stringOrEmpty(ZavroKeyFromCountry, ZavroSecPrefix);
}
void UserPrefs::setFromCountry(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyFromCountry, ZavroSecPrefix);
}
std::string UserPrefs::fromAreaCode() const {
  return stringOrEmpty(ZavroKeyFromAreaCode, ZavroSecPrefix);
}
void UserPrefs::setFromAreaCode(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyFromAreaCode, ZavroSecPrefix);
}

// ---- Login ----

std::string UserPrefs::userName() const {
  return stringOrEmpty(ZavroKeyUserName, ZavroSecLogin);
}
void UserPrefs::setUserName(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyUserName, ZavroSecLogin);
}
std::string UserPrefs::domain() const {
  return stringOrEmpty(ZavroKeyDomain, ZavroSecLogin);
}
void UserPrefs::setDomain(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDomain, ZavroSecLogin);
}
std::string UserPrefs::NTDomain() const {
  return stringOrEmpty(ZavroKeyNTDomain, ZavroSecLogin);
}
void UserPrefs::setNTDomain(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyNTDomain, ZavroSecLogin);
}
bool UserPrefs::savePassword() const {
  return boolForKey(ZavroKeySavePassword, ZavroSecLogin);
}
void UserPrefs::setSavePassword(bool value) {
  setBool(value, ZavroKeySavePassword, ZavroSecLogin);
  if (!value) {
    std::string user = credentialField(userName());
    if (!user.empty()) {
      // NotFound and errors alike leave nothing more to do; an error leaves the store as it was.
      credentialStore()->remove(kCredentialService, user);
    }
  }
}
std::string UserPrefs::projectCode() const {
  return stringOrEmpty(ZavroKeyProjCode, ZavroSecLogin);
}
void UserPrefs::setProjectCode(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyProjCode, ZavroSecLogin);
}
bool UserPrefs::usePreLogon() const {
  return boolForKey(ZavroKeyUsePreLogon, ZavroSecLogin);
}
void UserPrefs::setUsePreLogon(bool value) {
  setBool(value, ZavroKeyUsePreLogon, ZavroSecLogin);
}

std::string UserPrefs::password() {
  if (!cachedPassword.empty()) {
    return cachedPassword;
  }
  std::string user = credentialField(userName());
  std::string result;
  if (!user.empty()) {
    auto found = credentialStore()->find(kCredentialService, user);
    if (found.ok()) {
      result = found.secret;
    }
  }
  if (!result.empty()) {
    // The credential store holds it now: the legacy copy in the preferences goes.
    setObject(PropertyList(""), ZavroKeyPassword, ZavroSecLogin);
  } else {
    std::string legacy = stringOrEmpty(ZavroKeyPassword, ZavroSecLogin);
    if (!legacy.empty()) {
      result = upToZero(zavroDecrypt(legacy, kPasswordKey));
      if (!result.empty() && storePassword(user, result)) {
        // Cleared only once the credential store has taken it, so a failed move loses nothing.
        setObject(PropertyList(""), ZavroKeyPassword, ZavroSecLogin);
      }
    }
  }
  cachedPassword = result;
  return result;
}

bool UserPrefs::storePassword(const std::string& user, const std::string& password) {
  std::string account = credentialField(user);
  std::string secret = credentialField(password);
  if (account.empty() || secret.empty()) {
    return false;
  }
  setUserName(account);
  auto store = credentialStore();
  auto found = store->find(kCredentialService, account);
  if (found.notFound()) {
    return store->add(kCredentialService, account, secret).ok();
  }
  if (found.ok()) {
    return store->update(kCredentialService, account, secret).ok();
  }
  return false;  // any other error leaves the store unchanged
}

void UserPrefs::setUserName(const std::string& user, const std::string& password) {
  storePassword(user, password);
  cachedPassword = password;
}

// ---- VPN ----

std::string UserPrefs::VPNUserName() const {
  return stringOrEmpty(ZavroKeyUserName, ZavroSecVPN);
}
void UserPrefs::setVPNUserName(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyUserName, ZavroSecVPN);
}
std::string UserPrefs::VPNDomain() const {
  return stringOrEmpty(ZavroKeyDomain, ZavroSecVPN);
}
void UserPrefs::setVPNDomain(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDomain, ZavroSecVPN);
}
std::string UserPrefs::VPNPassword() const {
  std::string stored = stringOrEmpty(ZavroKeyPassword, ZavroSecVPN);
  if (stored.empty()) {
    return "";
  }
  return upToZero(zavroDecrypt(stored, kPasswordKey));
}
void UserPrefs::setVPNPassword(const std::string& value) {
  setObject(PropertyList(value.empty() ? std::string() : zavroEncrypt(value, kPasswordKey)), ZavroKeyPassword,
            ZavroSecVPN);
}
bool UserPrefs::saveVPNPassword() const {
  return boolForKey(ZavroKeySavePassword, ZavroSecVPN);
}
void UserPrefs::setSaveVPNPassword(bool value) {
  setBool(value, ZavroKeySavePassword, ZavroSecVPN);
}
bool UserPrefs::useExistingVPNEntry() const {
  return boolForKey(ZavroKeyUseExistingEntry, ZavroSecVPN);
}
void UserPrefs::setUseExistingVPNEntry(bool value) {
  setBool(value, ZavroKeyUseExistingEntry, ZavroSecVPN);
}

// ---- Actions, calling cards, bookmarks ----

Preferences::Array UserPrefs::actions() const {
  return arrayForKey(ZavroKeyArray, ZavroSecActions).value_or(Array{});
}
void UserPrefs::setActions(const Array& value) {
  setObject(PropertyList(value), ZavroKeyArray, ZavroSecActions);
}
Preferences::Array UserPrefs::callingCards() const {
  return arrayForKey(ZavroKeyArray, ZavroSecCallingCards).value_or(Array{});
}
void UserPrefs::setCallingCards(const Array& value) {
  setObject(PropertyList(value), ZavroKeyArray, ZavroSecCallingCards);
}
bool UserPrefs::shortcut() const {
  return boolForKey(ZavroKeyShortcut, ZavroSecBookmarks);
}
void UserPrefs::setShortcut(bool value) {
  setBool(value, ZavroKeyShortcut, ZavroSecBookmarks);
}
Preferences::Array UserPrefs::bookmarks() const {
  return arrayForKey(ZavroKeyArray, ZavroSecBookmarks).value_or(Array{});
}
void UserPrefs::setBookmarks(const Array& value) {
  setObject(PropertyList(value), ZavroKeyArray, ZavroSecBookmarks);
}

// ---- General ----

std::optional<std::string> UserPrefs::windowTab() const {
  return stringForKey(ZavroKeyWindowTab, ZavroSecGeneral);
}
void UserPrefs::setWindowTab(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyWindowTab, ZavroSecGeneral);
}
std::optional<std::string> UserPrefs::prefTab() const {
  return stringForKey(ZavroKeyPrefTab, ZavroSecGeneral);
}
void UserPrefs::setPrefTab(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyPrefTab, ZavroSecGeneral);
}

// Dates are read back in double precision: single precision would put a date of this century off by
// up to a minute.
std::optional<double> UserPrefs::lastUpdate() const {
  auto text = stringForKey(ZavroKeyLastUpdate, ZavroSecGeneral);
  return text ? std::optional(IniFile::doubleValue(*text)) : std::nullopt;
}
void UserPrefs::setLastUpdate(double secondsSince2001) {
  setObject(PropertyList(formatFixed6(secondsSince2001)), ZavroKeyLastUpdate, ZavroSecGeneral);
}
std::optional<double> UserPrefs::lastPhonebookUpdate() const {
  auto text = stringForKey(ZavroKeyLastPhonebookUpdate, ZavroSecGeneral);
  return text ? std::optional(IniFile::doubleValue(*text)) : std::nullopt;
}
void UserPrefs::setLastPhonebookUpdate(double secondsSince2001) {
  setObject(PropertyList(formatFixed6(secondsSince2001)), ZavroKeyLastPhonebookUpdate, ZavroSecGeneral);
}
std::string UserPrefs::dialerLanguage() const {
  return stringOrEmpty(ZavroKeyDialerLanguage, ZavroSecGeneral);
}
void UserPrefs::setDialerLanguage(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyDialerLanguage, ZavroSecGeneral);
}

// ---- media sections ----

std::optional<std::string> UserPrefs::mediaTypeInSection(const std::string& section) const {
  return stringForKey(ZavroKeyMedia, section);
}
void UserPrefs::setMediaType(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyMedia, section);
}
std::string UserPrefs::countryInSection(const std::string& section) const {
  return stringOrEmpty(ZavroKeyCountry, section);
}
void UserPrefs::setCountry(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyCountry, section);
}
std::string UserPrefs::regionInSection(const std::string& section) const {
  return stringOrEmpty(ZavroKeyRegion, section);
}
void UserPrefs::setRegion(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyRegion, section);
}
std::string UserPrefs::cityInSection(const std::string& section) const {
  return stringOrEmpty(ZavroKeyCity, section);
}
void UserPrefs::setCity(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyCity, section);
}
std::string UserPrefs::areaCodeInSection(const std::string& section) const {
  return stringOrEmpty(ZavroKeyAreaCode, section);
}
void UserPrefs::setAreaCode(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyAreaCode, section);
}
std::optional<std::string> UserPrefs::primaryDNSInSection(const std::string& section) const {
  return stringForKey(ZavroKeyPrimaryDNS, section);
}
void UserPrefs::setPrimaryDNS(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyPrimaryDNS, section);
}
std::optional<std::string> UserPrefs::secondaryDNSInSection(const std::string& section) const {
  return stringForKey(ZavroKeySecondaryDNS, section);
}
void UserPrefs::setSecondaryDNS(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeySecondaryDNS, section);
}
std::string UserPrefs::selectedPOPInSection(const std::string& section) const {
  return stringOrEmpty(ZavroKeySelPOP, section);
}
void UserPrefs::setSelectedPOP(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeySelPOP, section);
}
std::optional<std::string> UserPrefs::languageInSection(const std::string& section) const {
  return stringForKey(ZavroKeyLanguage, section);
}
void UserPrefs::setLanguage(const std::string& value, const std::string& section) {
  setObject(PropertyList(value), ZavroKeyLanguage, section);
}
int32_t UserPrefs::activePageInSection(const std::string& section) const {
  return integerForKey(ZavroKeyActivePage, section);
}
void UserPrefs::setActivePage(int32_t value, const std::string& section) {
  setInteger(value, ZavroKeyActivePage, section);
}

// ---- BB_Wireless ----

std::optional<std::string> UserPrefs::wirelessCountry() const {
  return stringForKey(ZavroKeyWLPOPCountry, ZavroSecBBWireless);
}
void UserPrefs::setWirelessCountry(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyWLPOPCountry, ZavroSecBBWireless);
}
std::optional<std::string> UserPrefs::wirelessRegion() const {
  return stringForKey(ZavroKeyWLPOPRegion, ZavroSecBBWireless);
}
void UserPrefs::setWirelessRegion(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyWLPOPRegion, ZavroSecBBWireless);
}
std::optional<std::string> UserPrefs::wirelessCity() const {
  return stringForKey(ZavroKeyWLPOPCity, ZavroSecBBWireless);
}
void UserPrefs::setWirelessCity(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyWLPOPCity, ZavroSecBBWireless);
}
std::optional<std::string> UserPrefs::selectedWirelessPOP() const {
  return stringForKey(ZavroKeyWLPOPSel, ZavroSecBBWireless);
}
void UserPrefs::setSelectedWirelessPOP(const std::string& value) {
  setObject(PropertyList(value), ZavroKeyWLPOPSel, ZavroSecBBWireless);
}

// ---- final save ----

bool UserPrefs::applicationWillTerminate() {
  if (!mAdmin->getAllowSavePassword() || !savePassword()) {
    setSavePassword(false);
  }
  if (!mAdmin->getVpnAllowSavePassword() || !saveVPNPassword()) {
    setVPNPassword("");
    setSaveVPNPassword(false);
  }
  return synchronize();
}

}  // namespace zavro
