// The loaded phonebook: its records, the index of POPs, the class-level tables and the queries.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/CSVFile.h"
#include "phonebook/AccessType.h"
#include "phonebook/POP.h"
#include "phonebook/POPIndex.h"
#include "phonebook/SSID.h"

namespace zavro {

// The master book is made once with load(); every other book is a copy of it (copyAccessType,
// copy) narrowed by the filters. Copies share the POPs and the loaded phone file, which is never
// changed after load; only the lists that hold the POPs are copied, and those lazily.
//
// Class-level tables (country, region, SSID/WEP) are built by the first load() of a process and
// then kept; Environment::install drops them. Rows with fewer fields than their loader reads (three
// in country.txt and region.txt, two in the SSID and WEP files) are skipped.
//
// Not thread-safe: a book belongs to one thread. The class-level tables may be read from any thread.
class PhoneBook : public std::enable_shared_from_this<PhoneBook> {
 public:
  // Country code → that country's POPs in index order. Built once, then only shared or dropped.
  using CountryIndex = std::map<std::string, std::shared_ptr<const POPIndex::PopList>, std::less<>>;

  // The defaults of an empty book: all access bits, default order, ascending, customer placement
  // from the administrator settings (customerPOPsSortFirst()).
  PhoneBook();
  static std::shared_ptr<PhoneBook> create() { return std::make_shared<PhoneBook>(); }
  PhoneBook(const PhoneBook&) = delete;
  PhoneBook& operator=(const PhoneBook&) = delete;

  // Reads pbook.txt (block 0) and cbook.txt (appended) from the configuration folder, builds the
  // class-level tables when this process has none yet, keeps `authTypes` (the installed plug-in
  // codes; empty excludes nothing) and builds the index.
  void load(std::vector<std::string> authTypes);
  // Same with the phone file's bytes given directly (tables still come from the configuration
  // folder). For tests, tools and benchmarks.
  void loadWithPhoneFile(std::shared_ptr<const CSVFile> phoneFile, std::vector<std::string> authTypes);

  // Rebuilds the index and the country index from the phone file for the current accessType and
  // authTypes. A record is taken when field 28 ANDed with accessType is not 0 and its access
  // procedure (field 29 without a trailing ".extension") is empty, or no plug-in codes are set, or
  // it is one of them. Taken records are ordered by POP ID once (equal IDs keep file order, so
  // pbook.txt records come before cbook.txt ones) and folded in one pass: the first record of an
  // ID is the POP's primary record and gives its access type.
  void buildIndex();

  unsigned count() const { return mPopIndex->count(); }
  uint32_t version() const { return mPhoneFile ? mPhoneFile->version() : 0; }
  // Null when i is outside [0, count()).
  POPRef pop(int i) const;
  POPRef popForID(std::string_view popID) const;
  // 0x7FFFFFFF when not found.
  unsigned indexForID(std::string_view popID) const;
  static constexpr unsigned kNotFound = 0x7FFFFFFF;

  std::string getFieldAsString(int n, const LineEntry& line) const;
  long getFieldAsInt(int n, const LineEntry& line) const;
  std::vector<std::string> getFieldsForEntry(const LineEntry& line) const;
  // Fields of the primary record of the POP at position i; empty when there is none.
  std::vector<std::string> getFields(int i) const;
  // The index's POPs, one description after another.
  std::string description() const;

  const std::shared_ptr<const CSVFile>& phoneFile() const { return mPhoneFile; }
  const std::shared_ptr<POPIndex>& popIndex() const { return mPopIndex; }
  bool hasCountryIndex() const { return mCountryIndex != nullptr; }
  const CountryIndex* countryIndex() const { return mCountryIndex.get(); }
  int sortField() const { return mSortField; }
  signed char sortAscending() const { return mSortAscending; }
  uint32_t accessType() const { return mAccessType; }
  void setAccessType(uint32_t mask) { mAccessType = mask; }
  const std::vector<std::string>& authTypes() const { return mAuthTypes; }
  void setAuthTypes(std::vector<std::string> codes) { mAuthTypes = std::move(codes); }
  bool sortCustomerPOPsFirst() const { return mSortCustomerPOPsFirst; }
  void setSortCustomerPOPsFirst(bool first) { mSortCustomerPOPsFirst = first; }

  // --- Copies ---
  // A new book (defaults of an empty book) over the same phone file holding, in order, this
  // book's POPs whose access type has a bit of `mask`, with a country index built anew.
  std::shared_ptr<PhoneBook> copyAccessType(uint32_t mask) const;
  // A new book (defaults) with this book's POPs, country index (when it has one), accessType and
  // plug-in codes.
  std::shared_ptr<PhoneBook> copy() const;

  // --- Filters (in place; matching is exact, case-sensitive; the primary record is read) ---
  // With a country index: the index becomes that country's POPs (none for an unknown code) and the
  // country index goes. Without one: nothing happens.
  void filterByCountryCode(std::string_view code);
  // Keeps region (field 1) == code, and all-city POPs (field 24 exactly "1").
  void filterByRegionCode(std::string_view code);
  // Keeps city (field 2) == name, and all-city POPs.
  void filterByCity(std::string_view name);
  // Drops the country index, keeps area code (field 3) == code.
  void filterByAreaCode(std::string_view code);
  void filterByField(int n, std::string_view key);
  // accessType = mask (plug-in codes dropped when it has a dial-up bit), then buildIndex.
  void filterByAccessType(uint32_t mask);

  // --- Sorting ---
  void sortByField(int field, signed char ascending);
  // Only a book narrowed to one country (no country index) is reordered. The order: default
  // (field -1) by country, all-city placement per country, region, city; 14 by rate; 4 by area
  // code then phone; any other field by its bytes; descending reverses the key only. Ties go to
  // customer placement, then field 25 ascending; POPs still equal keep their order. Field bytes
  // compare as signed 8-bit numbers, a prefix first.
  void sort();
  // The comparison sort() applies (context: the book), for sortUsingFunction and checks.
  static int comparePOPs(const POP& a, const POP& b, void* book);

  // --- Name lists and per-position getters ---
  // Names of the country codes in the country index, sorted; codes without a country-table row
  // are left out; empty without a country index.
  std::vector<std::string> countryNames() const;
  // Distinct region names of the POPs (regions not in the table contribute nothing), sorted.
  std::vector<std::string> regionNames() const;
  // Distinct cities (field 2), sorted.
  std::vector<std::string> getCityNames() const;
  // Out-of-range positions read as "" (and null, false, 0).
  std::string getRegionIDForIndex(int i) const { return fieldAt(1, i); }
  std::optional<std::string> getRegionNameForIndex(int i) const;
  std::string getCityNameForIndex(int i) const { return fieldAt(2, i); }
  std::string getAreaCodeForIndex(int i) const { return fieldAt(3, i); }
  std::string getPhoneForIndex(int i) const { return fieldAt(4, i); }
  std::string getSpeedForIndex(int i) const { return fieldAt(15, i); }
  double getRateForIndex(int i) const;
  std::string getLocationForIndex(int i) const { return fieldAt(31, i); }
  bool getAllCityForIndex(int i) const { return fieldAt(24, i) == "1"; }
  std::string getFieldAsString(int n, int i) const { return fieldAt(n, i); }
  long getFieldAsInt(int n, int i) const;
  // The first POP after `position` (from 0 when position is kNotFound) whose current record's city
  // equals `city`; null when there is none.
  POPRef nextPOP(unsigned position, std::string_view city) const;

  // --- Class-level tables ---
  static void buildCountryData();
  static void buildRegionData();
  static void buildSSIDData();
  static void loadSSIDData(const std::string& path, std::map<std::string, std::shared_ptr<SSID>>& dict);
  static void loadWEPData(const std::string& path, std::map<std::string, std::shared_ptr<SSID>>& dict);
  // Every name of the country table, sorted, duplicates kept (the class-level list).
  static std::vector<std::string> countryTableNames();
  static int countryCount();
  static std::optional<std::string> countryNameForCode(std::string_view code);
  static std::optional<std::string> countryCodeForName(std::string_view name);
  static std::optional<std::string> countryTAPICode(std::string_view code);
  static int countryAllCitySortOrderForCode(std::string_view code);
  static int countRegionsForCountryCode(std::string_view code);
  static std::optional<std::string> regionNameForCode(std::string_view code);
  static std::optional<std::string> regionCodeForName(std::string_view name);
  static std::vector<std::string> regionNamesForCountryCode(std::string_view code);
  static std::vector<std::string> regionNamesForCountryName(std::string_view name);
  static std::shared_ptr<const SSID> getSSID(std::string_view popID);

 private:
  std::string fieldAt(int n, int i) const;
  std::shared_ptr<PhoneBook> emptyCopy() const;
  void buildCountryIndex();
  template <typename Keep>
  void keepPops(Keep keep);

  std::shared_ptr<const CSVFile> mPhoneFile;
  std::shared_ptr<POPIndex> mPopIndex;
  std::shared_ptr<const CountryIndex> mCountryIndex;  // shared by copies; never changed once built
  int mSortField = -1;
  uint32_t mAccessType = kAccessAll;
  std::vector<std::string> mAuthTypes;
  bool mSortCustomerPOPsFirst = false;
  signed char mSortAscending = 1;
};

}  // namespace zavro
