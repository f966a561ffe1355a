// CSVFile: line endings, comments and #VER, the field scanner, integers, blocks and copies.
#include "common/CSVFile.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace zavro {
namespace {

std::vector<std::string> linesOf(const CSVFile& csv) {
  std::vector<std::string> out;
  for (int i = 0; i < csv.count(); ++i) {
    out.push_back(*csv.getLineAsString(i));
  }
  return out;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

TEST(CSVFileLines, TerminatorTable) {
  const LineCase cases[] = {
      {"crlf", "a,b\r\nc", {"a,b", "c"}},
      {"lfcr", "a\n\rb\n\r", {"a", "b"}},
      {"lflf", "a\n\nb", {"a", "", "b"}},
      {"crcr", "a\r\rb", {"a", "", "b"}},
      {"crlf_crlf", "a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"lfcrlf", "a\n\r\nb", {"a", "", "b"}},
      {"last_line_unterminated", "x\ny", {"x", "y"}},
      {"only_terminators", "\n\n", {"", ""}},
      {"mixed_cr_lf_cr", "a\r\n\rb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    auto csv = CSVFile::fileWithData(c.bytes);
    EXPECT_EQ(linesOf(*csv), c.lines) << c.name;
  }
}

TEST(CSVFileLines, LargeFileWithCarriageReturnsOnly) {
  // Every terminator is a CR: the splitter must still pass over the bytes a bounded number of times
  // (a search for LF from every line start would take hours on a phonebook of this shape).
  std::string bytes;
  for (int i = 0; i < 300000; ++i) {
    bytes += "US,CA,City " + std::to_string(i) + "\r";
  }
  auto csv = CSVFile::fileWithData(bytes);
  ASSERT_EQ(csv->count(), 300000);
  EXPECT_EQ(csv->getFieldAsString(2, 299999), "City 299999");
}

TEST(CSVFileLines, OffsetsLengthsAndBlockNumbers) {
  CSVFile csv;
  csv.loadWithData("");       // ignored: uses no block number
  csv.loadWithData("ab\ncd");  // block 0
  csv.loadWithData("#c\nef");  // block 1
  ASSERT_EQ(csv.count(), 3);
  EXPECT_EQ(csv.getLine(1).start(), 3);
  EXPECT_EQ(csv.getLine(1).length(), 2);
  EXPECT_EQ(csv.lineIndex(0), 0);
  EXPECT_EQ(csv.lineIndex(1), 0);
  EXPECT_EQ(csv.lineIndex(2), 1);
  EXPECT_EQ(csv.getLine(2).start(), 3);
  int length = -1;
  EXPECT_EQ(csv.getLineBuffer(5, length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_FALSE(csv.getLineAsString(-1).has_value());
}

TEST(CSVFileLines, CommentsAndVersion) {
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t version;
    int count;
  } cases[] = {
      {"first_line", "#VER 1234\na,b\n", 1234, 1},
      {"zero_then_seven", "#VER 0\n#VER 7\nx\n", 7, 1},
      {"five_then_six", "#VER 5\n#VER 6\n", 5, 0},
      {"lower_case_is_plain_comment", "#ver 9\n", 0, 0},
      {"no_digits", "#VERx\n#VER\t42abc\n", 42, 0},
      {"blank_before_hash_is_a_line", " #VER 3\n", 0, 1},
      {"comment_without_terminator", "a\n#VER 8", 8, 1},
  };
  for (const auto& c : cases) {
    auto csv = CSVFile::fileWithData(c.bytes);
    EXPECT_EQ(csv->version(), c.version) << c.name;
    EXPECT_EQ(csv->count(), c.count) << c.name;
  }
}

TEST(CSVFileFields, ScannerTable) {
  struct Case {
    const char* name;
    std::string line;
    std::vector<std::string> fields;
  } cases[] = {
      {"quoted_with_blanks", "  \"New York, NY\" ,212, 555 ", {"New York, NY", "212", "555 "}},
      {"trailing_comma", "a,", {"a", ""}},
      {"single", "a", {"a"}},
      {"empty", "", {}},
      {"blanks_only", " \t ", {}},
      {"stray_after_quote", "\"ab\"cd,e", {"ab", "e"}},
      {"unterminated_quote", "\"ab", {"ab"}},
      {"unterminated_quote_swallows_commas", "\"a,b", {"a,b"}},
      {"empty_fields", ",,", {"", "", ""}},
      {"blank_then_comma", " ,x", {"", "x"}},
      {"tab_before_quote", "\t\"q\"", {"q"}},
  };
  for (const auto& c : cases) {
    auto csv = CSVFile::fileWithData(c.line.empty() ? std::string("\n") : c.line);
    ASSERT_EQ(csv->count(), 1) << c.name;
    EXPECT_EQ(csv->getArrayForLine(0), c.fields) << c.name;
    // The same scan answers single fields and the field-info call.
    for (size_t i = 0; i < c.fields.size(); ++i) {
      EXPECT_EQ(csv->getFieldAsString(static_cast<int>(i), 0), c.fields[i]) << c.name << " field " << i;
    }
    int length = -1;
    EXPECT_EQ(csv->getFieldBytes(static_cast<int>(c.fields.size()), csv->getLine(0), length), nullptr) << c.name;
    EXPECT_EQ(length, 0);
    EXPECT_EQ(csv->getFieldAsString(static_cast<int>(c.fields.size()), 0), "") << c.name;
  }
}

TEST(CSVFileFields, FieldInfoFillsUnusedSlots) {
  auto csv = CSVFile::fileWithData("a,bb,c");
  const char* starts[5];
  int lengths[5];
  EXPECT_EQ(csv->getFieldInfoForLineEntry(csv->getLine(0), starts, lengths, 5), 3);
  EXPECT_EQ(std::string(starts[1], static_cast<size_t>(lengths[1])), "bb");
  EXPECT_EQ(starts[3], nullptr);
  EXPECT_EQ(lengths[4], 0);
  EXPECT_EQ(csv->getFieldInfoForLineEntry(csv->getLine(0), starts, lengths, 2), 2);
}

TEST(CSVFileFields, IntegerForms) {
  struct Case {
    const char* text;
    long value;
  } cases[] = {{"0x1F", 31}, {"017", 15}, {"-3", -3}, {"", 0},       {"0x10", 16},  {"010", 8},
               {"12abc", 12}, {"abc", 0}, {"0x", 0}, {"0xg", 0},   {" +7", 7},    {"09", 0},
               {"99999999999999999999", LONG_MAX}, {"-99999999999999999999", LONG_MIN}};
  for (const auto& c : cases) {
    auto csv = CSVFile::fileWithData(std::string(c.text) + ",1\n");
    EXPECT_EQ(csv->getFieldAsInt(0, 0), c.value) << '"' << c.text << '"';
  }
  // Never reads beyond the field: the digits of the next field do not continue the number.
  auto csv = CSVFile::fileWithData("\"12\"34,5");
  EXPECT_EQ(csv->getFieldAsInt(0, 0), 12);
  EXPECT_EQ(parseIntegerBase0(std::string_view("123", 2)), 12);
}

TEST(CSVFileFields, DictionaryLaterLineWins) {
  auto csv = CSVFile::fileWithData("US,1,United States\nCA,1,Canada\nUS,1,USA\n");
  auto dict = csv->getDictionaryWithKey(0);
  ASSERT_EQ(dict.size(), 2u);
  EXPECT_EQ(dict["US"][2], "USA");
  EXPECT_EQ(csv->getArray().size(), 3u);
}

TEST(CSVFileCopy, CopiesShareBlocksButNotLines) {
  auto csv = CSVFile::fileWithData("a\nb\nc\n");
  auto copy = csv->copy();
  EXPECT_EQ(copy->contentsArray(), csv->contentsArray());
  copy->removeLine(0);
  EXPECT_EQ(csv->count(), 3);
  EXPECT_EQ(copy->count(), 2);
  copy->sortUsingFunction(
      [](const LineEntry& a, const LineEntry& b, void*) { return -a.bytes().compare(b.bytes()); }, nullptr);
  EXPECT_EQ(linesOf(*copy), (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(linesOf(*csv), (std::vector<std::string>{"a", "b", "c"}));
  // The lines of a copy stay valid after the source is gone.
  csv.reset();
  EXPECT_EQ(copy->getFieldAsString(0, 1), "b");
}

TEST(CSVFileCopy, SortIsStable) {
  auto csv = CSVFile::fileWithData("2,a\n1,b\n2,c\n1,d\n");
  csv->sortLines([&](const LineEntry& x, const LineEntry& y) {
    return CSVFile::field(0, x).view() < CSVFile::field(0, y).view();
  });
  EXPECT_EQ(linesOf(*csv), (std::vector<std::string>{"1,b", "1,d", "2,a", "2,c"}));
}

TEST(CSVFileLoad, FilesAndUnreadablePaths) {
  test::TempDir dir;
  std::string path = dir.write("pbook.txt", "#VER 3\nUS,CA\r\n");
  auto csv = CSVFile::fileWithPath(path);
  EXPECT_EQ(csv->version(), 3u);
  EXPECT_EQ(csv->count(), 1);
  auto viaURL = CSVFile::fileWithURL("file://" + path);
  EXPECT_EQ(viaURL->count(), 1);
  auto missing = CSVFile::fileWithPath(dir.file("nothing.txt"));
  EXPECT_EQ(missing->count(), 0);
  EXPECT_EQ(missing->version(), 0u);
  EXPECT_TRUE(missing->contentsArray()->empty());
  auto folder = CSVFile::fileWithPath(dir.path());
  EXPECT_EQ(folder->count(), 0);
}

}  // namespace
}  // namespace zavro
