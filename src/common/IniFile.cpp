// Reader of INI files: line splitting, sections and keys, and the typed getters with their defaults.
#include "common/IniFile.h"

#include <locale.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "common/StringTokenizers.h"
#include "common/ZavroEncryptedFile.h"

namespace zavro {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Leading white space as the number readers skip it.
size_t skipSpace(std::string_view s) {
  size_t i = 0;
  while (i < s.size() &&
         (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n' || s[i] == '\v' || s[i] == '\f')) {
    ++i;
  }
  return i;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && upper(a) == upper(b);
}

}  // namespace

std::shared_ptr<IniFile> IniFile::fileWithPath(const std::string& path) {
  auto file = std::make_shared<IniFile>();
  file->loadWithPath(path);
  return file;
}

std::shared_ptr<IniFile> IniFile::fileWithURL(const std::string& url) {
  auto file = std::make_shared<IniFile>();
  file->loadWithURL(url);
  return file;
}

void IniFile::loadWithPath(const std::string& path) {
  auto bytes = dataWithContentsOfZavroFile(path);
  loadWithData(bytes ? std::optional<std::string_view>(*bytes) : std::nullopt);
}

void IniFile::loadWithURL(const std::string& url) {
  auto bytes = dataWithContentsOfZavroURL(url);
  loadWithData(bytes ? std::optional<std::string_view>(*bytes) : std::nullopt);
}

void IniFile::loadWithData(std::optional<std::string_view> bytes) {
  mSections.clear();
  if (!bytes) {
    return;
  }
  Section* current = &mSections[""];
  std::string_view data = *bytes;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = pos;
    while (end < data.size() && data[end] != '\n' && data[end] != '\r') {
      ++end;
    }
    std::string_view rawLine = data.substr(pos, end - pos);
    pos = end;
    if (pos < data.size()) {
      char first = data[pos++];
      // CR LF and LF CR are one line end each; LF LF encloses an empty line.
      if (pos < data.size() && (data[pos] == '\n' || data[pos] == '\r') && data[pos] != first) {
        ++pos;
      }
    }
    std::string line = stringTrimmed(rawLine);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '*') {
      continue;
    }
    if (line[0] == '[') {
      size_t close = line.find(']', 1);
      std::string name =
          stringTrimmed(std::string_view(line).substr(1, close == std::string::npos ? std::string::npos : close - 1));
      // "[]" and a lone "[" name no section: they select the unnamed one, as an empty name would.
      current = &mSections[upper(name)];
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) {
      continue;
    }
    std::string key = stringTrimmed(std::string_view(line).substr(0, equals));
    (*current)[upper(key)] = stringTrimmed(std::string_view(line).substr(equals + 1));
  }
}

std::string IniFile::stringTrimmed(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && isBlank(s[begin])) {
    ++begin;
  }
  while (end > begin && isBlank(s[end - 1])) {
    --end;
  }
  return std::string(s.substr(begin, end - begin));
}

const std::string* IniFile::find(std::string_view key, std::string_view section) const {
  auto s = mSections.find(upper(section));
  if (s == mSections.end()) {
    return nullptr;
  }
  auto k = s->second.find(upper(key));
  return k == s->second.end() ? nullptr : &k->second;
}

std::optional<std::string> IniFile::getValueForAttribute(std::string_view key, std::string_view section) const {
  const std::string* value = find(key, section);
  return value ? std::optional<std::string>(*value) : std::nullopt;
}

std::optional<std::string> IniFile::getValueForAttribute(std::string_view key, std::string_view section,
                                                         std::optional<std::string> defaultValue) const {
  const std::string* value = find(key, section);
  return value ? std::optional<std::string>(*value) : defaultValue;
}

std::string IniFile::getValueAsStringForAttribute(std::string_view key, std::string_view section) const {
  const std::string* value = find(key, section);
  return value ? *value : std::string();
}

std::string IniFile::getValueAsStringForAttribute(std::string_view key, std::string_view section,
                                                  std::string_view defaultValue) const {
  const std::string* value = find(key, section);
  return value ? *value : std::string(defaultValue);
}

bool IniFile::getValueAsBoolForAttribute(std::string_view key, std::string_view section, bool defaultValue) const {
  const std::string* value = find(key, section);
  if (!value || value->empty()) {
    return defaultValue;
  }
  char first = (*value)[0];
  if (isDigit(first)) {
    return intValue(*value) != 0;
  }
  if (!isLetter(first)) {
    return defaultValue;
  }
  if (equalsIgnoringCase(*value, "yes") || equalsIgnoringCase(*value, "true")) {
    return true;
  }
  if (equalsIgnoringCase(*value, "no") || equalsIgnoringCase(*value, "false")) {
    return false;
  }
  return defaultValue;
}

int32_t IniFile::getValueAsIntForAttribute(std::string_view key, std::string_view section, int32_t defaultValue) const {
  const std::string* value = find(key, section);
  return value ? intValue(*value) : defaultValue;
}

uint32_t IniFile::getValueAsHexIntForAttribute(std::string_view key, std::string_view section,
                                               uint32_t defaultValue) const {
  const std::string* value = find(key, section);
  if (!value) {
    return defaultValue;
  }
  return hexValue(*value).value_or(defaultValue);
}

double IniFile::getValueAsDoubleForAttribute(std::string_view key, std::string_view section,
                                             double defaultValue) const {
  const std::string* value = find(key, section);
  return value ? doubleValue(*value) : defaultValue;
}

std::optional<std::vector<std::string>> IniFile::getValueAsCSVArrayForAttribute(
    std::string_view key, std::string_view section, std::optional<std::string_view> defaultValue) const {
  const std::string* value = find(key, section);
  if (value) {
    return csvList(*value);
  }
  if (defaultValue) {
    return csvList(*defaultValue);
  }
  return std::nullopt;
}

std::vector<std::string> IniFile::getValueAsCSVArrayForAttribute(std::string_view key, std::string_view section) const {
  const std::string* value = find(key, section);
  return value ? csvList(*value) : std::vector<std::string>();
}

int32_t IniFile::getCSVEntryAsIntForAttribute(std::string_view key, unsigned index, std::string_view section,
                                              int32_t defaultValue) const {
  auto list = getValueAsCSVArrayForAttribute(key, section);
  return index < list.size() ? intValue(list[index]) : defaultValue;
}

std::vector<std::string> IniFile::getValueAsArrayForAttributeSet(std::string_view pattern, int startNumber,
                                                                 std::string_view section) const {
  std::vector<std::string> out;
  for (int n = startNumber; n < 256; ++n) {
    const std::string* value = find(formatNumbered(pattern, n), section);
    if (!value) {
      break;
    }
    out.push_back(*value);
  }
  return out;
}

std::vector<std::vector<std::string>> IniFile::getValueAsCSVArrayForAttributeSet(std::string_view pattern,
                                                                                 int startNumber,
                                                                                 std::string_view section) const {
  std::vector<std::vector<std::string>> out;
  for (const auto& value : getValueAsArrayForAttributeSet(pattern, startNumber, section)) {
    out.push_back(csvList(value));
  }
  return out;
}

int32_t IniFile::intValue(std::string_view value) {
  size_t i = skipSpace(value);
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  int64_t magnitude = 0;
  for (; i < value.size() && isDigit(value[i]); ++i) {
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) {
      magnitude = static_cast<int64_t>(INT32_MAX) + 1;  // saturate; the clamp below decides the sign
    }
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX) return INT32_MAX;
  if (result < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(result);
}

std::optional<uint32_t> IniFile::hexValue(std::string_view value) {
  size_t i = skipSpace(value);
  if (i + 2 < value.size() && value[i] == '0' && (value[i + 1] == 'x' || value[i + 1] == 'X') &&
      hexDigit(value[i + 2]) >= 0) {
    i += 2;
  }
  if (i >= value.size() || hexDigit(value[i]) < 0) {
    return std::nullopt;
  }
  uint64_t result = 0;
  for (; i < value.size() && hexDigit(value[i]) >= 0; ++i) {
    result = (result << 4) | static_cast<uint64_t>(hexDigit(value[i]));
    if (result > UINT32_MAX) {
      return UINT32_MAX;
    }
  }
  return static_cast<uint32_t>(result);
}

double IniFile::doubleValue(std::string_view value) {
  size_t i = skipSpace(value);
  if (i < value.size() && value[i] == '+') {
    ++i;
  }
  if (i >= value.size()) {
    return 0;
  }
  // Only decimal forms; from_chars ignores the process locale, which a desktop program changes.
  const char* begin = value.data() + i;
  const char* end = value.data() + value.size();
  double result = 0;
  auto [ptr, ec] = std::from_chars(begin, end, result, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    std::string copy(begin, ptr);
    return strtod_l(copy.c_str(), nullptr, cLocale);
  }
  return ec == std::errc() ? result : 0;
}

std::vector<std::string> IniFile::csvList(std::string_view value) {
  std::vector<std::string> out;
  for (const auto& component : strings::quotedComponentsSeparatedByString(value, ",")) {
    out.push_back(stringTrimmed(component));
  }
  return out;
}

std::string IniFile::formatNumbered(std::string_view pattern, int n) {
  std::string out;
  bool replaced = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out.push_back(c);
      continue;
    }
    if (pattern[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < pattern.size() && (pattern[j] == '-' || pattern[j] == '+' || pattern[j] == ' ' || pattern[j] == '0')) {
      ++j;
    }
    size_t widthStart = j;
    while (j < pattern.size() && isDigit(pattern[j]) && j - widthStart < 3) {
      ++j;
    }
    if (replaced || j >= pattern.size() || (pattern[j] != 'd' && pattern[j] != 'i' && pattern[j] != 'u')) {
      out.push_back(c);
      continue;
    }
    std::string conversion(pattern.substr(i, j - i));
    conversion.push_back('d');
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, conversion.c_str(), n);
    out += buffer;
    replaced = true;
    i = j;
  }
  return out;
}

}  // namespace zavro
