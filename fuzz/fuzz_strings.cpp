// Fuzzes the quoted splitter, HTML tag and comment parsing and the query-string reader on any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/HTMLParsers.h"
#include "common/QueryString.h"
#include "common/StringTokenizers.h"

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  using namespace zavro::strings;

  for (std::string_view separator :
       {std::string_view(","), std::string_view(" "), std::string_view("=="), input.substr(0, size > 0 ? 1 : 0)}) {
    auto components = quotedComponentsSeparatedByString(input, separator);
    size_t total = 0;
    for (const auto& c : components) {
      total += c.size();
    }
    check(total <= size);
    check(size > 0 || components.empty());
  }

  for (const auto& tag : HTMLTags(input)) {
    auto name = tag.find("tag_name");
    check(name != tag.end() && !name->second.empty() && name->second.size() <= 32);
    for (const auto& [key, value] : tag) {
      check(key.size() <= 32 && value.size() <= size);
    }
  }

  for (const auto& [key, value] : keyValuePairsFromHTMLComments(input)) {
    check(!key.empty() && key.size() <= 32 && !value.empty() && value.size() <= size);
  }

  auto pairs = keyValuePairsFromQueryString(input);
  check(!pairs.empty());
  for (const auto& [key, value] : pairs) {
    check(key.size() <= size && value.size() <= size);
  }

  // Values survive building a body and reading it back.
  std::string value(input);
  auto back = keyValuePairsFromQueryString(queryStringFromKeyValuePairs(StringPairs{{"k", value}}));
  check(back.size() == 1 && back["k"] == value);
  return 0;
}
