// LogFile: the cut at the high-water mark, line formats, the process-wide logs and the support folder.
#include "common/LogFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::readFile;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    out.push_back(line);
  }
  return out;
}

TEST(LogFileCut, ExactHighWaterMarkIsNotCut) {
  test::TempDir dir;
  std::string path = dir.file("a.log");
  LogFile log(path);
  // 30 lines of 1023 bytes + newline = 30720 bytes exactly.
  std::string line(1023, 'x');
  for (int i = 0; i < 30; ++i) {
    log.log(line);
  }
  EXPECT_EQ(readFile(path).size(), 30720u);
  log.log("");  // one more byte: 30721 > 30720, so the cut runs
  std::string after = readFile(path);
  EXPECT_LE(after.size(), 20480u);
  EXPECT_GT(after.size(), 0u);
  EXPECT_FALSE(test::fileExists(path + ".tmp"));
}

TEST(LogFileCut, KeepsNewestWholeLines) {
  test::TempDir dir;
  std::string path = dir.file("b.log");
  LogFile log(path);
  std::vector<std::string> written;
  for (int i = 0; i < 2000; ++i) {
    std::string line = "line " + std::to_string(i) + std::string(static_cast<size_t>(i % 37), '.');
    written.push_back(line);
    log.log(line);
  }
  std::string text = readFile(path);
  EXPECT_LE(text.size(), 30720u);
  auto lines = splitLines(text);
  ASSERT_FALSE(lines.empty());
  // The file is a suffix of what was written, starting at a line start.
  auto first = std::find(written.begin(), written.end(), lines.front());
  ASSERT_NE(first, written.end());
  std::vector<std::string> expected(first, written.end());
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(text.back(), '\n');
}

TEST(LogFileCut, SingleCutKeepsAtMostLowWaterMarkAndDropsStraddlingLine) {
  test::TempDir dir;
  std::string path = dir.file("c.log");
  // Prepare a file just under the mark, then one write takes it over.
  std::string content;
  int n = 0;
  while (content.size() < 30700) {
    content += "entry-" + std::to_string(n++) + "\n";
  }
  test::writeFile(path, content);
  LogFile log(path);
  log.log(std::string(40, 'z'));
  std::string all = content + std::string(40, 'z') + "\n";
  std::string after = readFile(path);
  ASSERT_LE(after.size(), 20480u);
  // What is kept is the tail of the old text that starts at the first line boundary at or after
  // size - 20480, minus the line straddling it.
  size_t cut = all.size() - 20480;
  size_t lineStart = all.rfind('\n', cut - 1) + 1;
  size_t straddlingEnd = all.find('\n', lineStart);
  ASSERT_NE(straddlingEnd, std::string::npos);
  EXPECT_EQ(after, all.substr(straddlingEnd + 1));
}

TEST(LogFileCut, LongLinesAreCopiedInPieces) {
  test::TempDir dir;
  std::string path = dir.file("d.log");
  LogFile log(path);
  std::string longLine(3000, 'L');
  for (int i = 0; i < 12; ++i) {
    log.log(std::to_string(i) + longLine);
  }
  std::string text = readFile(path);
  EXPECT_LE(text.size(), 20480u + 3002u);
  // Pieces after the cut are copied unchanged: every whole line present is intact and the newest
  // lines survive.
  auto lines = splitLines(text);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "11" + longLine);
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), longLine.size() + (lines[i][1] == 'L' ? 1u : 2u));
  }
}

TEST(LogFileCut, ThreadsNeverInterleaveAndNothingNewIsLost) {
  test::TempDir dir;
  std::string path = dir.file("e.log");
  LogFile log(path);
  constexpr int kThreads = 4;
  constexpr int kLines = 3000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) {
        log.log("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + std::string(20, 'a' + static_cast<char>(t)));
      }
    });
  }
  for (auto& th : threads) {
    th.join();
  }
  std::string text = readFile(path);
  auto lines = splitLines(text);
  const std::regex shape(R"(thread ([0-3]) line (\d+) ([a-d]{20}))");
  std::vector<int> lastSeen(kThreads, -1);
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << "broken line: " << line;
    int t = std::stoi(m[1]);
    int i = std::stoi(m[2]);
    EXPECT_EQ(m[3].str(), std::string(20, 'a' + static_cast<char>(t)));
    // Per thread the lines kept are consecutive: a cut drops a prefix, never a line in between.
    if (lastSeen[t] >= 0) {
      EXPECT_EQ(i, lastSeen[t] + 1) << line;
    }
    lastSeen[t] = i;
  }
  // Every thread's newest line is there unless a later cut dropped that thread's whole tail region.
  int present = 0;
  for (int t = 0; t < kThreads; ++t) {
    present += lastSeen[t] == kLines - 1 ? 1 : 0;
  }
  EXPECT_GE(present, 1);
}

TEST(LogFileFormat, StandardAndPlainLines) {
  test::TempDir dir;
  std::string path = dir.file("f.log");
  LogFile log(path);
  log.stdLog("Connected");
  log.logFormat("%s %d", "plain", 7);
  log.stdLogFormat("Dialing %s", "POP 12");
  auto lines = splitLines(readFile(path));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] Connected)"))) << lines[0];
  EXPECT_EQ(lines[1], "plain 7");
  EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\[.{19}\] Dialing POP 12)")));
  EXPECT_EQ(LogFile::currentTimestamp().size(), 19u);
  std::string longMessage(2000, 'm');
  log.logFormat("%s", longMessage.c_str());
  EXPECT_EQ(splitLines(readFile(path)).back(), longMessage);
}

TEST(LogFileLifecycle, CloseAndUnopenable) {
  test::TempDir dir;
  LogFile log(dir.file("g.log"));
  EXPECT_TRUE(log.isOpen());
  log.log("one");
  EXPECT_EQ(*log.getLogContents(), "one\n");
  log.close();
  log.close();  // nothing
  EXPECT_FALSE(log.getLogContents().has_value());
  log.log("dropped");
  EXPECT_EQ(readFile(dir.file("g.log")), "one\n");

  LogFile nowhere(dir.file("missing/folder/h.log"));
  EXPECT_FALSE(nowhere.isOpen());
  nowhere.log("silently dropped");
  EXPECT_FALSE(nowhere.getLogContents().has_value());
}

TEST(SupportDirectory, CreatedAndLogsLiveInIt) {
  test::TestEnvironment env;
  auto dir = ZavroApplicationSupportDirectory::productSupportDirectory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(*dir, env.env().dataHome() + "/Zavro/ZavroConnect");
  struct stat st {};
  ASSERT_EQ(::stat(dir->c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  ConnectionLog::connectionLog()->stdLog("hello");
  UpdateLog::updateLog()->log("update");
  ThruputLog::thruputLog()->logFormat("%d", 3);
  EXPECT_NE(readFile(*dir + "/connection.log").find("] hello\n"), std::string::npos);
  EXPECT_EQ(readFile(*dir + "/update.log"), "update\n");
  EXPECT_EQ(readFile(*dir + "/thruput.log"), "3\n");
  EXPECT_EQ(ConnectionLog::connectionLog(), ConnectionLog::connectionLog());
}

TEST(SupportDirectory, CompanyPathIsAPlainFile) {
  test::TestEnvironment env;
  test::writeFile(env.env().dataHome() + "/Zavro", "not a folder");
  auto dir = ZavroApplicationSupportDirectory::productSupportDirectory();
  ASSERT_TRUE(dir.has_value());
  EXPECT_EQ(readFile(env.env().dataHome() + "/Zavro"), "not a folder");
  ConnectionLog::connectionLog()->stdLog("goes nowhere");
  EXPECT_FALSE(ConnectionLog::connectionLog()->isOpen());
}

TEST(ConfigurationFolder, InsideInstallationDirectory) {
  test::TestEnvironment env;
  EXPECT_EQ(ZavroConfiguration::configPath(), env.env().installDir() + "/Configuration");
  EXPECT_EQ(ZavroConfiguration::pathToConfigFile("pbook.txt"), env.env().installDir() + "/Configuration/pbook.txt");
  env.env().setConfigDir("/elsewhere/conf");
  env.apply();
  EXPECT_EQ(ZavroConfiguration::pathToConfigFile("config.ini"), "/elsewhere/conf/config.ini");
}

}  // namespace
}  // namespace zavro
