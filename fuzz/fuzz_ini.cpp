// Fuzzes the INI loader and its getters on any bytes: every stored key and value is one trimmed line part.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/IniFile.h"

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool hasLowerCase(const std::string& s) {
  for (char c : s) {
    if (c >= 'a' && c <= 'z') {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  zavro::IniFile ini;
  ini.loadWithData(input);
  check(ini.getDictionary().count("") == 1);
  for (const auto& [name, section] : ini.getDictionary()) {
    check(!hasLowerCase(name) && name.find_first_of("\r\n") == std::string::npos);
    for (const auto& [key, value] : section) {
      check(!key.empty() && !hasLowerCase(key) && key.find_first_of("\r\n") == std::string::npos);
      check(value.find_first_of("\r\n") == std::string::npos);
      check(key.size() + value.size() < size);
      (void)ini.getValueAsBoolForAttribute(key, name, true);
      (void)ini.getValueAsIntForAttribute(key, name);
      (void)ini.getValueAsHexIntForAttribute(key, name);
      (void)ini.getValueAsDoubleForAttribute(key, name);
      (void)ini.getCSVEntryAsIntForAttribute(key, 1, name);
      auto list = ini.getValueAsCSVArrayForAttribute(key, name);
      check(value.empty() ? list.empty() : !list.empty());
    }
    (void)ini.getValueAsCSVArrayForAttributeSet("KEY%d", 0, name);
  }
  ini.loadWithData(std::nullopt);
  check(ini.getDictionary().empty());
  return 0;
}
