// PhoneBook queries: copies, filters, the POP order, name lists and per-position getters.
#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "phonebook/FieldScan.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookTables.h"

namespace zavro {

using phonebook_detail::compareSignedBytes;
using phonebook_detail::parseRate;
using phonebook_detail::prefixKey;
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

namespace {
// Field `n` equals `key`, or field 24 of the record is exactly "1" (one scan of the record).
bool matchesOrAllCity(const POP& pop, int n, std::string_view key) {
  const LineEntry* primary = pop.primaryLine();
  if (!primary) {
    return false;
  }
  FieldRef f[25];
  const int count = scanFields(*primary, f, 25);
  if ((n < count ? f[n].view() : std::string_view()) == key) {
    return true;
  }
  return count > 24 && f[24].view() == "1";
}
}  // namespace

void PhoneBook::filterByRegionCode(std::string_view code) {
  keepPops([&](const POP& pop) { return matchesOrAllCity(pop, 1, code); });
}

void PhoneBook::filterByCity(std::string_view name) {
  keepPops([&](const POP& pop) { return matchesOrAllCity(pop, 2, name); });
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

struct SortContext {
  int field;
  bool ascending;
  bool customerFirst;
};

// What the order reads of one POP, found once before sorting so that comparisons touch no map, make
// no strings and rescan no records.
struct SortKey {
  uint64_t prefix[3] = {};
  std::string_view key[3];  // default: country, region, city; 4: area code, phone; other: the field
  std::string_view order;   // field 25
  double rate = 0;
  bool hasPrimary = false;
  bool allCity = false;      // field 24 begins with "1"
  bool allCityLast = false;  // the country's all-city sort order is not 0
  bool customer = false;
};

int compareKey(const SortKey& a, const SortKey& b, int i) {
  if (a.prefix[i] != b.prefix[i]) {
    return a.prefix[i] < b.prefix[i] ? -1 : 1;
  }
  return compareSignedBytes(a.key[i], b.key[i]);
}

int compareKeys(const SortKey& a, const SortKey& b, const SortContext& ctx) {
  if (!a.hasPrimary || !b.hasPrimary) {
    return 0;
  }
  int c = 0;
  if (ctx.field == -1) {
    c = compareKey(a, b, 0);
    if (c != 0) {
      return c;
    }
    if (a.allCity != b.allCity) {
      // Same country, so one all-city sort order applies to both.
      const bool aFirst = a.allCity ? !a.allCityLast : b.allCityLast;
      return aFirst ? -1 : 1;
    }
    if (!a.allCity) {
      c = compareKey(a, b, 1);
      if (c == 0) {
        c = compareKey(a, b, 2);
      }
    }
  } else if (ctx.field == 14) {
    if (a.rate != b.rate) {
      c = (a.rate < b.rate) == ctx.ascending ? -1 : 1;
    }
  } else if (ctx.field == 4) {
    c = compareKey(a, b, 0);
    if (c == 0) {
      c = compareKey(a, b, 1);
    }
    c = ctx.ascending ? c : -c;
  } else {
    c = compareKey(a, b, 0);
    c = ctx.ascending ? c : -c;
  }
  if (c != 0) {
    return c;
  }
  if (a.customer != b.customer) {
    return a.customer == ctx.customerFirst ? -1 : 1;
  }
  return compareSignedBytes(a.order, b.order);
}

void setKey(SortKey& key, int i, std::string_view value) {
  key.key[i] = value;
  key.prefix[i] = prefixKey(value, true);
}

SortKey makeKey(const POP& pop, const SortContext& ctx, const phonebook_detail::CountryTable* countries) {
  SortKey key;
  const LineEntry* primary = pop.primaryLine();
  if (!primary) {
    return key;
  }
  key.hasPrimary = true;
  key.customer = pop.isCustomerPOP();
  FieldRef f[32];
  const int maxField = ctx.field > 31 ? 26 : std::max(ctx.field + 1, 26);
  const int n = scanFields(*primary, f, std::min(maxField, 32));
  auto fieldAt = [&](int i) { return i >= 0 && i < n ? f[i].view() : std::string_view(); };
  key.order = fieldAt(25);
  if (ctx.field == -1) {
    setKey(key, 0, fieldAt(0));
    key.allCity = !fieldAt(24).empty() && fieldAt(24)[0] == '1';
    if (key.allCity) {
      key.allCityLast = countries && countries->allCitySortOrder(fieldAt(0)) != 0;
    }
    setKey(key, 1, fieldAt(1));
    setKey(key, 2, fieldAt(2));
  } else if (ctx.field == 14) {
    key.rate = pop.rateValue();  // the rate accessor: the current record
  } else if (ctx.field == 4) {
    setKey(key, 0, fieldAt(3));
    setKey(key, 1, fieldAt(4));
  } else if (ctx.field > 31) {
    setKey(key, 0, CSVFile::field(ctx.field, *primary).view());
  } else {
    setKey(key, 0, fieldAt(ctx.field));
  }
  return key;
}

SortContext contextOf(const PhoneBook& book) {
  return {book.sortField(), book.sortAscending() != 0, book.sortCustomerPOPsFirst()};
}

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
  const SortContext ctx = contextOf(*this);
  auto countries = phonebook_detail::countryTable();
  std::vector<SortKey> keys;
  keys.reserve(pops.size());
  for (const POPRef& pop : pops) {
    keys.push_back(makeKey(*pop, ctx, countries.get()));
  }
  std::vector<uint32_t> order(pops.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return compareKeys(keys[a], keys[b], ctx) < 0; });
  POPIndex::PopList sorted;
  sorted.reserve(pops.size());
  for (uint32_t i : order) {
    sorted.push_back(pops[i]);
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
