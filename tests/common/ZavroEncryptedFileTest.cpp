// File scrambling: the 256-byte mask, detection by top bits, plain and scrambled reads, (atomic) writes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/ZavroEncryptedFile.h"
#include "support/TempDir.h"

namespace zavro {
namespace {

TEST(FileScrambling, MaskIsOnesComplementOfPositionWithPeriod256) {
  std::string zeros(600, '\0');
  std::string scrambled = zeros;
  zavroEncrypt(&scrambled);
  for (size_t i : {0u, 1u, 255u, 256u, 257u, 511u, 512u, 599u}) {
    EXPECT_EQ(static_cast<uint8_t>(scrambled[i]), 255 - (i % 256)) << i;
  }
  EXPECT_EQ(static_cast<uint8_t>(scrambled[256]), 255);
  zavroDecrypt(&scrambled);
  EXPECT_EQ(scrambled, zeros);
}

TEST(FileScrambling, DetectionLooksAtTheFirst32BytesOnly) {
  struct Case {
    const char* name;
    std::string bytes;
    bool scrambled;
  };
  const Case cases[] = {
      {"empty", "", false},
      {"ascii", "[Profile]\r\nDialTimeout=30\r\n", false},
      {"utf8_bom", "\xEF\xBB\xBF[Profile]\n", true},
      {"high_byte_at_31", std::string(31, 'a') + "\x80", true},
      {"high_byte_at_32", std::string(32, 'a') + "\x80", false},
      {"short_with_high_byte", "\xC3", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zavroEncrypted(c.bytes), c.scrambled) << c.name;
  }
}

TEST(FileScrambling, PlainFilesReadUnchangedAndScrambledOnesDescrambled) {
  test::TempDir dir;
  const std::string plain = "[Profile]\nName=Demo\nURL=http://example.net/a=b\n";
  EXPECT_EQ(dataWithContentsOfZavroFile(dir.write("plain.ini", plain)), plain);

  std::string scrambled = plain;
  zavroEncrypt(&scrambled);
  EXPECT_TRUE(zavroEncrypted(scrambled));
  EXPECT_EQ(dataWithContentsOfZavroFile(dir.write("scrambled.ini", scrambled)), plain);
  EXPECT_EQ(dataWithZavroData(scrambled), plain);
  EXPECT_EQ(dataWithZavroData(plain), plain);
  EXPECT_EQ(dataWithContentsOfZavroURL("file://" + dir.file("scrambled.ini")), plain);

  EXPECT_EQ(dataWithContentsOfZavroFile(dir.file("missing.ini")), std::nullopt);
  EXPECT_EQ(dataWithContentsOfZavroFile(dir.path()), std::nullopt);  // a folder cannot be read
  EXPECT_EQ(dataWithContentsOfZavroURL("http://example.net/config.ini"), std::nullopt);
  EXPECT_EQ(dataWithContentsOfZavroFile(dir.write("empty.ini", "")), std::string());
}

TEST(FileScrambling, PlainFileWithByteOrderMarkIsTakenForScrambled) {
  test::TempDir dir;
  const std::string withBom = "\xEF\xBB\xBF[Profile]\nName=Demo\n";
  auto read = dataWithContentsOfZavroFile(dir.write("bom.ini", withBom));
  ASSERT_TRUE(read);
  EXPECT_NE(*read, withBom);
  std::string expected = withBom;
  zavroDecrypt(&expected);
  EXPECT_EQ(*read, expected);
}

TEST(FileScrambling, WriteThenReadIsIdenticalBothWays) {
  test::TempDir dir;
  std::string plain;
  for (int i = 0; i < 700; ++i) {
    plain.push_back(static_cast<char>(' ' + i % 90));
  }
  for (bool atomically : {false, true}) {
    std::string path = dir.file(atomically ? "atomic.txt" : "direct.txt");
    std::string buffer = plain;
    ASSERT_TRUE(writeToZavroFile(buffer, path, atomically));
    EXPECT_EQ(buffer, plain);  // the caller's buffer is left alone
    std::string onDisk = test::readFile(path);
    ASSERT_EQ(onDisk.size(), plain.size());
    EXPECT_EQ(static_cast<uint8_t>(onDisk[0]), static_cast<uint8_t>(plain[0] ^ 0xFF));
    EXPECT_EQ(dataWithContentsOfZavroFile(path), plain) << atomically;
  }
}

TEST(FileScrambling, AtomicWriteReplacesKeepsModeAndLeavesNoTemporary) {
  test::TempDir dir;
  std::string path = dir.write("config.ini", "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(writeToZavroURL("[New]\n", "file://" + path, true));
  EXPECT_EQ(dataWithContentsOfZavroFile(path), "[New]\n");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(FileScrambling, WritesThatCannotHappenReportFailure) {
  test::TempDir dir;
  std::string inMissingFolder = dir.file("no/such/folder/config.ini");
  EXPECT_FALSE(writeToZavroFile("x", inMissingFolder, true));
  EXPECT_FALSE(writeToZavroFile("x", inMissingFolder, false));
  EXPECT_FALSE(writeToZavroFile("x", dir.path(), true));  // cannot replace a folder with a file
  EXPECT_FALSE(writeToZavroURL("x", "http://example.net/x", false));
}

}  // namespace
}  // namespace zavro
