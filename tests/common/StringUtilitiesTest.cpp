// String helpers: replacement, trimming, the quoted splitter, markers, key names, HTML tags and hexValue.
#include <gtest/gtest.h>

#include "common/HTMLParsers.h"
#include "common/QueryString.h"
#include "common/StringConversions.h"
#include "common/StringReplacement.h"
#include "common/StringTokenizers.h"

namespace zavro::strings {
namespace {

using List = std::vector<std::string>;

TEST(StringReplacement, ReplaceAll) {
  struct Case {
    const char* name;
    std::string s, target, replacement;
    unsigned options;
    std::string expected;
  };
  const Case cases[] = {
      {"target_inside_replacement_terminates", "aaa", "a", "aa", 0, "aaaaaa"},
      {"non_overlapping_left_to_right", "aaaa", "aa", "b", 0, "bb"},
      {"to_empty", "a-b-c", "-", "", 0, "abc"},
      {"empty_target_matches_nowhere", "abc", "", "x", 0, "abc"},
      {"backwards_flag_ignored", "abab", "ab", "X", kBackwardsSearch, "XX"},
      {"case_insensitive", "Ab aB", "ab", "x", kCaseInsensitiveSearch, "x x"},
      {"case_sensitive_by_default", "Ab aB", "ab", "x", 0, "Ab aB"},
      {"match_at_end", "xyz", "z", "Z", kLiteralSearch, "xyZ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replaceAll(c.s, c.target, c.replacement, c.options), c.expected) << c.name;
  }
  EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
}

TEST(StringReplacement, ReplaceUsingDictionaryAppliesInOrder) {
  EXPECT_EQ(replaceUsingDictionary("%U and %P", StringPairs{{"%U", "%P"}, {"%P", "pw"}}), "pw and pw");
  EXPECT_EQ(replaceUsingDictionary("%U and %P", StringPairs{{"%P", "pw"}, {"%U", "%P"}}), "%P and pw");
  EXPECT_EQ(replaceUsingDictionary("ab", std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}), "12");
}

TEST(StringReplacement, ReplaceAtEnds) {
  struct Case {
    const char* name;
    std::string s, target, replacement;
    unsigned options;
    std::string expected;
  };
  const Case cases[] = {
      {"anchored_one_each_end", "\"x\"", "\"", "", kLiteralSearch | kAnchoredSearch, "x"},
      {"anchored_leaves_second_quote", "\"\"x\"\"", "\"", "", kLiteralSearch | kAnchoredSearch, "\"x\""},
      {"unanchored_runs", "\"\"x\"\"", "\"", "", kLiteralSearch, "x"},
      {"middle_untouched", "a\"b", "\"", "", 0, "a\"b"},
      {"only_leading", "--x", "-", "+", 0, "++x"},
      {"only_trailing", "x--", "-", "", 0, "x"},
      {"nonempty_replacement_at_end_once", "x--", "-", "+", 0, "x-+"},
      {"whole_string_is_target", "\"", "\"", "", kAnchoredSearch, ""},
      {"backwards_flag_ignored", "ab", "a", "", kBackwardsSearch, "b"},
      {"empty_target", "abc", "", "x", 0, "abc"},
      {"longer_replacement_keeps_going", "aab", "a", "aa", 0, "aaaab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replace(c.s, c.target, c.replacement, c.options), c.expected) << c.name;
  }
}

TEST(StringReplacement, Trimming) {
  EXPECT_EQ(trimExtraWhitespace("  a \t\r\n b  "), "a b");
  EXPECT_EQ(trimExtraWhitespace("a\tb\nc"), "a b c");
  EXPECT_EQ(trimExtraWhitespace(" \t\r\n"), "");
  EXPECT_EQ(trimWhitespaceFromEnds("\r\n a  b \t"), "a  b");
  EXPECT_EQ(trimWhitespaceFromEnds("\va\v"), "\va\v");  // only the four whitespace characters count
  EXPECT_EQ(trimWhitespaceFromEnds(""), "");
}

TEST(StringTokenizers, QuotedComponents) {
  struct Case {
    const char* name;
    std::string s, separator;
    List expected;
  };
  const Case cases[] = {
      {"quoted_space", "a \"b c\" d", " ", {"a", "b c", "d"}},
      {"doubled_quotes_lose_one_each_end", "x \"\"y\"\"", " ", {"x", "\"y\""}},
      {"doubled_quote_inside", "\"say \"\"hi\"\"\",2", ",", {"say \"hi\"", "2"}},
      {"empty_between", "a,,b", ",", {"a", "", "b"}},
      {"trailing_separator", "a,", ",", {"a", ""}},
      {"leading_separator", ",a", ",", {"", "a"}},
      {"only_separators", ",,,", ",", {"", "", "", ""}},
      {"empty_text", "", ",", {}},
      {"components_trimmed", " a ,\tb\t", ",", {"a", "b"}},
      {"unterminated_quote_runs_to_end", "a,\"b,c", ",", {"a", "\"b,c"}},
      {"unterminated_quote_with_trailing_separator", "a,\"b,", ",", {"a", "\"b,", ""}},
      {"multi_byte_separator", "a::b::", "::", {"a", "b", ""}},
      {"text_shorter_than_separator", ":", "::", {":"}},
      {"empty_separator_never_matches", "a,b", "", {"a,b"}},
      {"lone_quote", "\"", ",", {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quotedComponentsSeparatedByString(c.s, c.separator), c.expected) << c.name;
  }
}

TEST(StringTokenizers, ComponentsBetweenMarkers) {
  EXPECT_EQ(componentsBetweenString("x<a>y<b>z<c", "<", ">"), (List{"a", "b"}));
  EXPECT_EQ(componentsBetweenString("<a<b>", "<", ">"), (List{"b"}));
  EXPECT_EQ(componentsBetweenString("[[1]] [[2]", "[[", "]]"), (List{"1"}));
  EXPECT_EQ(componentsBetweenString("no markers", "<", ">"), List{});
  EXPECT_EQ(componentsBetweenString("<a>", "", ">"), List{});
  EXPECT_EQ(componentsSeparatedByString("", "&"), (List{""}));
  EXPECT_EQ(componentsSeparatedByString("a&&b", "&"), (List{"a", "", "b"}));
}

TEST(QueryString, LegalKeyName) {
  EXPECT_EQ(legalKeyName(" Session  Id! "), "Session_Id");
  EXPECT_EQ(legalKeyName(std::string(40, 'k')), std::string(32, 'k'));
  EXPECT_EQ(legalKeyName("a.b:c-d_e\xC3\xA9/f"), "a.b:c-d_ef");
  EXPECT_EQ(legalKeyName(std::string("x\0y", 3)), "xy");
  EXPECT_EQ(legalKeyName("!!!"), "");
  // The cap counts kept characters, not characters read.
  EXPECT_EQ(legalKeyName("!!" + std::string(33, 'b')), std::string(32, 'b'));
}

TEST(QueryString, KeyValuePairsFromQueryString) {
  using Map = std::map<std::string, std::string>;
  EXPECT_EQ(keyValuePairsFromQueryString("a=1&b&c=x%20y"), (Map{{"a", "1"}, {"b", ""}, {"c", "x y"}}));
  EXPECT_EQ(keyValuePairsFromQueryString("a=1&a=2"), (Map{{"a", "2"}}));
  EXPECT_EQ(keyValuePairsFromQueryString("k%20=v=w&p=a+b"), (Map{{"k%20", "v"}, {"p", "a+b"}}));
  EXPECT_EQ(keyValuePairsFromQueryString("bad=%zz%4&pct=100%&hi=%C3%A9%2b"),
            (Map{{"bad", "%zz%4"}, {"pct", "100%"}, {"hi", "\xC3\xA9+"}}));
  EXPECT_EQ(keyValuePairsFromQueryString(""), (Map{{"", ""}}));
}

TEST(HTMLParsers, TagAttributes) {
  TagDictionary meta = HTMLTagAttributes("meta http-equiv=\"refresh\" content=\"0; URL=next.html\"");
  EXPECT_EQ(meta, (TagDictionary{{"tag_name", "META"}, {"HTTP-EQUIV", "refresh"}, {"CONTENT", "0; URL=next.html"}}));
  EXPECT_EQ(HTMLTagAttributes("/form"), (TagDictionary{{"tag_name", "FORM"}}));
  EXPECT_EQ(
      HTMLTagAttributes("input\n type=hidden  name=\"a b\" checked value='x' Name=2"),
      (TagDictionary{{"tag_name", "INPUT"}, {"TYPE", "hidden"}, {"NAME", "2"}, {"CHECKED", ""}, {"VALUE", "'x'"}}));
  EXPECT_TRUE(HTMLTagAttributes("").empty());
  EXPECT_TRUE(HTMLTagAttributes("  !! x=1").empty());
  EXPECT_EQ(HTMLTagAttributes("a href=\"unterminated"), (TagDictionary{{"tag_name", "A"}, {"HREF", "\"unterminated"}}));
}

TEST(HTMLParsers, TagsCommentsAndCommentPairs) {
  const std::string page =
      "<html><head><meta http-equiv=\"refresh\" content=\"0; URL=next.html\"></head>"
      "<body><>< ><form action=\"/login\" method=post><input name=user><input name=pass type=password>"
      "</form><!-- session id = 1234 --><!-- LoginURL=https://gw.example/login?a=b --><!--empty=-->"
      "<!-- noequals --></body>";
  auto tags = HTMLTags(page);
  List names;
  for (const auto& tag : tags) {
    names.push_back(tag.at("tag_name"));
  }
  EXPECT_EQ(names, (List{"HTML", "HEAD", "META", "HEAD", "BODY", "FORM", "INPUT", "INPUT", "FORM", "--", "--",
                         "--EMPTY--", "--", "BODY"}));
  auto groups = CannonicalHTMLTags(page);
  ASSERT_EQ(groups["INPUT"].size(), 2u);
  EXPECT_EQ(groups["INPUT"][0].at("NAME"), "user");
  EXPECT_EQ(groups["INPUT"][1].at("TYPE"), "password");
  EXPECT_EQ(groups["FORM"][0].at("ACTION"), "/login");

  EXPECT_EQ(HTMLComments(page).size(), 4u);
  EXPECT_EQ(keyValuePairsFromHTMLComments(page),
            (std::map<std::string, std::string>{{"session_id", "1234"}, {"LoginURL", "https://gw.example/login?a"}}));
}

TEST(StringConversions, HexValue) {
  struct Case {
    std::string s;
    uint32_t expected;
  };
  const Case cases[] = {
      {"1A", 26},
      {"zz", 0},
      {"", 0},
      {"  0x1f", 31},
      {"0XFFg", 255},
      {"ffffffff", 0xFFFFFFFFu},
      {"123456789", 0xFFFFFFFFu},
      {"-1", 0xFFFFFFFFu},
      {"+10", 16},
      {"0x", 0},
      {std::string(49, ' ') + "7", 7},
      {std::string(50, ' ') + "7", 0},
      {std::string(48, '0') + "123", 0x12},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hexValue(c.s), c.expected) << '"' << c.s << '"';
  }
}

}  // namespace
}  // namespace zavro::strings
