// Form bodies built by queryStringFromKeyValuePairs decode unchanged with Python's standard form decoder.
#include <gtest/gtest.h>

#include <sstream>

#include "common/QueryString.h"
#include "runtime/Process.h"

namespace zavro::strings {
namespace {

// Decodes standard input with urllib.parse.parse_qsl (UTF-8, blank values kept) and prints one
// "key<TAB>hex of value bytes" line per pair, in order.
constexpr const char* kDecoder =
    "import sys, urllib.parse\n"
    "body = sys.stdin.buffer.read().decode('ascii')\n"
    "for k, v in urllib.parse.parse_qsl(body, keep_blank_values=True, strict_parsing=True):\n"
    "    print(k + '\\t' + v.encode('utf-8').hex())\n";

std::string hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

TEST(QueryStringRoundTrip, ValuesSurviveAStandardFormDecoder) {
  const StringPairs pairs = {
      {"username", "user@example.net"},
      {"password", "a&b=c+d?e%f/g:h i\xC3\xA9\xE2\x82\xAC"},
      {"empty", ""},
      {"reserved", "!*'();@$,[]#\"<>\\^`{|}"},
      {"unreserved", "AZaz09-._~"},
      {"button", "Log In"},
  };
  std::string body = queryStringFromKeyValuePairs(pairs);
  EXPECT_EQ(body.find_first_of(" +?/:\"#"), std::string::npos) << body;

  std::string output;
  int status = Process::runCapturing("python3", {"-c", kDecoder}, body, output);
  ASSERT_EQ(status, 0) << "python3 could not decode: " << body;
  std::ostringstream expected;
  for (const auto& [key, value] : pairs) {
    expected << key << '\t' << hex(value) << '\n';
  }
  EXPECT_EQ(output, expected.str());

  // Our own reader takes the same body back to the same values.
  auto back = keyValuePairsFromQueryString(body);
  for (const auto& [key, value] : pairs) {
    EXPECT_EQ(back[key], value) << key;
  }
}

TEST(QueryStringRoundTrip, ShapeOfTheBody) {
  EXPECT_EQ(queryStringFromKeyValuePairs(StringPairs{}), "");
  EXPECT_EQ(queryStringFromKeyValuePairs(StringPairs{{"b", "2"}, {"a", "1 2"}}), "b=2&a=1%202");
  EXPECT_EQ(queryStringFromKeyValuePairs(StringPairs{{"k[]", "&"}}), "k[]=%26");  // keys go as they are
  EXPECT_EQ(queryStringFromKeyValuePairs(std::map<std::string, std::string>{{"b", "~"}, {"a", "/"}}), "a=%2F&b=~");
}

}  // namespace
}  // namespace zavro::strings
