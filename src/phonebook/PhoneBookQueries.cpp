// PhoneBook queries: copies, filters, the POP order, name lists and per-position getters.
#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
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

__extension__ typedef unsigned __int128 SortKey;

// Bits needed for the numbers 0..count-1.
int widthFor(size_t count) {
  return count <= 1 ? 0 : static_cast<int>(std::bit_width(count - 1));
}

// The distinct values of one key field, numbered in order of first appearance, and their ranks in
// the signed-byte order. Only the distinct values are compared: a country book has a few hundred
// cities for a hundred thousand POPs, and comparing equal long values again and again would read
// records scattered over the whole file each time. Open addressing over flat arrays whose slots
// keep each value's first 8 bytes: numbering a value costs one hash, and only a known value longer
// than 8 bytes is compared with its first occurrence (which stays in the cache, being met so often).
class DistinctValues {
 public:
  DistinctValues() : mSlots(1024), mMask(1023) {}

  uint32_t id(std::string_view value) {
    const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(value));
    const uint64_t head = headOf(value);
    for (uint32_t i = hash & mMask;; i = (i + 1) & mMask) {
      const Slot slot = mSlots[i];
      if (slot.idPlusOne == 0) {
        const auto id = static_cast<uint32_t>(mValues.size());
        mSlots[i] = {head, hash, id + 1};
        mValues.push_back(value);
        if (mValues.size() * 2 > mSlots.size()) {
          grow();
        }
        return id;
      }
      if (slot.hash == hash && slot.head == head) {
        // Values of up to 8 bytes are settled by the head and the length without going back to the
        // record the value was first seen in.
        const std::string_view known = mValues[slot.idPlusOne - 1];
        if (known.size() == value.size() && (value.size() <= 8 || sameBytes(known.substr(8), value.substr(8)))) {
          return slot.idPlusOne - 1;
        }
      }
    }
  }

  size_t size() const { return mValues.size(); }

  // The first 8 bytes as they stand (missing ones 0).
  static uint64_t headOf(std::string_view value) {
    uint64_t head = 0;
    if (!value.empty()) {
      std::memcpy(&head, value.data(), std::min<size_t>(value.size(), 8));
    }
    return head;
  }

  // Field values are short: a plain loop beats a call to memcmp. Sizes are equal.
  static bool sameBytes(std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] != b[i]) {
        return false;
      }
    }
    return true;
  }

  // Rank of each id, 0 for the smallest value. Sixteen bytes of each value are compared as two
  // numbers (bytes biased by 0x80 so that signed-byte order becomes unsigned order); the rest of the
  // values is read only when both are longer and agree that far.
  std::vector<uint32_t> ranks() const {
    struct Item {
      uint64_t prefix[2];
      uint32_t id;
    };
    std::vector<Item> items(mValues.size());
    for (uint32_t i = 0; i < items.size(); ++i) {
      const std::string_view v = mValues[i];
      items[i] = {{prefixKey(v, true), prefixKey(v.size() > 8 ? v.substr(8) : std::string_view(), true)}, i};
    }
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
      if (a.prefix[0] != b.prefix[0]) {
        return a.prefix[0] < b.prefix[0];
      }
      if (a.prefix[1] != b.prefix[1]) {
        return a.prefix[1] < b.prefix[1];
      }
      const std::string_view x = mValues[a.id];
      const std::string_view y = mValues[b.id];
      // Equal prefixes with one value at most 16 bytes long: a missing byte and 0x80 both read as 0,
      // so the shorter value is the start of the longer one (the values are distinct).
      if (std::min(x.size(), y.size()) <= 16) {
        return x.size() < y.size();
      }
      return compareSignedBytes(x.substr(16), y.substr(16)) < 0;
    });
    std::vector<uint32_t> rank(items.size());
    for (uint32_t i = 0; i < items.size(); ++i) {
      rank[items[i].id] = i;
    }
    return rank;
  }

 private:
  struct Slot {
    uint64_t head = 0;
    uint32_t hash = 0;
    uint32_t idPlusOne = 0;  // 0: free
  };

  void grow() {
    std::vector<Slot> slots(mSlots.size() * 2);
    const auto mask = static_cast<uint32_t>(slots.size() - 1);
    for (const Slot& slot : mSlots) {
      if (slot.idPlusOne != 0) {
        uint32_t i = slot.hash & mask;
        while (slots[i].idPlusOne != 0) {
          i = (i + 1) & mask;
        }
        slots[i] = slot;
      }
    }
    mSlots.swap(slots);
    mMask = mask;
  }

  std::vector<Slot> mSlots;
  uint32_t mMask;
  std::vector<std::string_view> mValues;
};

// Lays numbers of known widths side by side in one integer, the first in the highest bits, so
// that comparing the integers compares the numbers left to right.
class KeyLayout {
 public:
  explicit KeyLayout(std::initializer_list<int> widths) : mWidths(widths) {
    for (int w : mWidths) {
      mTotal += w;
    }
  }
  int totalBits() const { return mTotal; }
  // values: one per width, each below 2^width.
  SortKey pack(std::initializer_list<uint64_t> values) const {
    SortKey key = 0;
    const int* width = mWidths.data();
    for (uint64_t v : values) {
      key = (key << *width) | v;
      ++width;
    }
    return key;
  }

 private:
  std::vector<int> mWidths;
  int mTotal = 0;
};

// LSD radix sort on the low `bits` bits, eleven at a time. Linear, and digits that are the same in
// every key (a country book's country code, say) cost only their count.
void radixSort(std::vector<SortKey>& keys, int bits) {
  constexpr int kDigitBits = 11;
  constexpr uint32_t kMask = (1u << kDigitBits) - 1;
  std::vector<SortKey> buffer(keys.size());
  std::vector<size_t> start(size_t{1} << kDigitBits);
  for (int shift = 0; shift < bits && !keys.empty(); shift += kDigitBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const SortKey& k : keys) {
      ++start[static_cast<uint32_t>(k >> shift) & kMask];
    }
    if (start[static_cast<uint32_t>(keys[0] >> shift) & kMask] == keys.size()) {
      continue;
    }
    size_t sum = 0;
    for (size_t& s : start) {
      const size_t c = s;
      s = sum;
      sum += c;
    }
    for (const SortKey& k : keys) {
      buffer[start[static_cast<uint32_t>(k >> shift) & kMask]++] = k;
    }
    keys.swap(buffer);
  }
}

// A rate as an unsigned number in the same order (0 and -0 are one rate, as for operator<).
uint64_t rateBits(double rate) {
  if (rate == 0) {
    rate = 0;
  }
  const auto bits = std::bit_cast<uint64_t>(rate);
  return (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
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
  const size_t n = pops.size();
  const int field = mSortField;
  const bool ascending = mSortAscending != 0;
  auto countries = phonebook_detail::countryTable();

  // One visit per POP: its primary record is scanned once, up to the last field the order reads,
  // and each key field is replaced by the number of its value.
  struct Gathered {
    uint32_t id[3];
    uint32_t order;  // field 25's value
    uint64_t rate;
    uint8_t flags;  // kRecord, kCustomer, kAllCity, kAllCityLast
  };
  enum : uint8_t { kRecord = 1, kCustomer = 2, kAllCity = 4, kAllCityLast = 8 };
  std::vector<Gathered> gathered(n);
  DistinctValues key0, key1, key2, order;
  const int wanted = field >= 26 && field < 32 ? field + 1 : 26;
  // The POPs and their records lie scattered over memory: each is asked for a few POPs ahead, in
  // three steps since each address comes from the step before (POP, its record entry, the bytes),
  // so that the cache misses of several POPs overlap.
  constexpr size_t kAhead = 12;
  FieldRef f[32];  // out here: FieldRef zero-fills itself, and only the first `count` slots are read
  for (size_t i = 0; i < n; ++i) {
    // Neither a POP nor a record entry is aligned to the cache: both ends of each are asked for.
    if (i + 3 * kAhead < n) {
      const char* ahead = reinterpret_cast<const char*>(pops[i + 3 * kAhead].get());
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + sizeof(POP) - 1);
    }
    if (i + 2 * kAhead < n) {
      if (const LineEntry* ahead = pops[i + 2 * kAhead]->primaryLine()) {
        __builtin_prefetch(ahead);
        __builtin_prefetch(reinterpret_cast<const char*>(ahead + 1) - 1);
      }
    }
    if (i + kAhead < n) {
      if (const LineEntry* ahead = pops[i + kAhead]->primaryLine()) {
        const int reach = std::min(ahead->length(), 256);
        for (int offset = 0; offset < reach; offset += 64) {
          __builtin_prefetch(ahead->ptr() + offset);
        }
      }
    }
    const POP& pop = *pops[i];
    const LineEntry* primary = pop.primaryLine();
    Gathered& g = gathered[i];
    if (!primary) {
      g.flags = 0;
      continue;
    }
    const int count = scanFields(*primary, f, wanted);
    auto at = [&](int k) { return k >= 0 && k < count ? f[k].view() : std::string_view(); };
    uint8_t flags = kRecord | (pop.isCustomerPOP() ? kCustomer : 0);
    if (field == -1) {
      const std::string_view allCity = at(24);
      if (!allCity.empty() && allCity[0] == '1') {
        flags |= kAllCity;
        if (countries && countries->allCitySortOrder(at(0)) != 0) {
          flags |= kAllCityLast;
        }
      }
      g.id[0] = key0.id(at(0));
      g.id[1] = key1.id(at(1));
      g.id[2] = key2.id(at(2));
    } else if (field == 14) {
      // The rate is read from the current record, which is not always the primary one.
      g.rate = rateBits(pop.currentLine() == 0 ? parseRate(at(14)) : pop.rateValue());
    } else if (field == 4) {
      g.id[0] = key0.id(at(3));
      g.id[1] = key1.id(at(4));
    } else {
      g.id[0] = key0.id(field >= 32 ? CSVFile::field(field, *primary).view() : at(field));
    }
    g.order = order.id(at(25));
    g.flags = flags;
  }

  // Each POP's whole order as one integer: [has a record][the column's keys][customer placement]
  // [field 25][position]. POPs without a record come first, in their places. The position makes
  // every key distinct, so equal POPs keep their order.
  const std::vector<uint32_t> r0 = key0.ranks(), r1 = key1.ranks(), r2 = key2.ranks(), r25 = order.ranks();
  auto directed = [&](uint32_t rank, size_t size) -> uint64_t {
    return ascending ? rank : static_cast<uint32_t>(size) - 1 - rank;
  };
  const int positionBits = widthFor(n);
  const int orderBits = widthFor(order.size());
  const KeyLayout layout =
      field == -1   ? KeyLayout{1,         widthFor(key0.size()), 2, widthFor(key1.size()), widthFor(key2.size()), 1,
                              orderBits, positionBits}
      : field == 14 ? KeyLayout{1, 64, 1, orderBits, positionBits}
      : field == 4  ? KeyLayout{1, widthFor(key0.size()), widthFor(key1.size()), 1, orderBits, positionBits}
                    : KeyLayout{1, widthFor(key0.size()), 1, orderBits, positionBits};
  if (layout.totalBits() > 128) {
    // Only for books of many millions of POPs with as many distinct values.
    mPopIndex->sortUsingFunction(&PhoneBook::comparePOPs, this);
    return;
  }
  std::vector<SortKey> keys(n);
  for (size_t i = 0; i < n; ++i) {
    const Gathered& g = gathered[i];
    if (!(g.flags & kRecord)) {
      keys[i] = i;
      continue;
    }
    const uint64_t placement = ((g.flags & kCustomer) != 0) == mSortCustomerPOPsFirst ? 0 : 1;
    const uint64_t o = r25[g.order];
    if (field == -1) {
      // All-city POPs go before (bucket 0) or after (2) the others of their country and are not
      // ordered by region or city among themselves. The direction does not apply to this order.
      const bool allCity = g.flags & kAllCity;
      keys[i] = layout.pack({1, r0[g.id[0]], allCity ? ((g.flags & kAllCityLast) ? 2u : 0u) : 1u,
                             allCity ? 0 : r1[g.id[1]], allCity ? 0 : r2[g.id[2]], placement, o, i});
    } else if (field == 14) {
      keys[i] = layout.pack({1, ascending ? g.rate : ~g.rate, placement, o, i});
    } else if (field == 4) {
      keys[i] =
          layout.pack({1, directed(r0[g.id[0]], key0.size()), directed(r1[g.id[1]], key1.size()), placement, o, i});
    } else {
      keys[i] = layout.pack({1, directed(r0[g.id[0]], key0.size()), placement, o, i});
    }
  }
  radixSort(keys, layout.totalBits());
  const SortKey positionMask = (SortKey{1} << positionBits) - 1;
  POPIndex::PopList sorted;
  sorted.reserve(n);
  for (const SortKey& key : keys) {
    sorted.push_back(pops[static_cast<size_t>(key & positionMask)]);
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
