// Builds phonebook records and installs small phonebooks for the phonebook tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "phonebook/PhoneBook.h"
#include "support/TestEnvironment.h"

namespace zavro::test {

// One 35-field record; fields not given are empty. Values are written as they stand, so a test can
// quote them itself.
inline std::string record(const std::map<int, std::string>& fields) {
  std::string line;
  for (int i = 0; i < 35; ++i) {
    if (i) {
      line += ',';
    }
    auto it = fields.find(i);
    if (it != fields.end()) {
      line += it->second;
    }
  }
  return line;
}

// A typical dial-up record: country, region, city, ID and access bits, plus extra fields.
inline std::string pop(const std::string& cc, const std::string& rc, const std::string& city, const std::string& id,
                       const std::string& access, std::map<int, std::string> extra = {}) {
  extra.emplace(0, cc);
  extra.emplace(1, rc);
  extra.emplace(2, city);
  extra.emplace(5, id);
  extra.emplace(28, access);
  return record(extra);
}

inline std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) {
    out += line + "\n";
  }
  return out;
}

inline const char* kCountries =
    "US,1,United States,0\n"
    "GB,44,United Kingdom, 1\n"
    "FR,33,France\n";
inline const char* kRegions =
    "US,USCA,California\n"
    "US,USNY,New York\n"
    "GB,GBENG,England\n"
    "FR,FRIDF,Ile-de-France\n";

// Writes the files into the environment's configuration folder and loads a master book.
inline std::shared_ptr<PhoneBook> loadBook(TestEnvironment& env, const std::vector<std::string>& pbook,
                                           const std::vector<std::string>& cbook = {},
                                           std::vector<std::string> codes = {}) {
  env.writeConfig("country.txt", kCountries);
  env.writeConfig("region.txt", kRegions);
  if (!pbook.empty()) {
    env.writeConfig("pbook.txt", joinLines(pbook));
  }
  if (!cbook.empty()) {
    env.writeConfig("cbook.txt", joinLines(cbook));
  }
  auto book = PhoneBook::create();
  book->load(std::move(codes));
  return book;
}

inline std::vector<std::string> ids(const PhoneBook& book) {
  std::vector<std::string> out;
  for (unsigned i = 0; i < book.count(); ++i) {
    out.emplace_back(book.pop(static_cast<int>(i))->popID());
  }
  return out;
}

}  // namespace zavro::test
