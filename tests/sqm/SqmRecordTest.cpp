// SqmRecord: encodings and the write-once rule, masking, events, the export line and the dial history.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "common/LogFile.h"
#include "platform/InterfaceInfo.h"
#include "sqm/SqmRecord.h"
#include "sqm/SqmStore.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::readFile;

constexpr double kUnixToReference = 978307200.0;

// Reference date of a local wall-clock time, plus a fraction of a second.
double localDate(int year, int month, int day, int hour, int minute, int second, double fraction) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<double>(std::mktime(&t)) - kUnixToReference + fraction;
}

std::vector<std::string> exportColumns(const std::string& line) {
  std::vector<std::string> out;
  EXPECT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  size_t i = 0;
  while (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', i + 1);
    out.push_back(line.substr(i + 1, close - i - 1));
    i = close + 1;
    if (i < line.size() && line[i] == ',') {
      ++i;
    }
  }
  return out;
}

SqmAttempt dialupAttempt() {
  SqmAttempt a;
  a.popID = "1001";
  a.popAccessType = 0x4;
  a.countryCode = "US";
  a.regionCode = "CA";
  a.city = "San Jose";
  a.areaCode = "408";
  a.phone = "5550100";
  a.scriptFile = "Generic";
  a.loginString = "zavro/jdoe@example.net";
  a.computedDialString = "1 408 5550100";
  a.safeDialString = "1 408 5550100";
  a.userName = "jdoe";
  a.domain = "example.net";
  a.dialDevice = "Modem Port";
  a.osLanguage = "en";
  a.dialerLanguage = "English";
  a.dialerVersion = "1.0.0";
  a.profileID = 77;
  a.sendDataToServer = true;
  a.serverURL = "sqm.example.net/servlets/loader";
  return a;
}

class SqmRecordTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
};

TEST_F(SqmRecordTest, FreshRecordDefaults) {
  SqmRecord record;
  EXPECT_TRUE(record.isDialup());
  EXPECT_EQ(record.connectionType(), "Regular");
  EXPECT_EQ(record.errorCode(), 0);
  EXPECT_EQ(record.osVersion().rfind("Linux", 0), 0u);
  EXPECT_TRUE(record.isTouched());
  EXPECT_EQ(record.uniqueSessionID(), "");
}

TEST_F(SqmRecordTest, EncodingsAndWriteOnce) {
  SqmRecord r;
  r.setBool(true, "UserCanceled");
  EXPECT_EQ(r.fields().at("UserCanceled"), "Yes");
  r.setString(std::string("yES"), "UserCanceled");
  EXPECT_TRUE(r.userCanceled());
  r.setString(std::string(""), "UserCanceled");
  EXPECT_FALSE(r.userCanceled());
  r.setString(std::nullopt, "PopType");
  EXPECT_EQ(r.fields().count("PopType"), 0u);
  r.setInteger(-7, "ErrorCode");
  EXPECT_EQ(r.fields().at("ErrorCode"), "-7");

  r.setDialStartTime(100.5);
  r.setDialStartTime(200.0);
  EXPECT_DOUBLE_EQ(*r.dialStartTime(), 100.5);
  EXPECT_FALSE(r.dialStopTime().has_value());
  r.setTimeToConnect(0.0000001);  // below the threshold: still counts as unset
  r.setTimeToConnect(3.0);
  r.setTimeToConnect(9.0);
  EXPECT_DOUBLE_EQ(r.timeToConnect(), 3.0);
}

TEST_F(SqmRecordTest, DialupAndBroadbandMasking) {
  SqmRecord r;
  r.setBaudRate(std::string("52000"));
  r.setAccessProcedure(std::string("GI"));
  EXPECT_EQ(r.baudRate(), "52000");
  EXPECT_EQ(r.accessProcedure(), "");
  r.setIsDialup(false);
  EXPECT_EQ(r.baudRate(), "");
  EXPECT_EQ(r.accessProcedure(), "GI");
  EXPECT_EQ(r.fields().at("BaudRate"), "52000");  // kept
}

TEST_F(SqmRecordTest, AccessTypeLetters) {
  struct Case {
    uint32_t pop;
    uint32_t requested;
    const char* letter;
  } cases[] = {{0x4, 0xFFFFFFFF, "D"}, {0x7, 0x3, "I"}, {0x100, 0x187, "P"},    {0x8, 0x78, "E"},
               {0x20, 0x70, "W"},      {0x4, 0x78, ""}, {0xC, 0xFFFFFFFF, "D"}, {0x18, 0x10, "W"}};
  for (const auto& c : cases) {
    EXPECT_EQ(SqmRecord::accessTypeLetter(c.pop, c.requested), c.letter) << std::hex << c.pop << " " << c.requested;
  }
}

TEST_F(SqmRecordTest, ExportFormatters) {
  EXPECT_EQ(SqmRecord::formatDateForExport(std::nullopt), "");
  EXPECT_EQ(SqmRecord::formatDateForExport(localDate(2026, 3, 4, 12, 0, 0, 0.9996)), "2026-03-04 12:00:00.1000");
  EXPECT_EQ(SqmRecord::formatDateForExport(localDate(2026, 3, 4, 12, 0, 0, 0.0004)), "2026-03-04 12:00:00.000");
  EXPECT_EQ(SqmRecord::formatDateForExport(localDate(2004, 3, 3, 14, 5, 9, 0.25)), "2004-03-03 14:05:09.250");
  EXPECT_EQ(SqmRecord::formatIntervalForExport(0.4), "0");
  EXPECT_EQ(SqmRecord::formatIntervalForExport(0.0), "");
  EXPECT_EQ(SqmRecord::formatIntervalForExport(0.000001), "");
  EXPECT_EQ(SqmRecord::formatIntervalForExport(2.5), "3");
  EXPECT_EQ(SqmRecord::formatIntervalForExport(61.49), "61");
  uint32_t address = 0;
  auto* b = reinterpret_cast<unsigned char*>(&address);
  b[0] = 192;
  b[1] = 0;
  b[2] = 2;
  b[3] = 33;
  EXPECT_EQ(SqmRecord::formatIPAddressForExport(address), "192.0.2.33");
}

TEST_F(SqmRecordTest, ProcessCodesFirstWins) {
  SqmRecord::resetCodes();
  SqmRecord::logError(12);
  SqmRecord::logError(15);
  EXPECT_EQ(SqmRecord::getError(), 12);
  SqmRecord::logDisconnectCode(1);
  SqmRecord::logDisconnectCode(2);
  EXPECT_EQ(SqmRecord::getDisconnectCode(), 1);
  SqmRecord a(dialupAttempt(), 0x4, "1 408 5550100");  // a new attempt resets them
  EXPECT_EQ(SqmRecord::getError(), 0);
  EXPECT_EQ(SqmRecord::getDisconnectCode(), 100);
}

TEST_F(SqmRecordTest, AttemptFields) {
  SqmAttempt a = dialupAttempt();
  SqmRecord same(a, 0xFFFFFFFF, a.computedDialString);
  EXPECT_EQ(same.popID(), "1001");
  EXPECT_EQ(same.destinationPhoneNumber(), a.safeDialString);
  EXPECT_EQ(same.userID(), "jdoe@example.net");
  EXPECT_EQ(same.modemPhoneNumber(), "408/5550100");
  EXPECT_EQ(same.profileID(), "77");
  EXPECT_EQ(same.accessType(), "D");
  EXPECT_TRUE(same.sendDataToServer());
  SqmRecord edited(a, 0xFFFFFFFF, "9,1 408 5550100");
  EXPECT_EQ(edited.popID(), "user");
  EXPECT_EQ(edited.destinationPhoneNumber(), "9,1 408 5550100");

  SqmAttempt wifi = a;
  wifi.popAccessType = 0x10;
  wifi.accessProcedure = "GI";
  SqmRecord bb(wifi, 0x78, "anything");
  EXPECT_FALSE(bb.isDialup());
  EXPECT_EQ(bb.popID(), "1001");
  EXPECT_EQ(bb.accessType(), "W");
  EXPECT_EQ(bb.accessProcedure(), "GI");
}

TEST_F(SqmRecordTest, BroadbandExportEmptiesDialupColumns) {
  SqmAttempt wifi = dialupAttempt();
  wifi.popAccessType = 0x10;
  SqmRecord r(wifi, 0x78, "");
  r.setBaudRate(std::string("52000"));
  r.setRasVersion(std::string("x"));
  auto columns = exportColumns(r.exportLine());
  ASSERT_EQ(columns.size(), 46u);
  for (int column : {4, 5, 12, 14, 26, 34}) {  // 1-based: Ras, Device, DestPhone, PopScript, Baud, ModemPhone
    EXPECT_EQ(columns[static_cast<size_t>(column - 1)], "") << "column " << column;
  }
  EXPECT_EQ(columns[0], "jdoe@example.net");
  EXPECT_EQ(columns[12], "1001");
  EXPECT_EQ(columns[14], "Regular");
  EXPECT_EQ(columns[29], "0");  // ErrorCode
  EXPECT_EQ(columns[45], "W");  // AccessType
}

TEST_F(SqmRecordTest, EventsKeepFirstValues) {
  SqmRecord::newRecordWithAttempt(dialupAttempt(), 0x4, "1 408 5550100")->preConnect();
  SqmRecord::sharedRecord()->preDial();
  auto first = SqmRecord::sharedRecord()->dialStartTime();
  ASSERT_TRUE(first.has_value());
  SqmRecord::sharedRecord()->preDial();
  EXPECT_EQ(SqmRecord::sharedRecord()->dialStartTime(), first);

  SqmRecord::sharedRecord()->cancel();
  auto afterCancel = SqmRecord::sharedRecord();
  double length = afterCancel->sessionLength();
  EXPECT_TRUE(afterCancel->dialStopTime().has_value());
  afterCancel->releaseSharedLock(false);
  SqmRecord::sharedRecord()->disconnect();
  EXPECT_EQ(SqmRecord::sharedRecord()->sessionLength(), length);
}

TEST_F(SqmRecordTest, ConnectedAttemptTimesAndAddresses) {
  uint32_t client = 0;
  uint32_t gateway = 0;
  reinterpret_cast<unsigned char*>(&client)[0] = 10;
  reinterpret_cast<unsigned char*>(&client)[3] = 7;
  reinterpret_cast<unsigned char*>(&gateway)[0] = 10;
  reinterpret_cast<unsigned char*>(&gateway)[3] = 1;
  InterfaceInfo::install(std::make_shared<FixedInterfaceInfo>(DefaultInterface{"ppp0", client, gateway}));
  SqmRecord::newRecordWithAttempt(dialupAttempt(), 0x4, "1 408 5550100")->preConnect();
  SqmRecord::sharedRecord()->preDial();
  SqmRecord::sharedRecord()->modemNegotiated();
  SqmRecord::sharedRecord()->preTunnel();
  SqmRecord::sharedRecord()->tunnel();
  SqmRecord::sharedRecord()->postConnect();
  auto r = SqmRecord::sharedRecord();
  InterfaceInfo::install(nullptr);
  ASSERT_TRUE(r->dialStopTime() && r->dialStartTime() && r->vpnStopTime() && r->modemNegotiateTime());
  EXPECT_NEAR(r->timeToConnect(), *r->dialStopTime() - *r->dialStartTime(), 1e-5);
  EXPECT_GE(*r->vpnStopTime(), *r->vpnStartTime());
  EXPECT_EQ(r->clientIP(), "10.0.0.7");
  EXPECT_EQ(r->serverIP(), "10.0.0.1");
}

TEST_F(SqmRecordTest, ExportAppendsLineAndHistoryAndDeletesStore) {
  env.writeConfig("sqmview.err", "500,Update failed,Run the update again\n7,Short line\n");
  env.apply();
  SqmRecord::newRecordWithAttempt(dialupAttempt(), 0x4, "1 408 5550100")->preConnect();
  SqmRecord::logError(500);
  std::string store = SqmRecord::sqmPath(0, "SqmRecord.plist");
  EXPECT_TRUE(test::fileExists(store));
  // The next attempt exports this one.
  SqmRecord::newRecordWithAttempt(dialupAttempt(), 0x4, "1 408 5550100")->releaseSharedLock(false);
  EXPECT_FALSE(test::fileExists(store));
  // The first attempt exported the (missing) record before it; this attempt's line is the last.
  std::string data = readFile(SqmRecord::sqmPath(0, "SqmData.txt"));
  ASSERT_EQ(std::count(data.begin(), data.end(), '\n'), 2);
  auto columns = exportColumns(data.substr(data.find('\n') + 1));
  ASSERT_EQ(columns.size(), 46u);
  EXPECT_EQ(columns[29], "500");
  EXPECT_EQ(columns[44], "100");  // DisconnectReason: none
  std::string history = readFile(env.supportDir() + "/thruput.log");
  EXPECT_NE(history.find("Error code\t500\nSQM Unique Session ID\t\n"), std::string::npos) << history;
  EXPECT_NE(history.find("Error message\tUpdate failed\nRecommendation\tRun the update again\n"), std::string::npos);
  EXPECT_NE(history.find("\n" + std::string(42, '=') + "\n"), std::string::npos);

  // Without a table line, and with a line of two fields.
  for (auto [code, message, recommendation] : {std::tuple{7, "Short line", ""}, std::tuple{9, "Unknown", ""}}) {
    SqmRecord r;
    r.setErrorCode(code);
    auto block = r.historyBlock();
    ASSERT_EQ(block.size(), 12u);
    EXPECT_EQ(block[9], std::string("Error message\t") + message);
    EXPECT_EQ(block[10], std::string("Recommendation\t") + recommendation);
    EXPECT_EQ(block[0], "User name/realm\t");
  }
}

TEST_F(SqmRecordTest, MissingStoreStillExportsDefaults) {
  SqmRecord::resetCodes();
  SqmRecord::logError(678);
  auto previous = SqmRecord::sharedRecord();  // nothing stored
  previous->appendToDataFile();
  previous->releaseSharedLock(false);
  auto columns = exportColumns(readFile(SqmRecord::sqmPath(0, "SqmData.txt")));
  ASSERT_EQ(columns.size(), 46u);
  EXPECT_EQ(columns[14], "Regular");
  EXPECT_EQ(columns[29], "678");
  EXPECT_EQ(columns[1].rfind("Linux", 0), 0u);
}

TEST_F(SqmRecordTest, StoreRoundTripAndFolders) {
  std::string path = SqmRecord::sqmPath(0, "SqmRecord.plist");
  EXPECT_EQ(path, env.supportDir() + "/SqmRecord.plist");
  EXPECT_EQ(SqmRecord::sqmPath(1, "SqmRecord.lock"), env.env().lockDir() + "/SqmRecord.lock");
  std::map<std::string, std::string> fields{{"A", "1"}, {"Quote", "a \"b\" <c> & d"}, {"Empty", ""}};
  ASSERT_TRUE(writeSqmStore(path, fields));
  std::map<std::string, std::string> back;
  ASSERT_TRUE(readSqmStore(path, back));
  EXPECT_EQ(back, fields);
  test::writeFile(path, "<?xml version=\"1.0\"?><plist><dict><key>A</key>");
  EXPECT_FALSE(readSqmStore(path, back));
}

TEST_F(SqmRecordTest, PlainFileWhereFolderBelongs) {
  // A regular file standing in for the product folder is replaced by the folder ...
  test::writeFile(env.env().dataHome() + "/Zavro", "junk");
  std::string path = SqmRecord::sqmPath(0, "SqmData.txt");
  EXPECT_TRUE(std::filesystem::is_directory(env.env().dataHome() + "/Zavro/ZavroConnect"));
  // ... but a symbolic link is never followed or removed.
  std::string lockBase = env.env().tempDir() + "/Zavro";
  std::string target = env.root().mkdir("elsewhere");
  std::filesystem::create_symlink(target, lockBase);
  SqmRecord::sqmPath(1, "x.lock");
  EXPECT_TRUE(std::filesystem::is_symlink(lockBase));
  (void)path;
}

}  // namespace
}  // namespace zavro
