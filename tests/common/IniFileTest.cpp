// IniFile: line ends, sections and keys ignoring case, the typed getters and their defaults, families.
#include <gtest/gtest.h>

#include "common/IniFile.h"
#include "common/ZavroEncryptedFile.h"
#include "support/TempDir.h"

namespace zavro {
namespace {

IniFile load(std::string_view text) {
  IniFile ini;
  ini.loadWithData(text);
  return ini;
}

TEST(IniFileLoad, SectionsAndKeysIgnoreCaseAndMergeDuplicates) {
  IniFile ini = load(
      "Top=1\n"
      "[profile]\n"
      "DialTimeout=30\n"
      "Name = first \n"
      "[Other] trailing text\n"
      "x=y\n"
      "[PROFILE]\n"
      "name=second\n"
      "Extra=\n");
  EXPECT_EQ(ini.getValueAsIntForAttribute("dialtimeout", "PROFILE"), 30);
  EXPECT_EQ(ini.getValueForAttribute("NAME", "Profile"), "second");
  EXPECT_EQ(ini.getValueForAttribute("extra", "profile"), "");
  EXPECT_EQ(ini.getValueForAttribute("x", "other"), "y");
  EXPECT_EQ(ini.getValueForAttribute("top", ""), "1");
  EXPECT_EQ(ini.getValueForAttribute("top", "profile"), std::nullopt);  // no fallback to the unnamed one
  EXPECT_EQ(ini.getValueForAttribute("x", "missing"), std::nullopt);
  const auto& sections = ini.getDictionary();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections.count("PROFILE"), 1u);
  EXPECT_EQ(sections.at("PROFILE").count("DIALTIMEOUT"), 1u);
}

TEST(IniFileLoad, LineSyntax) {
  IniFile ini = load(
      "[S]\n"
      "URL=a=b\n"
      "#Hidden=1\n"
      "  ;Also=1\n"
      "*Star=1\n"
      "Color=#red\n"
      "Semi=a;b\n"
      "=nokey\n"
      "no equals sign\n"
      " \t \n"
      "Quoted=\"a, b\"\n"
      "\tPadded\t=\t v \t\n"
      "[  Spaced Name  ]\n"
      "k=v\n"
      "[Unclosed\n"
      "u=1\n");
  EXPECT_EQ(ini.getValueForAttribute("URL", "S"), "a=b");
  EXPECT_EQ(ini.getValueForAttribute("#Hidden", "S"), std::nullopt);
  EXPECT_EQ(ini.getValueForAttribute(";Also", "S"), std::nullopt);
  EXPECT_EQ(ini.getValueForAttribute("*Star", "S"), std::nullopt);
  EXPECT_EQ(ini.getValueForAttribute("Color", "S"), "#red");
  EXPECT_EQ(ini.getValueForAttribute("Semi", "S"), "a;b");
  EXPECT_EQ(ini.getValueForAttribute("Quoted", "S"), "\"a, b\"");
  EXPECT_EQ(ini.getValueForAttribute("Padded", "S"), "v");
  EXPECT_EQ(ini.getValueForAttribute("k", "spaced name"), "v");
  EXPECT_EQ(ini.getValueForAttribute("u", "unclosed"), "1");
  EXPECT_EQ(ini.getDictionary().at("S").size(), 5u);
}

TEST(IniFileLoad, LineEndsAllGiveTheSameContent) {
  const std::string lf = "[A]\nk=1\n\nj=2";
  IniFile reference = load(lf);
  for (const std::string& text : {std::string("[A]\r\nk=1\r\n\r\nj=2\r\n"), std::string("[A]\rk=1\r\rj=2\r"),
                                  std::string("[A]\n\rk=1\n\r\n\rj=2")}) {
    EXPECT_EQ(load(text).getDictionary(), reference.getDictionary());
  }
  EXPECT_EQ(reference.getValueForAttribute("j", "a"), "2");
}

TEST(IniFileLoad, EmptyHeaderSelectsTheUnnamedSection) {
  IniFile ini = load("a=1\n[X]\nb=2\n[]\nc=3\n[\nd=4\n");
  EXPECT_EQ(ini.getValueForAttribute("c", ""), "3");
  EXPECT_EQ(ini.getValueForAttribute("d", ""), "4");
  EXPECT_EQ(ini.getDictionary().size(), 2u);
}

TEST(IniFileLoad, MissingFileIsEmptyAndReloadReplaces) {
  test::TempDir dir;
  auto missing = IniFile::fileWithPath(dir.file("none.ini"));
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->getDictionary().empty());
  EXPECT_EQ(missing->getValueAsIntForAttribute("k", "", 7), 7);

  IniFile ini = load("[A]\nk=1\n");
  ini.loadWithData("");
  EXPECT_EQ(ini.getDictionary().size(), 1u);  // only the unnamed section
  ini.loadWithData(std::nullopt);
  EXPECT_TRUE(ini.getDictionary().empty());
}

TEST(IniFileLoad, PlainAndScrambledFilesReadAlike) {
  test::TempDir dir;
  const std::string text = "[Profile]\r\nDialTimeout=45\r\nName=Demo\r\n";
  std::string plainPath = dir.write("plain.ini", text);
  std::string scrambledPath = dir.file("scrambled.ini");
  ASSERT_TRUE(writeToZavroFile(text, scrambledPath, true));
  auto plain = IniFile::fileWithPath(plainPath);
  auto scrambled = IniFile::fileWithURL("file://" + scrambledPath);
  EXPECT_EQ(scrambled->getDictionary(), plain->getDictionary());
  EXPECT_EQ(scrambled->getValueAsIntForAttribute("dialtimeout", "profile"), 45);
}

TEST(IniFileLoad, BinaryJunkGivesADefinedReader) {
  std::string junk;
  for (int i = 0; i < 2000; ++i) {
    junk.push_back(static_cast<char>((i * 131 + 7) % 256));
  }
  junk += std::string("\0[\0]=\0\n\0=x\n", 11);
  IniFile ini = load(junk);
  EXPECT_GE(ini.getDictionary().count(""), 1u);
  for (const auto& [name, section] : ini.getDictionary()) {
    for (const auto& [key, value] : section) {
      EXPECT_FALSE(key.empty());
      EXPECT_EQ(key.find_first_of("\r\n"), std::string::npos);
      EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos);
    }
  }
}

TEST(IniFileGetters, IntegersDoublesAndStrings) {
  IniFile ini = load(
      "[N]\nEmpty=\nTen=10abc\nNeg= -42\nPlus=+7\nWord=abc\nBig=99999999999\nSmall=-99999999999\n"
      "Pi=3.25xyz\nExp=1e3\nNoNum=.x\n");
  struct Case {
    const char* key;
    int32_t expected;
  };
  const Case ints[] = {{"Empty", 0}, {"Ten", 10},    {"Neg", -42},       {"Plus", 7},
                       {"Word", 0},  {"Missing", 5}, {"Big", INT32_MAX}, {"Small", INT32_MIN}};
  for (const auto& c : ints) {
    EXPECT_EQ(ini.getValueAsIntForAttribute(c.key, "n", 5), c.expected) << c.key;
  }
  EXPECT_EQ(ini.getValueAsIntForAttribute("Missing", "n"), 0);
  EXPECT_DOUBLE_EQ(ini.getValueAsDoubleForAttribute("Pi", "n"), 3.25);
  EXPECT_DOUBLE_EQ(ini.getValueAsDoubleForAttribute("Exp", "n"), 1000);
  EXPECT_DOUBLE_EQ(ini.getValueAsDoubleForAttribute("NoNum", "n", 9), 0);
  EXPECT_DOUBLE_EQ(ini.getValueAsDoubleForAttribute("Missing", "n", 2.5), 2.5);
  EXPECT_EQ(ini.getValueAsStringForAttribute("Missing", "n"), "");
  EXPECT_EQ(ini.getValueAsStringForAttribute("Missing", "n", "dflt"), "dflt");
  EXPECT_EQ(ini.getValueAsStringForAttribute("Empty", "n", "dflt"), "");
  EXPECT_EQ(ini.getValueForAttribute("Missing", "n", std::string("d")), "d");
  EXPECT_EQ(ini.getValueForAttribute("Missing", "n", std::nullopt), std::nullopt);
}

TEST(IniFileGetters, HexIntegers) {
  IniFile ini = load("[H]\na=0x7F\nb=7f\nc=7F\nd=zz\ne=\nf=0XfffffFFFF1\ng=  1a!\nh=0x\n");
  struct Case {
    const char* key;
    uint32_t expected;
  };
  const Case cases[] = {{"a", 127},         {"b", 127}, {"c", 127}, {"d", 99},      {"e", 99},
                        {"f", 0xFFFFFFFFu}, {"g", 26},  {"h", 0},   {"missing", 99}};
  for (const auto& c : cases) {
    EXPECT_EQ(ini.getValueAsHexIntForAttribute(c.key, "h", 99), c.expected) << c.key;
  }
  EXPECT_EQ(ini.getValueAsHexIntForAttribute("d", "h"), 0u);
}

TEST(IniFileGetters, Booleans) {
  IniFile ini = load(
      "[B]\nyes=Yes\ntrue=TRUE\nno=no\nfalse=False\nzero=0\nzz=00\none=1\ntwo=2\nmixed=10abc\n"
      "off=off\nminus=-1\nplus=+1\ndot=.5\nempty=\n");
  struct Case {
    const char* key;
    bool withFalse;
    bool withTrue;
  };
  const Case cases[] = {
      {"yes", true, true},    {"true", true, true},   {"no", false, false},     {"false", false, false},
      {"zero", false, false}, {"zz", false, false},   {"one", true, true},      {"two", true, true},
      {"mixed", true, true},  {"off", false, true},   {"minus", false, true},   {"plus", false, true},
      {"dot", false, true},   {"empty", false, true}, {"missing", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.getValueAsBoolForAttribute(c.key, "b", false), c.withFalse) << c.key;
    EXPECT_EQ(ini.getValueAsBoolForAttribute(c.key, "b", true), c.withTrue) << c.key;
  }
  EXPECT_FALSE(ini.getValueAsBoolForAttribute("off", "b"));
}

TEST(IniFileGetters, CommaSeparatedLists) {
  IniFile ini = load("[L]\nq=a,\"b,c\",d\nsp= x ,\ty\t, \"z \" \nt=a,\nn=5,9\nempty=\n");
  using List = std::vector<std::string>;
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("q", "l"), (List{"a", "b,c", "d"}));
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("sp", "l"), (List{"x", "y", "z"}));
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("t", "l"), (List{"a", ""}));
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("empty", "l"), List{});
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("missing", "l"), List{});
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("missing", "l", std::nullopt), std::nullopt);
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("missing", "l", "1,2"), (List{"1", "2"}));
  EXPECT_EQ(ini.getValueAsCSVArrayForAttribute("n", "l", "1,2"), (List{"5", "9"}));
  EXPECT_EQ(ini.getCSVEntryAsIntForAttribute("n", 1, "l", -1), 9);
  EXPECT_EQ(ini.getCSVEntryAsIntForAttribute("n", 2, "l", -1), -1);
  EXPECT_EQ(ini.getCSVEntryAsIntForAttribute("n", 0, "l"), 5);
  EXPECT_EQ(ini.getCSVEntryAsIntForAttribute("missing", 0, "l", -1), -1);
}

TEST(IniFileGetters, NumberedFamiliesStopAtTheFirstGap) {
  IniFile ini = load("[F]\nAction0=zero\nAction1=one\nURL1=a,b\nURL2=\nURL4=d\n");
  using List = std::vector<std::string>;
  EXPECT_EQ(ini.getValueAsArrayForAttributeSet("Action%d", 0, "f"), (List{"zero", "one"}));
  EXPECT_EQ(ini.getValueAsArrayForAttributeSet("Action%d", "f"), (List{"one"}));
  EXPECT_EQ(ini.getValueAsArrayForAttributeSet("URL%d", "f"), (List{"a,b", ""}));
  EXPECT_EQ(ini.getValueAsCSVArrayForAttributeSet("URL%d", "f"), (std::vector<List>{{"a", "b"}, {}}));
  EXPECT_TRUE(ini.getValueAsArrayForAttributeSet("Nothing%d", "f").empty());

  IniFile many;
  std::string text = "[M]\n";
  for (int i = 0; i < 300; ++i) {
    text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  }
  many.loadWithData(text);
  EXPECT_EQ(many.getValueAsArrayForAttributeSet("K%d", 250, "m").size(), 6u);  // numbers stay below 256
}

TEST(IniFileGetters, KeyPatternsAreFormattedWithoutVarargs) {
  EXPECT_EQ(IniFile::formatNumbered("PhonebookURL%d", 3), "PhonebookURL3");
  EXPECT_EQ(IniFile::formatNumbered("A%02dB", 7), "A07B");
  EXPECT_EQ(IniFile::formatNumbered("100%% %d %s %d", 5), "100% 5 %s %d");
  EXPECT_EQ(IniFile::formatNumbered("Plain", 1), "Plain");
  EXPECT_EQ(IniFile::stringTrimmed(" \t a b \t"), "a b");
  EXPECT_EQ(IniFile::stringTrimmed(" \t "), "");
  EXPECT_EQ(IniFile::stringTrimmed("\r x \n"), "\r x \n");
}

}  // namespace
}  // namespace zavro
