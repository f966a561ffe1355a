// The class-level country, region and SSID/WEP tables: loading once per process and lookups.
#include "phonebook/PhoneBookTables.h"

#include <algorithm>
#include <mutex>

#include "common/CSVFile.h"
#include "common/LogFile.h"
#include "phonebook/FieldScan.h"
#include "phonebook/PhoneBook.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace phonebook_detail {

namespace {

struct Tables {
  std::mutex mutex;
  std::shared_ptr<const CountryTable> countries;
  std::shared_ptr<const RegionTable> regions;
  std::shared_ptr<const SSIDTable> ssids;
};

ProcessWide<Tables> gTables([] { return std::make_shared<Tables>(); });

// The rows of a table file that carry at least `minFields` fields, in file order.
std::vector<Row> readRows(const std::string& name, size_t minFields) {
  std::vector<Row> rows;
  auto csv = CSVFile::fileWithPath(ZavroConfiguration::pathToConfigFile(name));
  rows.reserve(static_cast<size_t>(csv->count()));
  for (const auto& line : csv->lines()) {
    Row row = csv->getArrayForLineEntry(line);
    if (row.size() >= minFields) {
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

// "text to integer": leading blanks skipped, optional sign, decimal digits; 0 when not a number.
int leadingInt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) {
    ++i;
  }
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (s[i] - '0'), 1LL << 31);
  }
  value = negative ? -value : value;
  return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

const Row* CountryTable::forCode(std::string_view code) const {
  auto it = byCode.find(code);
  return it == byCode.end() ? nullptr : &list[it->second];
}

int CountryTable::allCitySortOrder(std::string_view code) const {
  const Row* row = forCode(code);
  return row && row->size() > 3 ? leadingInt((*row)[3]) : 0;
}

const Row* RegionTable::forCode(std::string_view code) const {
  auto it = byCode.find(code);
  return it == byCode.end() ? nullptr : &list[it->second];
}

std::shared_ptr<const CountryTable> countryTable() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  return tables->countries;
}

std::shared_ptr<const RegionTable> regionTable() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  return tables->regions;
}

std::shared_ptr<const SSIDTable> ssidTable() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  return tables->ssids;
}

}  // namespace phonebook_detail

using namespace phonebook_detail;

void PhoneBook::buildCountryData() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  if (tables->countries) {
    return;
  }
  auto table = std::make_shared<CountryTable>();
  table->list = readRows("country.txt", 3);
  for (size_t i = 0; i < table->list.size(); ++i) {
    table->byName[table->list[i][2]] = i;
    table->byCode[table->list[i][0]] = i;
  }
  tables->countries = std::move(table);
}

void PhoneBook::buildRegionData() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  if (tables->regions) {
    return;
  }
  auto table = std::make_shared<RegionTable>();
  table->list = readRows("region.txt", 3);
  for (size_t i = 0; i < table->list.size(); ++i) {
    const Row& row = table->list[i];
    table->byCountry[row[0]].push_back(i);
    table->byName[row[2]] = i;
    table->byCode[row[1]] = i;
  }
  tables->regions = std::move(table);
}

void PhoneBook::loadSSIDData(const std::string& path, std::map<std::string, std::shared_ptr<SSID>>& dict) {
  auto csv = CSVFile::fileWithPath(path);
  for (const auto& line : csv->lines()) {
    FieldRef f[2];
    if (scanFields(line, f, 2) < 2) {
      continue;
    }
    dict[std::string(f[0].view())] = SSID::ssid(std::string(f[1].view()), std::nullopt);
  }
}

void PhoneBook::loadWEPData(const std::string& path, std::map<std::string, std::shared_ptr<SSID>>& dict) {
  auto csv = CSVFile::fileWithPath(path);
  for (const auto& line : csv->lines()) {
    FieldRef f[2];
    if (scanFields(line, f, 2) < 2) {
      continue;
    }
    auto it = dict.find(std::string(f[0].view()));
    if (it != dict.end()) {
      it->second->setWEPKey(std::string(f[1].view()));
    }
  }
}

void PhoneBook::buildSSIDData() {
  auto tables = gTables.get();
  std::lock_guard lock(tables->mutex);
  if (tables->ssids) {
    return;
  }
  std::map<std::string, std::shared_ptr<SSID>> dict;
  loadSSIDData(ZavroConfiguration::pathToConfigFile("pop_ssid.txt"), dict);
  loadSSIDData(ZavroConfiguration::pathToConfigFile("cust_pop_ssid.txt"), dict);
  if (!dict.empty()) {
    loadWEPData(ZavroConfiguration::pathToConfigFile("pop_wep.txt"), dict);
    loadWEPData(ZavroConfiguration::pathToConfigFile("cust_pop_wep.txt"), dict);
  }
  auto table = std::make_shared<SSIDTable>();
  table->reserve(dict.size());
  for (auto& [id, ssid] : dict) {
    table->emplace(id, std::move(ssid));
  }
  tables->ssids = std::move(table);
}

std::vector<std::string> PhoneBook::countryTableNames() {
  std::vector<std::string> names;
  if (auto table = countryTable()) {
    for (const Row& row : table->list) {
      names.push_back(row[2]);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

int PhoneBook::countryCount() {
  auto table = countryTable();
  return table ? static_cast<int>(table->list.size()) : 0;
}

std::optional<std::string> PhoneBook::countryNameForCode(std::string_view code) {
  auto table = countryTable();
  const Row* row = table ? table->forCode(code) : nullptr;
  return row ? std::optional<std::string>((*row)[2]) : std::nullopt;
}

std::optional<std::string> PhoneBook::countryCodeForName(std::string_view name) {
  auto table = countryTable();
  if (!table) {
    return std::nullopt;
  }
  auto it = table->byName.find(name);
  return it == table->byName.end() ? std::nullopt : std::optional<std::string>(table->list[it->second][0]);
}

std::optional<std::string> PhoneBook::countryTAPICode(std::string_view code) {
  auto table = countryTable();
  const Row* row = table ? table->forCode(code) : nullptr;
  return row ? std::optional<std::string>((*row)[1]) : std::nullopt;
}

int PhoneBook::countryAllCitySortOrderForCode(std::string_view code) {
  auto table = countryTable();
  return table ? table->allCitySortOrder(code) : 0;
}

int PhoneBook::countRegionsForCountryCode(std::string_view code) {
  auto table = regionTable();
  if (!table) {
    return 0;
  }
  auto it = table->byCountry.find(code);
  return it == table->byCountry.end() ? 0 : static_cast<int>(it->second.size());
}

std::optional<std::string> PhoneBook::regionNameForCode(std::string_view code) {
  auto table = regionTable();
  const Row* row = table ? table->forCode(code) : nullptr;
  return row ? std::optional<std::string>((*row)[2]) : std::nullopt;
}

std::optional<std::string> PhoneBook::regionCodeForName(std::string_view name) {
  auto table = regionTable();
  if (!table) {
    return std::nullopt;
  }
  auto it = table->byName.find(name);
  return it == table->byName.end() ? std::nullopt : std::optional<std::string>(table->list[it->second][1]);
}

std::vector<std::string> PhoneBook::regionNamesForCountryCode(std::string_view code) {
  std::vector<std::string> names;
  auto table = regionTable();
  if (!table) {
    return names;
  }
  auto it = table->byCountry.find(code);
  if (it == table->byCountry.end()) {
    return names;
  }
  for (size_t i : it->second) {
    names.push_back(table->list[i][2]);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<std::string> PhoneBook::regionNamesForCountryName(std::string_view name) {
  auto code = countryCodeForName(name);
  return code ? regionNamesForCountryCode(*code) : std::vector<std::string>();
}

std::shared_ptr<const SSID> PhoneBook::getSSID(std::string_view popID) {
  auto table = ssidTable();
  if (!table) {
    return nullptr;
  }
  auto it = table->find(popID);
  return it == table->end() ? nullptr : it->second;
}

}  // namespace zavro
