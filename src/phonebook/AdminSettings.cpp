// customerPOPsSortFirst: the one administrator setting the phonebook reads, taken from config.ini.
#include "phonebook/AdminSettings.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/CSVFile.h"
#include "common/LogFile.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

// Until the administrator configuration reader is wired in here, this is a narrow reader of one
// key: INI line rules (LF, CR, CR LF and LF CR end a line; blanks trimmed; "#", ";" and "*" start
// comments; section names and keys ignore case) over the file after unscrambling.
std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
    s.remove_suffix(1);
  }
  return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') {
      x = static_cast<unsigned char>(x - 32);
    }
    if (y >= 'a' && y <= 'z') {
      y = static_cast<unsigned char>(y - 32);
    }
    if (x != y) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> iniValue(std::string bytes, std::string_view section, std::string_view key) {
  // Scrambled files have no header: any of the first 32 bytes with its top bit set marks one, and
  // byte i was XORed with 255 - (i mod 256).
  bool scrambled = false;
  for (size_t i = 0; i < bytes.size() && i < 32; ++i) {
    scrambled = scrambled || (static_cast<unsigned char>(bytes[i]) & 0x80) != 0;
  }
  if (scrambled) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ (255 - (i % 256)));
    }
  }
  std::optional<std::string> value;
  bool inSection = section.empty();
  size_t p = 0;
  while (p < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", p);
    if (end == std::string::npos) {
      end = bytes.size();
    }
    std::string_view line = trim(std::string_view(bytes).substr(p, end - p));
    p = end;
    if (p < bytes.size()) {
      const char t = bytes[p++];
      if (p < bytes.size() && (bytes[p] == '\r' || bytes[p] == '\n') && bytes[p] != t) {
        ++p;
      }
    }
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '*') {
      continue;
    }
    if (line[0] == '[') {
      std::string_view name = line.substr(1);
      name = trim(name.substr(0, name.find(']')));
      inSection = equalsIgnoringCase(name, section);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      continue;
    }
    if (inSection && equalsIgnoringCase(trim(line.substr(0, eq)), key)) {
      value = std::string(trim(line.substr(eq + 1)));  // a later line wins
    }
  }
  return value;
}

struct CustomerSort {
  bool first = true;
};

ProcessWide<CustomerSort> gCustomerSort([] {
  auto setting = std::make_shared<CustomerSort>();
  auto block = DataBlock::fromFile(ZavroConfiguration::pathToConfigFile("config.ini"));
  std::string value = "first";
  if (block) {
    value = iniValue(std::string(block->view()), "Profile", "CustomerPopSortFlag").value_or("first");
  }
  setting->first = value.empty() || value[0] == 'F' || value[0] == 'f' || value[0] == '0';
  return setting;
});

}  // namespace

bool customerPOPsSortFirst() {
  return gCustomerSort.get()->first;
}

}  // namespace zavro
