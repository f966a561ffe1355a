// PhoneBook queries: copies, filters, the POP order, name lists and per-position getters.
#include <algorithm>
#include <array>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "phonebook/FieldScan.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookTables.h"

namespace zavro {

using phonebook_detail::compareSignedBytes;
using phonebook_detail::parseRate;
using phonebook_detail::scanFields;

namespace {

std::string_view primaryField(const POP& pop, int n) {
  const LineEntry* primary = pop.primaryLine();
  return primary ? CSVFile::field(n, *primary).view() : std::string_view();
}

}  // namespace

std::shared_ptr<PhoneBook> PhoneBook::emptyCopy() const {
  auto book = std::make_shared<PhoneBook>();
  book->mPhoneFile = mPhoneFile;
  book->mPopIndex->setPhoneBook(book);
  return book;
}

std::shared_ptr<PhoneBook> PhoneBook::copyAccessType(uint32_t mask) const {
  auto book = emptyCopy();
  book->mAccessType = mask;
  book->mPopIndex->setPopEntries(mPopIndex->popEntriesWithAccessType(mask));
  book->buildCountryIndex();
  return book;
}

std::shared_ptr<PhoneBook> PhoneBook::copy() const {
  auto book = emptyCopy();
  book->mPopIndex = mPopIndex->copy();
  book->mPopIndex->setPhoneBook(book);
  book->mCountryIndex = mCountryIndex;
  book->mAccessType = mAccessType;
  book->mAuthTypes = mAuthTypes;
  return book;
}

template <typename Keep>
void PhoneBook::keepPops(Keep keep) {
  const POPIndex::PopList& pops = mPopIndex->pops();
  POPIndex::PopList kept;
  kept.reserve(pops.size());
  for (const POPRef& pop : pops) {
    if (keep(*pop)) {
      kept.push_back(pop);
    }
  }
  mPopIndex->setPopEntries(std::move(kept));
}

void PhoneBook::filterByCountryCode(std::string_view code) {
  if (!mCountryIndex) {
    return;
  }
  auto it = mCountryIndex->find(code);
  mPopIndex->setPopEntries(it == mCountryIndex->end() ? nullptr : it->second);
  mCountryIndex.reset();
}

void PhoneBook::filterByRegionCode(std::string_view code) {
  keepPops([&](const POP& pop) { return pop.primaryRegionIs(code) || pop.primaryAllCity(); });
}

void PhoneBook::filterByCity(std::string_view name) {
  keepPops([&](const POP& pop) { return pop.primaryCityIs(name) || pop.primaryAllCity(); });
}

void PhoneBook::filterByAreaCode(std::string_view code) {
  mCountryIndex.reset();
  keepPops([&](const POP& pop) { return primaryField(pop, 3) == code; });
}

void PhoneBook::filterByField(int n, std::string_view key) {
  keepPops([&](const POP& pop) { return primaryField(pop, n) == key; });
}

void PhoneBook::filterByAccessType(uint32_t mask) {
  mAccessType = mask;
  if (mask & kAccessDialup) {
    mAuthTypes.clear();
  }
  buildIndex();
}

// ---------------------------------------------------------------------------------------------
// The POP order.

namespace {

// Dense ranks of byte strings in the sort's byte order. Each distinct value is hashed once; only the
// distinct values are compared, so sorting then works on small integers and never reaches back into
// the phone file, whose records lie scattered over hundreds of megabytes.
class Ranker {
 public:
  explicit Ranker(size_t expected) { mIDs.reserve(expected); }
  uint32_t id(std::string_view value) {
    auto [it, inserted] = mIDs.try_emplace(value, static_cast<uint32_t>(mValues.size()));
    if (inserted) {
      mValues.push_back(value);
    }
    return it->second;
  }
  // rank of each id, 0 for the smallest value.
  std::vector<uint32_t> ranks() const {
    std::vector<uint32_t> order(mValues.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return compareSignedBytes(mValues[a], mValues[b]) < 0; });
    std::vector<uint32_t> rank(mValues.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
      rank[order[i]] = i;
    }
    return rank;
  }
  uint32_t size() const { return static_cast<uint32_t>(mValues.size()); }

 private:
  std::unordered_map<std::string_view, uint32_t> mIDs;
  std::vector<std::string_view> mValues;
};

// The whole order of one POP as integers, compared left to right; the position breaks the last
// ties, which makes the plain sort keep the order of equal POPs.
struct RankKey {
  uint32_t k[6];
  uint32_t position;
  bool operator<(const RankKey& o) const {
    for (int i = 0; i < 6; ++i) {
      if (k[i] != o.k[i]) {
        return k[i] < o.k[i];
      }
    }
    return position < o.position;
  }
};

}  // namespace

// The order read straight from the records, field by field; sort() gives the same order faster.
int PhoneBook::comparePOPs(const POP& a, const POP& b, void* context) {
  const auto& book = *static_cast<const PhoneBook*>(context);
  const LineEntry* pa = a.primaryLine();
  const LineEntry* pb = b.primaryLine();
  if (!pa || !pb) {
    return 0;
  }
  auto cmp = [&](int n) { return compareSignedBytes(CSVFile::field(n, *pa).view(), CSVFile::field(n, *pb).view()); };
  const int field = book.sortField();
  const bool ascending = book.sortAscending() != 0;
  int c = 0;
  if (field == -1) {
    c = cmp(0);
    if (c != 0) {
      return c;
    }
    const std::string_view fa = CSVFile::field(24, *pa).view();
    const std::string_view fb = CSVFile::field(24, *pb).view();
    const bool allA = !fa.empty() && fa[0] == '1';
    const bool allB = !fb.empty() && fb[0] == '1';
    if (allA != allB) {
      const bool last = countryAllCitySortOrderForCode(CSVFile::field(0, *pa).view()) != 0;
      return (allA != last) ? -1 : 1;
    }
    if (!allA) {
      c = cmp(1);
      if (c == 0) {
        c = cmp(2);
      }
    }
  } else if (field == 14) {
    const double ra = a.rateValue();
    const double rb = b.rateValue();
    if (ra < rb) {
      c = ascending ? -1 : 1;
    } else if (ra > rb) {
      c = ascending ? 1 : -1;
    }
  } else if (field == 4) {
    c = cmp(3);
    if (c == 0) {
      c = cmp(4);
    }
    c = ascending ? c : -c;
  } else {
    c = cmp(field);
    c = ascending ? c : -c;
  }
  if (c != 0) {
    return c;
  }
  if (a.isCustomerPOP() != b.isCustomerPOP()) {
    return a.isCustomerPOP() == book.sortCustomerPOPsFirst() ? -1 : 1;
  }
  return cmp(25);
}

void PhoneBook::sortByField(int field, signed char ascending) {
  mSortField = field;
  mSortAscending = ascending;
  sort();
}

void PhoneBook::sort() {
  if (mCountryIndex) {
    return;  // several countries: the index order stays
  }
  const POPIndex::PopList& pops = mPopIndex->pops();
  const size_t n = pops.size();
  const int field = mSortField;
  const bool ascending = mSortAscending != 0;
  auto countries = phonebook_detail::countryTable();

  // One visit per POP: its record is scanned once for every field the order reads.
  enum : uint32_t { kNoRecord = 0xFFFFFFFF };
  std::vector<std::array<uint32_t, 4>> ids(n);  // key fields' value ids, then field 25's
  std::vector<uint8_t> flags(n);                // 1 customer, 2 all-city, 4 all-city sorts last
  std::vector<double> rates;
  Ranker key0(1024), key1(1024), key2(1024), order(1024);
  if (field == 14) {
    rates.resize(n);
  }
  for (size_t i = 0; i < n; ++i) {
    const POP& pop = *pops[i];
    const LineEntry* primary = pop.primaryLine();
    if (!primary) {
      ids[i] = {kNoRecord, kNoRecord, kNoRecord, kNoRecord};
      continue;
    }
    FieldRef f[32];
    const int wanted = field >= 26 && field < 32 ? field + 1 : 26;
    const int count = scanFields(*primary, f, wanted);
    auto at = [&](int k) { return k >= 0 && k < count ? f[k].view() : std::string_view(); };
    uint8_t fl = pop.isCustomerPOP() ? 1 : 0;
    if (field == -1) {
      const std::string_view allCity = at(24);
      if (!allCity.empty() && allCity[0] == '1') {
        fl |= 2;
        if (countries && countries->allCitySortOrder(at(0)) != 0) {
          fl |= 4;
        }
      }
      ids[i] = {key0.id(at(0)), key1.id(at(1)), key2.id(at(2)), 0};
    } else if (field == 14) {
      rates[i] = pop.rateValue();  // the rate accessor reads the current record
    } else if (field == 4) {
      ids[i] = {key0.id(at(3)), key1.id(at(4)), 0, 0};
    } else {
      ids[i] = {key0.id(field >= 32 ? CSVFile::field(field, *primary).view() : at(field)), 0, 0, 0};
    }
    ids[i][3] = order.id(at(25));
    flags[i] = fl;
  }

  const std::vector<uint32_t> r0 = key0.ranks(), r1 = key1.ranks(), r2 = key2.ranks(), r25 = order.ranks();
  std::vector<double> distinctRates;
  if (field == 14) {
    distinctRates = rates;
    std::sort(distinctRates.begin(), distinctRates.end());
    distinctRates.erase(std::unique(distinctRates.begin(), distinctRates.end()), distinctRates.end());
  }
  auto directed = [&](uint32_t rank, uint32_t size) { return ascending ? rank : size - 1 - rank; };
  std::vector<RankKey> keys(n);
  for (size_t i = 0; i < n; ++i) {
    RankKey& key = keys[i];
    key.position = static_cast<uint32_t>(i);
    if (ids[i][0] == kNoRecord) {
      // Nothing to order by: kept in front, in its place among its kind.
      std::fill(std::begin(key.k), std::end(key.k), 0u);
      continue;
    }
    const uint8_t fl = flags[i];
    if (field == -1) {
      // Same country: all-city POPs first (bucket 0) or last (2) around the others (1); two all-city
      // POPs are not compared by region or city.
      const bool allCity = fl & 2;
      key.k[0] = r0[ids[i][0]] + 1;
      key.k[1] = allCity ? ((fl & 4) ? 2 : 0) : 1;
      key.k[2] = allCity ? 0 : r1[ids[i][1]];
      key.k[3] = allCity ? 0 : r2[ids[i][2]];
    } else if (field == 14) {
      const auto rank = static_cast<uint32_t>(std::lower_bound(distinctRates.begin(), distinctRates.end(), rates[i]) -
                                              distinctRates.begin());
      key.k[0] = directed(rank, static_cast<uint32_t>(distinctRates.size())) + 1;
      key.k[1] = key.k[2] = key.k[3] = 0;
    } else if (field == 4) {
      key.k[0] = directed(r0[ids[i][0]], key0.size()) + 1;
      key.k[1] = directed(r1[ids[i][1]], key1.size());
      key.k[2] = key.k[3] = 0;
    } else {
      key.k[0] = directed(r0[ids[i][0]], key0.size()) + 1;
      key.k[1] = key.k[2] = key.k[3] = 0;
    }
    const bool customer = fl & 1;
    key.k[4] = customer == mSortCustomerPOPsFirst ? 0 : 1;
    key.k[5] = r25[ids[i][3]];
  }
  std::sort(keys.begin(), keys.end());
  POPIndex::PopList sorted;
  sorted.reserve(n);
  for (const RankKey& key : keys) {
    sorted.push_back(pops[key.position]);
  }
  mPopIndex->setPopEntries(std::move(sorted));
}

// ---------------------------------------------------------------------------------------------
// Name lists and per-position getters.

std::vector<std::string> PhoneBook::countryNames() const {
  std::vector<std::string> names;
  if (!mCountryIndex) {
    return names;
  }
  auto countries = phonebook_detail::countryTable();
  for (const auto& entry : *mCountryIndex) {
    if (const phonebook_detail::Row* row = countries ? countries->forCode(entry.first) : nullptr) {
      names.push_back((*row)[2]);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> PhoneBook::regionNames() const {
  std::unordered_set<std::string_view> codes;
  for (const POPRef& pop : mPopIndex->pops()) {
    codes.insert(primaryField(*pop, 1));
  }
  std::vector<std::string> names;
  if (auto regions = phonebook_detail::regionTable()) {
    for (std::string_view code : codes) {
      if (const phonebook_detail::Row* row = regions->forCode(code)) {
        names.push_back((*row)[2]);
      }
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::vector<std::string> PhoneBook::getCityNames() const {
  std::unordered_set<std::string_view> cities;
  for (const POPRef& pop : mPopIndex->pops()) {
    cities.insert(primaryField(*pop, 2));
  }
  std::vector<std::string> names(cities.begin(), cities.end());
  std::sort(names.begin(), names.end());
  return names;
}

std::string PhoneBook::fieldAt(int n, int i) const {
  POPRef p = pop(i);
  return p ? std::string(primaryField(*p, n)) : std::string();
}

std::optional<std::string> PhoneBook::getRegionNameForIndex(int i) const {
  POPRef p = pop(i);
  return p ? regionNameForCode(primaryField(*p, 1)) : std::nullopt;
}

double PhoneBook::getRateForIndex(int i) const {
  POPRef p = pop(i);
  return p ? parseRate(primaryField(*p, 14)) : 0.0;
}

long PhoneBook::getFieldAsInt(int n, int i) const {
  POPRef p = pop(i);
  return p ? parseIntegerBase0(primaryField(*p, n)) : 0;
}

POPRef PhoneBook::nextPOP(unsigned position, std::string_view city) const {
  const POPIndex::PopList& pops = mPopIndex->pops();
  size_t i = position == kNotFound ? 0 : static_cast<size_t>(position) + 1;
  for (; i < pops.size(); ++i) {
    if (pops[i]->fieldBytes(2) == city) {
      return pops[i];
    }
  }
  return nullptr;
}

}  // namespace zavro
