// SqmRecord: fields and their encodings, events, the shared store, the export and the dial history.
#include "sqm/SqmRecord.h"

#include <strings.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/CSVFile.h"
#include "common/LogFile.h"
#include "platform/InterfaceInfo.h"
#include "runtime/Environment.h"
#include "sqm/SqmStore.h"

namespace zavro {

namespace {

constexpr double kUnixToReference = 978307200.0;  // 2001-01-01 00:00:00 UTC in Unix time
constexpr double kIntervalEpsilon = 0.000001;

std::atomic<int> gErrorCode{0};
std::atomic<int> gDisconnectCode{100};

// The export columns, in order.
const char* const kColumns[] = {"UserID",
                                "OSVersion",
                                "ToolUsed",
                                "RasVersion",
                                "DeviceName",
                                "DeviceType",
                                "SourceCountryCode",
                                "SourceAreaCode",
                                "SourceLocationID",
                                "DestinationCountryCode",
                                "DestinationAreaCode",
                                "DestinationPhoneNumber",
                                "PopID",
                                "PopScript",
                                "ConnectionType",
                                "SoftwareCompression",
                                "PPPExtensions",
                                "DialStartTime",
                                "DialStopTime",
                                "TimeToConnect",
                                "VpnStartTime",
                                "VpnStopTime",
                                "VpnTimeToConnect",
                                "ServerIP",
                                "ClientIP",
                                "BaudRate",
                                "DownloadStartTime",
                                "DownloadStopTime",
                                "DownloadThruput",
                                "ErrorCode",
                                "DialerVersion",
                                "ProfileID",
                                "FullUserLogin",
                                "ModemPhoneNumber",
                                "ModemNegotiateTime",
                                "PopType",
                                "PopCountryCode",
                                "PopRegionCode",
                                "PopCity",
                                "AccessProcedure",
                                "LocationID",
                                "OSLanguage",
                                "UniqueSessionID",
                                "SessionLength",
                                "DisconnectReason",
                                "AccessType"};
static_assert(sizeof kColumns / sizeof kColumns[0] == 46);

enum class Kind { String, Date, Interval, Real, Integer };

Kind kindOf(const std::string& key) {
  static const std::map<std::string, Kind> kinds = {
      {"DialStartTime", Kind::Date},      {"DialStopTime", Kind::Date},      {"VpnStartTime", Kind::Date},
      {"VpnStopTime", Kind::Date},        {"DownloadStartTime", Kind::Date}, {"DownloadStopTime", Kind::Date},
      {"ModemNegotiateTime", Kind::Date}, {"TimeToConnect", Kind::Interval}, {"VpnTimeToConnect", Kind::Interval},
      {"SessionLength", Kind::Interval},  {"DownloadThruput", Kind::Real},   {"ErrorCode", Kind::Integer},
      {"DisconnectReason", Kind::Integer}};
  auto it = kinds.find(key);
  return it == kinds.end() ? Kind::String : it->second;
}

bool isDialupOnly(const std::string& key) {
  static const char* const keys[] = {
      "RasVersion",          "DeviceName",    "DeviceType", "DestinationPhoneNumber", "PopScript",
      "SoftwareCompression", "PPPExtensions", "BaudRate",   "ModemPhoneNumber"};
  for (const char* k : keys) {
    if (key == k) {
      return true;
    }
  }
  return false;
}

bool isBroadbandOnly(const std::string& key) {
  return key == "AccessProcedure" || key == "LocationID";
}

// Creates `path` as a folder when missing. A regular file standing there is removed first; a
// symbolic link or anything else is left alone (and the folder is then not made).
void ensureFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      return;
    }
    if (!S_ISREG(st.st_mode)) {
      return;
    }
    ::unlink(path.c_str());
  }
  ::mkdir(path.c_str(), 0755);
}

std::string replaceExtension(const std::string& name, const std::string& extension) {
  auto dot = name.find_last_of('.');
  auto slash = name.find_last_of('/');
  std::string stem =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? name : name.substr(0, dot);
  return stem + "." + extension;
}

std::string formatReal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%f", value);
  return buffer;
}

}  // namespace

SqmRecord::SqmRecord() {
  loadErrorTable();
  setIsDialup(true);
  setRaw("RasVersion", "");
  setRaw("DeviceType", "");
  setRaw("SoftwareCompression", "");
  setRaw("PPPExtensions", "");
  setRaw("OSVersion", systemVersion());
  setRaw("ErrorCode", "0");
  setRaw("ConnectionType", "Regular");
  mIsTouched = true;
}

SqmRecord::SqmRecord(const SqmAttempt& a, uint32_t requested, const std::string& dialString) : SqmRecord() {
  resetCodes();
  setRaw("ErrorCode", "0");
  setAccessType(accessTypeLetter(a.popAccessType, requested));
  const bool dialup = (a.popAccessType & requested & 0x187u) != 0;
  setIsDialup(dialup);
  setUserID(a.userName + "@" + a.domain);
  setProfileID(std::to_string(a.profileID));
  setModemPhoneNumber(a.areaCode + "/" + a.phone);
  if (!dialup || dialString == a.computedDialString) {
    setPopID(a.popID);
    setDestinationPhoneNumber(a.safeDialString);
  } else {
    setPopID(std::string("user"));
    setDestinationPhoneNumber(dialString);
  }
  setPopCountryCode(a.countryCode);
  setPopRegionCode(a.regionCode);
  setPopCity(a.city);
  setFullUserLogin(a.loginString);
  setPopScript(a.scriptFile);
  setAccessProcedure(a.accessProcedure);
  setDeviceName(a.dialDevice);
  setOSLanguage(a.osLanguage);
  setDialerLanguage(a.dialerLanguage);
  setDialerVersion(a.dialerVersion);
  setSendDataToServer(a.sendDataToServer);
  setServerURL(a.serverURL);
  for (const char* key :
       {"SourceCountryCode", "SourceAreaCode", "SourceLocationID", "DestinationCountryCode", "DestinationAreaCode"}) {
    setRaw(key, "");
  }
  mIsTouched = true;
}

SqmRecord::~SqmRecord() {
  if (mLockIsHeld && mSharedLock) {
    mSharedLock->unlock();
  }
}

std::shared_ptr<SqmRecord> SqmRecord::newRecordWithAttempt(const SqmAttempt& attempt, uint32_t accessType,
                                                           const std::string& dialString) {
  {
    auto previous = sharedRecord();
    previous->appendToDataFile();
    previous->releaseSharedLock(false);  // its file went with the export
  }
  auto record = std::make_shared<SqmRecord>(attempt, accessType, dialString);
  record->acquireSharedLock();
  return record;
}

std::shared_ptr<SqmRecord> SqmRecord::sharedRecord() {
  auto record = std::make_shared<SqmRecord>();
  record->populateFromFile();
  record->setErrorCode(getError());
  record->setDisconnectReason(getDisconnectCode());
  return record;
}

double SqmRecord::now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9 - kUnixToReference;
}

void SqmRecord::preConnect() {
  releaseSharedLock();
}

void SqmRecord::preDial() {
  setDialStartTime(now());
  releaseSharedLock();
}

void SqmRecord::modemNegotiated() {
  setModemNegotiateTime(now());
  releaseSharedLock();
}

void SqmRecord::preTunnel() {
  setDialStopTime(now());
  auto start = dialStartTime();
  auto stop = dialStopTime();
  if (start && stop) {
    setTimeToConnect(*stop - *start);
  }
  releaseSharedLock();
}

void SqmRecord::tunnel() {
  setVpnStartTime(now());
  releaseSharedLock();
}

void SqmRecord::postConnect() {
  if (auto start = vpnStartTime()) {
    setVpnStopTime(now());
    if (auto stop = vpnStopTime()) {
      setVpnTimeToConnect(*stop - *start);
    }
  }
  setConnectionStats();
  releaseSharedLock();
}

void SqmRecord::disconnect() {
  if (auto stop = dialStopTime()) {
    setSessionLength(now() - *stop);
  }
  releaseSharedLock();
}

void SqmRecord::cancel() {
  setDialStopTime(now());
  if (auto stop = dialStopTime()) {
    // An attempt that ends here has a session length even when it is zero, so that a later
    // disconnect report keeps it: the smallest value the write-once rule counts as set.
    setSessionLength(std::max(now() - *stop, kIntervalEpsilon));
  }
  releaseSharedLock();
}

void SqmRecord::error() {
  cancel();
}

bool SqmRecord::acquireSharedLock() {
  if (!mLockIsHeld) {
    mSharedLock = acquireSharedLockForFile("SqmRecord.plist");
    mLockIsHeld = mSharedLock != nullptr;
  }
  return mLockIsHeld;
}

void SqmRecord::releaseSharedLock(bool save) {
  if (save && mIsTouched) {
    acquireSharedLock();
    writeStore();
    mIsTouched = false;
  }
  if (mLockIsHeld) {
    mSharedLock->unlock();
    mSharedLock.reset();
    mLockIsHeld = false;
  }
}

void SqmRecord::populateFromFile() {
  acquireSharedLock();
  std::map<std::string, std::string> stored;
  if (readStore(stored)) {
    mSqmFields = std::move(stored);
    mIsTouched = false;
  }
}

std::unique_ptr<DistributedLock> SqmRecord::acquireSharedLockForFile(const std::string& name) {
  auto lock = std::make_unique<DistributedLock>(sqmPath(1, replaceExtension(name, "lock")));
  if (!lock->lock(5.0, 0.25)) {
    return nullptr;
  }
  return lock;
}

std::string SqmRecord::sqmPath(int context, const std::string& filename) {
  auto env = Environment::current();
  std::string base;
  if (context == 0) {
    base = env->dataHome();
  } else if (context == 1) {
    base = env->tempDir();
  }
  std::string company = base.empty() ? ZavroApplicationSupportDirectory::companyName()
                                     : base + "/" + ZavroApplicationSupportDirectory::companyName();
  if (!base.empty()) {
    ::mkdir(base.c_str(), 0755);
  }
  ensureFolder(company);
  std::string product = company + "/" + ZavroApplicationSupportDirectory::productName();
  ensureFolder(product);
  return product + "/" + filename;
}

bool SqmRecord::readStore(std::map<std::string, std::string>& out) const {
  return readSqmStore(sqmPath(0, "SqmRecord.plist"), out);
}

void SqmRecord::writeStore() const {
  writeSqmStore(sqmPath(0, "SqmRecord.plist"), mSqmFields);
}

void SqmRecord::appendToDataFile() {
  {
    auto lock = acquireSharedLockForFile("SqmData.txt");
    std::string line = exportLine();
    if (FILE* out = std::fopen(sqmPath(0, "SqmData.txt").c_str(), "ae")) {
      std::fwrite(line.data(), 1, line.size(), out);
      std::fclose(out);
    }
  }
  auto log = ThruputLog::thruputLog();
  for (const auto& line : historyBlock()) {
    log->log(line);
  }
  std::remove(sqmPath(0, "SqmRecord.plist").c_str());
}

void SqmRecord::setConnectionStats() {
  auto info = InterfaceInfo::system()->defaultInterface();
  if (!info) {
    return;
  }
  setClientIP(formatIPAddressForExport(info->address));
  setServerIP(formatIPAddressForExport(info->gateway));
}

bool SqmRecord::maskedOut(const std::string& key) const {
  if (isDialupOnly(key)) {
    return !isDialup();
  }
  if (isBroadbandOnly(key)) {
    return isDialup();
  }
  return false;
}

std::string SqmRecord::rawString(const std::string& key) const {
  auto it = mSqmFields.find(key);
  return it == mSqmFields.end() ? std::string() : it->second;
}

void SqmRecord::setRaw(const std::string& key, std::string value) {
  auto it = mSqmFields.find(key);
  if (it != mSqmFields.end() && it->second == value) {
    return;
  }
  mSqmFields[key] = std::move(value);
  mIsTouched = true;
}

std::string SqmRecord::stringForKey(const std::string& key) const {
  if (key == "UniqueSessionID" || maskedOut(key)) {
    return {};
  }
  return rawString(key);
}

bool SqmRecord::boolForKey(const std::string& key) const {
  std::string v = rawString(key);
  return !v.empty() && strcasecmp(v.c_str(), "Yes") == 0;
}

int SqmRecord::integerForKey(const std::string& key) const {
  return static_cast<int>(std::strtol(rawString(key).c_str(), nullptr, 10));
}

double SqmRecord::floatForKey(const std::string& key) const {
  return std::strtod(rawString(key).c_str(), nullptr);
}

std::optional<double> SqmRecord::dateForKey(const std::string& key) const {
  std::string v = rawString(key);
  if (v.empty()) {
    return std::nullopt;
  }
  return std::strtod(v.c_str(), nullptr);
}

double SqmRecord::intervalForKey(const std::string& key) const {
  return floatForKey(key);
}

void SqmRecord::setString(const std::optional<std::string>& value, const std::string& key) {
  if (value) {
    setRaw(key, *value);
  }
}

void SqmRecord::setBool(bool value, const std::string& key) {
  setRaw(key, value ? "Yes" : "No");
}

void SqmRecord::setInteger(int value, const std::string& key) {
  setRaw(key, std::to_string(value));
}

void SqmRecord::setFloat(double value, const std::string& key) {
  setRaw(key, formatReal(value));
}

void SqmRecord::setDate(double value, const std::string& key) {
  if (!dateForKey(key)) {
    setRaw(key, formatReal(value));
  }
}

void SqmRecord::setInterval(double value, const std::string& key) {
  if (intervalForKey(key) < kIntervalEpsilon) {
    setRaw(key, formatReal(value));
  }
}

std::string SqmRecord::exportLine() const {
  std::string line;
  for (size_t i = 0; i < sizeof kColumns / sizeof kColumns[0]; ++i) {
    const std::string key = kColumns[i];
    std::string text;
    switch (kindOf(key)) {
      case Kind::Date:
        text = formatDateForExport(dateForKey(key));
        break;
      case Kind::Interval:
      case Kind::Real:
        text = formatIntervalForExport(floatForKey(key));
        break;
      case Kind::Integer:
        text = std::to_string(integerForKey(key));
        break;
      case Kind::String:
        text = stringForKey(key);
        break;
    }
    line += '"';
    line += text;
    line += '"';
    if (i + 1 < sizeof kColumns / sizeof kColumns[0]) {
      line += ',';
    }
  }
  line += '\n';
  return line;
}

std::vector<std::string> SqmRecord::historyBlock() const {
  const int code = errorCode();
  auto it = mSqmErrorsByCode.find(std::to_string(code));
  std::string message = "Unknown";
  std::string recommendation;
  if (it != mSqmErrorsByCode.end()) {
    message = it->second.size() > 1 ? it->second[1] : std::string();
    recommendation = it->second.size() > 2 ? it->second[2] : std::string();
  }
  return {
      "User name/realm\t" + fullUserLogin(),
      "Dial start time\t" + formatDateForExport(dialStartTime()),
      "Number dialed\t" + destinationPhoneNumber(),
      "Modem connect time\t" + formatIntervalForExport(timeToConnect()),
      "Dialer profile ID\t" + profileID(),
      "Error code\t" + std::to_string(code),
      "SQM Unique Session ID\t" + uniqueSessionID(),
      "Session Length\t" + formatIntervalForExport(sessionLength()),
      "Access Type\t" + accessType(),
      "Error message\t" + message,
      "Recommendation\t" + recommendation,
      std::string(42, '='),
  };
}

std::string SqmRecord::formatDateForExport(std::optional<double> date) {
  if (!date) {
    return {};
  }
  double unix = *date + kUnixToReference;
  double whole = std::floor(unix);
  auto millis = static_cast<int>(std::lround((unix - whole) * 1000.0));
  std::time_t seconds = static_cast<std::time_t>(whole);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  char out[96];
  std::snprintf(out, sizeof out, "%s.%03d", buffer, millis);
  return out;
}

std::string SqmRecord::formatIntervalForExport(double interval) {
  if (!(interval > kIntervalEpsilon)) {
    return {};
  }
  return std::to_string(std::lround(interval));
}

std::string SqmRecord::formatIPAddressForExport(uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  char out[20];
  std::snprintf(out, sizeof out, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return out;
}

std::string SqmRecord::accessTypeLetter(uint32_t popAccessType, uint32_t requested) {
  uint32_t bits = popAccessType & requested;
  if (bits & 0x4u) {
    return "D";
  }
  if (bits & 0x3u) {
    return "I";
  }
  if (bits & 0x180u) {
    return "P";
  }
  if (bits & 0x8u) {
    return "E";
  }
  if (bits & 0x70u) {
    return "W";
  }
  return "";
}

std::string SqmRecord::systemVersion() {
  utsname name{};
  if (::uname(&name) != 0) {
    return "Linux";
  }
  std::string release = name.release;
  size_t end = 0;
  while (end < release.size() && (std::isdigit(static_cast<unsigned char>(release[end])) || release[end] == '.')) {
    ++end;
  }
  release = release.substr(0, end);
  while (!release.empty() && release.back() == '.') {
    release.pop_back();
  }
  return release.empty() ? std::string("Linux") : "Linux " + release;
}

void SqmRecord::logError(int code) {
  int expected = 0;
  gErrorCode.compare_exchange_strong(expected, code);
}

void SqmRecord::logDisconnectCode(int code) {
  int expected = 100;
  gDisconnectCode.compare_exchange_strong(expected, code);
}

int SqmRecord::getError() {
  return gErrorCode.load();
}
int SqmRecord::getDisconnectCode() {
  return gDisconnectCode.load();
}

void SqmRecord::resetCodes() {
  gErrorCode = 0;
  gDisconnectCode = 100;
}

void SqmRecord::loadErrorTable() {
  auto csv = CSVFile::fileWithPath(ZavroConfiguration::pathToConfigFile("sqmview.err"));
  mSqmErrors = csv->getArray();
  for (const auto& row : mSqmErrors) {
    if (!row.empty()) {
      mSqmErrorsByCode[row[0]] = row;
    }
  }
}

}  // namespace zavro
