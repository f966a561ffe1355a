// PropertyList: XML round trips of every kind, files written elsewhere, and input that must be refused.
#include <gtest/gtest.h>

#include <string>

#include "runtime/PropertyList.h"

namespace zavro {
namespace {

using Dict = PropertyList::Dictionary;
using Array = PropertyList::Array;

PropertyList roundTrip(const PropertyList& value) {
  std::string error;
  auto xml = value.toXML(&error);
  EXPECT_TRUE(xml.has_value()) << error;
  auto back = PropertyList::fromXML(xml.value_or(""), &error);
  EXPECT_TRUE(back.has_value()) << error;
  return back.value_or(PropertyList("<failed>"));
}

TEST(PropertyList, RoundTripKeepsEveryKindAndByte) {
  struct Row {
    const char* name;
    PropertyList value;
  };
  const Row rows[] = {
      {"empty string", PropertyList("")},
      {"markup characters", PropertyList("a<b>&c\"d'e]]>")},
      {"control characters and line ends", PropertyList("x\x01\x1f\r\n\ty\r")},
      {"UTF-8", PropertyList("Zürich – 東京")},
      {"bytes that are not UTF-8", PropertyList("\xff\xfe\x80")},
      {"data with zero bytes", PropertyList::data(std::string("\0\1\2\xff", 4))},
      {"empty data", PropertyList::data("")},
      {"negative integer", PropertyList::integer(-5)},
      {"large integer", PropertyList::integer(INT64_MAX)},
      {"real", PropertyList::real(0.1)},
      {"boolean", PropertyList::boolean(true)},
      {"date in whole seconds", PropertyList::date(-86400.0 * 400)},
      {"empty array", PropertyList(Array{})},
      {"empty dictionary", PropertyList(Dict{})},
      {"nested", PropertyList(Dict{{"list", Array{"a", Dict{{"k", PropertyList::data("\0")}}}},
                                   {"", "empty key"},
                                   {"key with <&>", PropertyList::boolean(false)}})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(roundTrip(row.value), row.value);
  }
}

TEST(PropertyList, ReadsFileWrittenElsewhere) {
  const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- written by another program -->
<dict>
	<key>NSWindow Frame Main</key><string>10 20 300 400</string>
	<key>Count</key><integer>-42</integer>
	<key>Scale</key><real>2.5</real>
	<key>Shown</key><true/>
	<key>When</key><date>2001-01-02T00:00:00Z</date>
	<key>Blob</key><data>AAEC</data>
	<key>Items</key><array><string>a</string><dict/></array>
</dict>
</plist>
)";
  auto parsed = PropertyList::fromXML(xml);
  ASSERT_TRUE(parsed);
  ASSERT_TRUE(parsed->isDictionary());
  EXPECT_EQ(*parsed->find("NSWindow Frame Main")->string(), "10 20 300 400");
  EXPECT_EQ(parsed->find("Count")->integerValue(), -42);
  EXPECT_EQ(parsed->find("Scale")->realValue(), 2.5);
  EXPECT_EQ(parsed->find("Shown")->booleanValue(), true);
  EXPECT_EQ(parsed->find("When")->dateValue(), 86400.0);
  EXPECT_EQ(*parsed->find("Blob")->dataBytes(), std::string("\0\1\2", 3));
  const auto* items = parsed->find("Items")->array();
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 2u);
  EXPECT_TRUE((*items)[1].isDictionary());
  // Written back, the file means the same.
  EXPECT_EQ(roundTrip(*parsed), *parsed);
}

std::string nested(int levels, const std::string& open = "<array>", const std::string& close = "</array>") {
  std::string xml = "<plist>";
  for (int i = 0; i < levels; ++i) xml += open;
  for (int i = 0; i < levels; ++i) xml += close;
  return xml + "</plist>";
}

TEST(PropertyList, RefusesWhatIsNotACompletePropertyList) {
  const std::string good = *PropertyList(Dict{{"a", "b"}, {"c", Array{"d"}}}).toXML();
  struct Row {
    const char* name;
    std::string xml;
  };
  const Row rows[] = {
      {"empty input", ""},
      {"truncated in the middle", good.substr(0, good.size() / 2)},
      {"truncated before the dictionary ends", good.substr(0, good.rfind("</dict>"))},
      {"garbage", "this is not xml at all"},
      {"unterminated string", "<plist><string>abc"},
      {"binary property list", std::string("bplist00\xd1\x01\x02", 11)},
      {"nesting deeper than allowed", nested(PropertyList::kMaxDepth + 1)},
      {"nesting that would overflow the parser's stack", nested(200000, "<dict><key>k</key>", "</dict>")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string error;
    EXPECT_FALSE(PropertyList::fromXML(row.xml, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(PropertyList, NestingLimitCountsOnlyRealContainers) {
  EXPECT_TRUE(PropertyList::fromXML(nested(PropertyList::kMaxDepth)));
  // Self-closing containers and markup inside comments or text do not add levels.
  std::string flat = "<plist><array>";
  for (int i = 0; i < 1000; ++i) flat += "<array/><dict/><!-- <array> --><string>&lt;array&gt;</string>";
  flat += "</array></plist>";
  auto parsed = PropertyList::fromXML(flat);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->array()->size(), 3000u);
  // Closing tags hidden in a comment cannot make room for deeper nesting.
  std::string hidden = "<plist><!--";
  for (int i = 0; i < 300; ++i) hidden += "</array>";
  hidden += "-->";
  for (int i = 0; i <= PropertyList::kMaxDepth; ++i) hidden += "<array>";
  for (int i = 0; i <= PropertyList::kMaxDepth; ++i) hidden += "</array>";
  hidden += "</plist>";
  EXPECT_FALSE(PropertyList::fromXML(hidden));
}

TEST(PropertyList, RefusesToWriteWhatXMLCannotCarry) {
  std::string error;
  EXPECT_FALSE(PropertyList(Dict{{"k", std::string("a\0b", 3)}}).toXML(&error));
  EXPECT_NE(error.find("zero byte"), std::string::npos);
  EXPECT_FALSE(PropertyList(Dict{{std::string("k\0", 2), "v"}}).toXML());
  PropertyList deep("leaf");
  for (int i = 0; i <= PropertyList::kMaxDepth; ++i) deep = PropertyList(Array{deep});
  EXPECT_FALSE(deep.toXML());
}

TEST(PropertyList, CopiesAreIndependent) {
  PropertyList original(Dict{{"list", Array{"a"}}});
  PropertyList copy = original;
  copy.dictionary()->at("list").array()->push_back("b");
  EXPECT_EQ(original.find("list")->array()->size(), 1u);
  EXPECT_EQ(copy.find("list")->array()->size(), 2u);
}

TEST(PropertyList, AccessorsAnswerOnlyForTheirKind) {
  PropertyList text("x");
  EXPECT_EQ(text.array(), nullptr);
  EXPECT_EQ(text.dictionary(), nullptr);
  EXPECT_EQ(text.dataBytes(), nullptr);
  EXPECT_FALSE(text.integerValue());
  EXPECT_EQ(text.find("x"), nullptr);
  EXPECT_NE(PropertyList::data("x"), text);
  EXPECT_EQ(PropertyList::data("x").string(), nullptr);
}

}  // namespace
}  // namespace zavro
