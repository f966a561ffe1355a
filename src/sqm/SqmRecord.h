// The service quality record of one connection attempt, shared between processes through a file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/DistributedLock.h"

namespace zavro {

class POP;

// What a new attempt's record is filled from: the POP, the dialing rules, the user's and the
// administrator's settings. SqmRecord::newRecordWithPOP gathers it from the process-wide objects;
// tests and tools can build one directly.
struct SqmAttempt {
  std::string popID;
  uint32_t popAccessType = 0;
  std::string countryCode;
  std::string regionCode;
  std::string city;
  std::string areaCode;
  std::string phone;
  std::string scriptFile;
  std::string accessProcedure;
  std::string loginString;
  std::string computedDialString;  // the dialing rules' dial string for the requested access type
  std::string safeDialString;      // the same with the calling-card part hidden
  std::string userName;
  std::string domain;
  std::string dialDevice;
  std::string osLanguage;
  std::string dialerLanguage;
  std::string dialerVersion;
  int profileID = 0;
  bool sendDataToServer = false;
  std::string serverURL;
};

// Every field is kept as text in mSqmFields (see the encodings below); each event loads the record
// from "SqmRecord.plist" under a cross-process lock, changes a few fields and saves it again, so the
// application and the thruput tool can both contribute to the same record.
//
// Encodings: strings as they are; booleans "Yes"/"No"; integers "%d"; reals and dates "%f" (dates in
// seconds since 2001-01-01 00:00:00 UTC); intervals "%f" seconds. Dates and intervals are written
// once per attempt: a later event never replaces the first value.
class SqmRecord {
 public:
  SqmRecord();
  ~SqmRecord();
  SqmRecord(const SqmRecord&) = delete;
  SqmRecord& operator=(const SqmRecord&) = delete;

  // A fresh record plus the attempt's fields; resets the process-wide codes.
  SqmRecord(const SqmAttempt& attempt, uint32_t accessType, const std::string& dialString);

  // Exports the previous attempt's record and starts a new one (holding the record lock).
  static std::shared_ptr<SqmRecord> newRecordWithPOP(const POP& pop, uint32_t accessType,
                                                     const std::string& dialString);
  static std::shared_ptr<SqmRecord> newRecordWithAttempt(const SqmAttempt& attempt, uint32_t accessType,
                                                         const std::string& dialString);
  // The current record from "SqmRecord.plist" (holding the lock), with ErrorCode and DisconnectReason
  // from the process-wide codes.
  static std::shared_ptr<SqmRecord> sharedRecord();

  // Events: each changes its fields, then saves and releases the lock (releaseSharedLock).
  void preConnect();
  void preDial();
  void modemNegotiated();
  void preTunnel();
  void tunnel();
  void postConnect();
  void disconnect();
  void cancel();
  void error();

  // Store and lock.
  bool acquireSharedLock();
  void releaseSharedLock() { releaseSharedLock(true); }
  void releaseSharedLock(bool save);
  void populateFromFile();
  // The held lock of an SQM file ("SqmRecord.plist" → SqmRecord.lock in the lock folder). Waits in
  // 0.25 s steps and breaks an entry at least 5 s old.
  static std::unique_ptr<DistributedLock> acquireSharedLockForFile(const std::string& name);
  // context 0: support folder; 1: lock folder; other: the bare company/product path.
  static std::string sqmPath(int context, const std::string& filename);
  void appendToDataFile();
  // Posts "SqmData.txt" to "https://" + ServerURL, then "http://" + ServerURL, when sending is
  // allowed; the lines sent are removed only after a 2xx answer.
  void uploadDataToServer();
  void setConnectionStats();
  bool isTouched() const { return mIsTouched; }
  bool lockIsHeld() const { return mLockIsHeld; }

  // Typed access by key.
  std::string stringForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const;
  int integerForKey(const std::string& key) const;
  double floatForKey(const std::string& key) const;
  std::optional<double> dateForKey(const std::string& key) const;
  double intervalForKey(const std::string& key) const;
  void setString(const std::optional<std::string>& value, const std::string& key);
  void setBool(bool value, const std::string& key);
  void setInteger(int value, const std::string& key);
  void setFloat(double value, const std::string& key);
  void setDate(double value, const std::string& key);      // only when the key holds no date yet
  void setInterval(double value, const std::string& key);  // only while the key's value is below 0.000001

  // Fields by name (the key with a lower-case first letter). Dial-up-only fields read "" while
  // IsDialup is false, broadband-only ones while it is true; the stored text is kept either way.
#define ZAVRO_SQM_STRING(getter, setter, key)        \
  std::string getter() const {                       \
    return stringForKey(key);                        \
  }                                                  \
  void setter(const std::optional<std::string>& v) { \
    setString(v, key);                               \
  }
#define ZAVRO_SQM_DATE(getter, setter, key) \
  std::optional<double> getter() const {    \
    return dateForKey(key);                 \
  }                                         \
  void setter(double v) {                   \
    setDate(v, key);                        \
  }
#define ZAVRO_SQM_INTERVAL(getter, setter, key) \
  double getter() const {                       \
    return intervalForKey(key);                 \
  }                                             \
  void setter(double v) {                       \
    setInterval(v, key);                        \
  }
#define ZAVRO_SQM_INTEGER(getter, setter, key) \
  int getter() const {                         \
    return integerForKey(key);                 \
  }                                            \
  void setter(int v) {                         \
    setInteger(v, key);                        \
  }
#define ZAVRO_SQM_BOOL(getter, setter, key) \
  bool getter() const {                     \
    return boolForKey(key);                 \
  }                                         \
  void setter(bool v) {                     \
    setBool(v, key);                        \
  }
  ZAVRO_SQM_STRING(userID, setUserID, "UserID")
  ZAVRO_SQM_STRING(osVersion, setOSVersion, "OSVersion")
  ZAVRO_SQM_STRING(toolUsed, setToolUsed, "ToolUsed")
  ZAVRO_SQM_STRING(rasVersion, setRasVersion, "RasVersion")
  ZAVRO_SQM_STRING(deviceName, setDeviceName, "DeviceName")
  ZAVRO_SQM_STRING(deviceType, setDeviceType, "DeviceType")
  ZAVRO_SQM_STRING(sourceCountryCode, setSourceCountryCode, "SourceCountryCode")
  ZAVRO_SQM_STRING(sourceAreaCode, setSourceAreaCode, "SourceAreaCode")
  ZAVRO_SQM_STRING(sourceLocationID, setSourceLocationID, "SourceLocationID")
  ZAVRO_SQM_STRING(destinationCountryCode, setDestinationCountryCode, "DestinationCountryCode")
  ZAVRO_SQM_STRING(destinationAreaCode, setDestinationAreaCode, "DestinationAreaCode")
  ZAVRO_SQM_STRING(destinationPhoneNumber, setDestinationPhoneNumber, "DestinationPhoneNumber")
  ZAVRO_SQM_STRING(popID, setPopID, "PopID")
  ZAVRO_SQM_STRING(popScript, setPopScript, "PopScript")
  ZAVRO_SQM_STRING(connectionType, setConnectionType, "ConnectionType")
  ZAVRO_SQM_STRING(softwareCompression, setSoftwareCompression, "SoftwareCompression")
  ZAVRO_SQM_STRING(pppExtensions, setPPPExtensions, "PPPExtensions")
  ZAVRO_SQM_DATE(dialStartTime, setDialStartTime, "DialStartTime")
  ZAVRO_SQM_DATE(dialStopTime, setDialStopTime, "DialStopTime")
  ZAVRO_SQM_INTERVAL(timeToConnect, setTimeToConnect, "TimeToConnect")
  ZAVRO_SQM_DATE(vpnStartTime, setVpnStartTime, "VpnStartTime")
  ZAVRO_SQM_DATE(vpnStopTime, setVpnStopTime, "VpnStopTime")
  ZAVRO_SQM_INTERVAL(vpnTimeToConnect, setVpnTimeToConnect, "VpnTimeToConnect")
  ZAVRO_SQM_STRING(serverIP, setServerIP, "ServerIP")
  ZAVRO_SQM_STRING(clientIP, setClientIP, "ClientIP")
  ZAVRO_SQM_STRING(baudRate, setBaudRate, "BaudRate")
  ZAVRO_SQM_DATE(downloadStartTime, setDownloadStartTime, "DownloadStartTime")
  ZAVRO_SQM_DATE(downloadStopTime, setDownloadStopTime, "DownloadStopTime")
  ZAVRO_SQM_INTEGER(errorCode, setErrorCode, "ErrorCode")
  ZAVRO_SQM_STRING(dialerVersion, setDialerVersion, "DialerVersion")
  ZAVRO_SQM_STRING(profileID, setProfileID, "ProfileID")
  ZAVRO_SQM_STRING(fullUserLogin, setFullUserLogin, "FullUserLogin")
  ZAVRO_SQM_STRING(modemPhoneNumber, setModemPhoneNumber, "ModemPhoneNumber")
  ZAVRO_SQM_DATE(modemNegotiateTime, setModemNegotiateTime, "ModemNegotiateTime")
  ZAVRO_SQM_STRING(popType, setPopType, "PopType")
  ZAVRO_SQM_STRING(popCountryCode, setPopCountryCode, "PopCountryCode")
  ZAVRO_SQM_STRING(popRegionCode, setPopRegionCode, "PopRegionCode")
  ZAVRO_SQM_STRING(popCity, setPopCity, "PopCity")
  ZAVRO_SQM_STRING(accessProcedure, setAccessProcedure, "AccessProcedure")
  ZAVRO_SQM_STRING(locationID, setLocationID, "LocationID")
  ZAVRO_SQM_STRING(osLanguage, setOSLanguage, "OSLanguage")
  ZAVRO_SQM_INTERVAL(sessionLength, setSessionLength, "SessionLength")
  ZAVRO_SQM_INTEGER(disconnectReason, setDisconnectReason, "DisconnectReason")
  ZAVRO_SQM_STRING(accessType, setAccessType, "AccessType")
  ZAVRO_SQM_BOOL(isDialup, setIsDialup, "IsDialup")
  ZAVRO_SQM_BOOL(userCanceled, setUserCanceled, "UserCanceled")
  ZAVRO_SQM_BOOL(sendDataToServer, setSendDataToServer, "SendDataToServer")
  ZAVRO_SQM_STRING(serverURL, setServerURL, "ServerURL")
  ZAVRO_SQM_STRING(dialerLanguage, setDialerLanguage, "DialerLanguage")
#undef ZAVRO_SQM_STRING
#undef ZAVRO_SQM_DATE
#undef ZAVRO_SQM_INTERVAL
#undef ZAVRO_SQM_INTEGER
#undef ZAVRO_SQM_BOOL
  // Always "": no session identifier is kept in this system.
  std::string uniqueSessionID() const {
    return {};
  }
  double downloadThruput() const {
    return floatForKey("DownloadThruput");
  }
  void setDownloadThruput(double v) {
    setFloat(v, "DownloadThruput");
  }

  // The 46 quoted columns of "SqmData.txt" and a line feed.
  std::string exportLine() const;
  // The dial-history block written to the thruput log, one entry per line.
  std::vector<std::string> historyBlock() const;

  // Local time "%Y-%m-%d %H:%M:%S" + "." + the fraction times 1000 rounded ("%03d": .9996 gives
  // 1000); "" for an absent date.
  static std::string formatDateForExport(std::optional<double> date);
  // Whole seconds rounded when above 0.000001, else "".
  static std::string formatIntervalForExport(double interval);
  // Network-order address as a.b.c.d.
  static std::string formatIPAddressForExport(uint32_t address);
  // One letter for the POP's access-type bits masked with the requested type: D, I, P, E, W or "".
  static std::string accessTypeLetter(uint32_t popAccessType, uint32_t requested);
  // "Linux <release>" from uname; "Linux" when it cannot be had.
  static std::string systemVersion();

  // Process-wide codes: the first error of an attempt wins; the disconnect code likewise (100 = none).
  static void logError(int code);
  static void logDisconnectCode(int code);
  static int getError();
  static int getDisconnectCode();
  static void resetCodes();
  static void logAccessProcedure(const std::string&) {}
  static void logLocationID(const std::string&) {}
  static std::string getAccessProcedure() {
    return {};
  }
  static std::string getLocationID() {
    return {};
  }

  const std::map<std::string, std::string>& fields() const {
    return mSqmFields;
  }
  const std::vector<std::vector<std::string>>& errorTable() const {
    return mSqmErrors;
  }

 private:
  void loadErrorTable();
  bool readStore(std::map<std::string, std::string>& out) const;
  void writeStore() const;
  bool maskedOut(const std::string& key) const;
  std::string rawString(const std::string& key) const;
  void setRaw(const std::string& key, std::string value);
  static double now();

  std::vector<std::vector<std::string>> mSqmErrors;
  std::map<std::string, std::vector<std::string>> mSqmErrorsByCode;
  std::map<std::string, std::string> mSqmFields;
  std::unique_ptr<DistributedLock> mSharedLock;
  bool mLockIsHeld = false;
  bool mIsTouched = true;
};

}  // namespace zavro
