// Numeric conversions of text fields.
#include "common/StringConversions.h"

namespace zavro::strings {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

uint32_t hexValue(std::string_view s) {
  s = s.substr(0, 50);
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) {
    ++i;
  }
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && hexDigit(s[i + 2]) >= 0) {
    i += 2;
  }
  uint64_t value = 0;
  bool overflow = false;
  for (; i < s.size() && hexDigit(s[i]) >= 0; ++i) {
    value = (value << 4) | static_cast<uint64_t>(hexDigit(s[i]));
    if (value > UINT32_MAX) {
      overflow = true;
      value = UINT32_MAX;
    }
  }
  if (overflow) {
    return UINT32_MAX;
  }
  uint32_t result = static_cast<uint32_t>(value);
  return negative ? static_cast<uint32_t>(0u - result) : result;
}

}  // namespace zavro::strings
