// The process-wide country, region and SSID tables behind PhoneBook's class operations.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "phonebook/SSID.h"

namespace zavro::phonebook_detail {

using Row = std::vector<std::string>;

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// "country.txt": rows of at least three fields, in file order; a later row wins a code or a name.
struct CountryTable {
  std::vector<Row> list;
  std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byCode;
  std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byName;
  const Row* forCode(std::string_view code) const;
  // Field 3 of the code's row read as a decimal number; 0 when unknown or not a number.
  int allCitySortOrder(std::string_view code) const;
};

// "region.txt": rows of at least three fields; region codes are unique across countries.
struct RegionTable {
  std::vector<Row> list;
  std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byCode;
  std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byName;
  std::unordered_map<std::string, std::vector<size_t>, StringHash, std::equal_to<>> byCountry;
  const Row* forCode(std::string_view code) const;
};

using SSIDTable = std::unordered_map<std::string, std::shared_ptr<const SSID>, StringHash, std::equal_to<>>;

// The tables of this process, or null while not yet built. Built tables never change; a new
// Environment drops them so that the next load reads the files of its configuration folder.
std::shared_ptr<const CountryTable> countryTable();
std::shared_ptr<const RegionTable> regionTable();
std::shared_ptr<const SSIDTable> ssidTable();

}  // namespace zavro::phonebook_detail
