// Small phonebooks and settings maps for the dialing and connection tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "phonebook/PhoneBook.h"
#include "runtime/PropertyList.h"
#include "support/TestEnvironment.h"

namespace zavro::test {

// A 35-field phonebook record; fields not given are empty.
inline std::string popRecord(const std::map<int, std::string>& fields) {
  std::string line;
  for (int i = 0; i < 35; ++i) {
    if (i) {
      line += ',';
    }
    if (auto it = fields.find(i); it != fields.end()) {
      line += it->second;
    }
  }
  return line + "\n";
}

// A dial-up or broadband record: country, city, area code, number, ID, access bits.
inline std::string popLine(const std::string& country, const std::string& city, const std::string& area,
                           const std::string& phone, const std::string& id, const std::string& access,
                           std::map<int, std::string> extra = {}) {
  extra.emplace(0, country);
  extra.emplace(2, city);
  extra.emplace(3, area);
  extra.emplace(4, phone);
  extra.emplace(5, id);
  extra.emplace(28, access);
  return popRecord(extra);
}

// Countries with their calling codes; "ZZ" has none in the table and "XX" is not in it.
inline const char* kDialingCountries =
    "US,1,United States,0\n"
    "CA,1,Canada,0\n"
    "GB,44,United Kingdom,0\n"
    "DE,49,Germany,0\n"
    "JP,81,Japan,0\n"
    "FR,33,France,0\n"
    "ZZ,,Nowhere,0\n";

inline std::shared_ptr<PhoneBook> loadDialingBook(const TestEnvironment& env, const std::string& pbook,
                                                  const std::string& cbook = {}) {
  env.writeConfig("country.txt", kDialingCountries);
  env.writeConfig("pbook.txt", pbook);
  if (!cbook.empty()) {
    env.writeConfig("cbook.txt", cbook);
  }
  auto book = PhoneBook::create();
  book->load({});
  return book;
}

inline PropertyList::Dictionary settingsMap(const std::map<std::string, std::string>& values) {
  PropertyList::Dictionary map;
  for (const auto& [key, value] : values) {
    map.emplace(key, PropertyList(value));
  }
  return map;
}

}  // namespace zavro::test
