// Key names, query strings and form bodies.
#include "common/QueryString.h"

#include <cstring>

#include "common/StringTokenizers.h"

namespace zavro::strings {
namespace {

constexpr char kLegalKeyCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890_.:-";
constexpr size_t kMaxKeyLength = 32;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

template <typename Pairs>
std::string joinPairs(const Pairs& pairs) {
  std::string out;
  for (const auto& [key, value] : pairs) {
    if (!out.empty()) {
      out.push_back('&');
    }
    out += key;
    out.push_back('=');
    out += percentEncode(value);
  }
  return out;
}

}  // namespace

std::string legalKeyName(std::string_view s) {
  std::string out;
  for (char c : trimExtraWhitespace(s)) {
    if (out.size() >= kMaxKeyLength) {
      break;
    }
    if (c == ' ') {
      c = '_';
    }
    if (c != '\0' && std::strchr(kLegalKeyCharacters, c) != nullptr) {
      out.push_back(c);
    }
  }
  return out;
}

std::string percentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string percentEncode(std::string_view s) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (isUnreserved(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

std::map<std::string, std::string> keyValuePairsFromQueryString(std::string_view s) {
  std::map<std::string, std::string> out;
  for (const auto& piece : componentsSeparatedByString(s, "&")) {
    auto parts = componentsSeparatedByString(piece, "=");
    out[parts[0]] = parts.size() > 1 ? percentDecode(parts[1]) : std::string();
  }
  return out;
}

std::string queryStringFromKeyValuePairs(const StringPairs& pairs) {
  return joinPairs(pairs);
}

std::string queryStringFromKeyValuePairs(const std::map<std::string, std::string>& pairs) {
  return joinPairs(pairs);
}

}  // namespace zavro::strings
