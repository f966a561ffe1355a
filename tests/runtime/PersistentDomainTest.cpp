// PersistentDomain: whole-file reading and atomic writing, foreign entries, and damaged or unreadable files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/LogFile.h"
#include "runtime/PersistentDomain.h"
#include "support/TempDir.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::fileExists;
using test::readFile;
using Dict = PropertyList::Dictionary;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::string connectionLogText() {
  return ConnectionLog::connectionLog()->getLogContents().value_or("");
}

class PersistentDomainTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(std::filesystem::path(path).parent_path()); }

  test::TestEnvironment env;
  std::string path = env.env().preferencesFile();
};

TEST_F(PersistentDomainTest, MissingFileIsEmptyAndSynchronizeCreatesItPrivately) {
  std::filesystem::remove(std::filesystem::path(path).parent_path());
  ASSERT_FALSE(fileExists(path));
  PersistentDomain domain(path);
  EXPECT_TRUE(domain.persistentDomain().empty());
  domain.setObject("Connect", Dict{{"SmartRedial", "YES"}});
  ASSERT_TRUE(domain.synchronize());
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(modeOf(std::filesystem::path(path).parent_path()), 0700u);

  PersistentDomain reread(path);
  EXPECT_EQ(reread.objectForKey("Connect"), PropertyList(Dict{{"SmartRedial", "YES"}}));
  EXPECT_FALSE(reread.movedAsidePath());
}

TEST_F(PersistentDomainTest, EntriesOfOthersSurviveAWriteUnchanged) {
  const std::string foreign = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>NSWindow Frame Main</key><string>1 2 3 4</string>
<key>Count</key><integer>7</integer>
<key>Zoom</key><real>1.5</real>
<key>Visible</key><false/>
<key>Seen</key><date>2020-05-01T12:00:00Z</date>
<key>Blob</key><data>AAEC</data>
</dict></plist>)";
  test::writeFile(path, foreign);
  Dict before = *PropertyList::fromXML(foreign)->dictionary();

  PersistentDomain domain(path);
  domain.setObject("Login", Dict{{"UserName", "ann"}});
  ASSERT_TRUE(domain.synchronize());

  Dict after = PersistentDomain(path).persistentDomain();
  EXPECT_EQ(after.size(), before.size() + 1);
  for (const auto& [key, value] : before) {
    EXPECT_EQ(after.at(key), value) << key;
  }
}

TEST_F(PersistentDomainTest, DamagedFileIsMovedAsideLoggedAndNeverOverwritten) {
  const std::string good = *PropertyList(Dict{{"Login", Dict{{"UserName", "ann"}}}}).toXML();
  struct Row {
    const char* name;
    std::string bytes;
  };
  const Row rows[] = {
      {"truncated", good.substr(0, good.size() - 20)},
      {"garbage", "\x01\x02 not a plist"},
      {"top level not a dictionary", "<plist><array><string>x</string></array></plist>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::writeFile(path, row.bytes);
    std::filesystem::remove(path + ".corrupt");

    PersistentDomain domain(path);
    EXPECT_TRUE(domain.persistentDomain().empty());
    ASSERT_EQ(domain.movedAsidePath(), path + ".corrupt");
    EXPECT_EQ(readFile(path + ".corrupt"), row.bytes);
    EXPECT_FALSE(fileExists(path));
    std::string log = connectionLogText();
    EXPECT_NE(log.find(path + " is damaged"), std::string::npos) << log;
    EXPECT_NE(log.find("moved it aside as " + path + ".corrupt"), std::string::npos) << log;

    // Life goes on: the next write makes a good file and leaves the damaged copy alone.
    domain.setObject("Connect", Dict{{"DialTimeout", "60"}});
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(PersistentDomain(path).objectForKey("Connect"), PropertyList(Dict{{"DialTimeout", "60"}}));
    EXPECT_EQ(readFile(path + ".corrupt"), row.bytes);
  }
}

TEST_F(PersistentDomainTest, EmptyFileIsAnEmptyDomain) {
  test::writeFile(path, "");
  PersistentDomain domain(path);
  EXPECT_TRUE(domain.persistentDomain().empty());
  EXPECT_FALSE(domain.movedAsidePath());
}

TEST_F(PersistentDomainTest, UnreadableFileIsLeftInPlace) {
  // Something that cannot be read as a file stands at the path: writing over it would destroy it.
  std::filesystem::create_directories(path);
  test::writeFile(path + "/keep", "x");
  PersistentDomain domain(path);
  EXPECT_TRUE(domain.persistentDomain().empty());
  domain.setObject("Connect", Dict{});
  EXPECT_FALSE(domain.synchronize());
  EXPECT_EQ(readFile(path + "/keep"), "x");
  EXPECT_NE(connectionLogText().find(path + " cannot be read"), std::string::npos);
}

TEST_F(PersistentDomainTest, WriteReplacesTheFileAtomically) {
  PersistentDomain domain(path);
  domain.setObject("A", Dict{{"k", "old"}});
  ASSERT_TRUE(domain.synchronize());
  std::string oldBytes = readFile(path);

  // A reader that opened the old file keeps reading the old file whole: the new one is renamed over it,
  // not written into it.
  int reader = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  domain.setObject("A", Dict{{"k", std::string(100000, 'n')}});
  ASSERT_TRUE(domain.synchronize());
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(n));
  ::close(reader);
  EXPECT_EQ(seen, oldBytes);
  EXPECT_EQ(PersistentDomain(path).objectForKey("A")->find("k")->string()->size(), 100000u);
  EXPECT_EQ(modeOf(path), 0600u);

  // No temporary file is left beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& e :
       std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(PersistentDomainTest, FailedWriteLeavesTheFileAsItWas) {
  PersistentDomain domain(path);
  domain.setObject("A", Dict{{"k", "v"}});
  ASSERT_TRUE(domain.synchronize());
  std::string before = readFile(path);
  domain.setObject("B", Dict{{"k", std::string("zero\0byte", 9)}});
  EXPECT_FALSE(domain.synchronize());
  EXPECT_EQ(readFile(path), before);
  EXPECT_NE(connectionLogText().find("was not written"), std::string::npos);
}

TEST_F(PersistentDomainTest, StandardDomainFollowsTheEnvironment) {
  auto domain = PersistentDomain::standardDomain();
  EXPECT_EQ(domain->path(), path);
  EXPECT_EQ(PersistentDomain::standardDomain(), domain);
  test::TestEnvironment other;
  EXPECT_EQ(PersistentDomain::standardDomain()->path(), other.env().preferencesFile());
}

}  // namespace
}  // namespace zavro
