// PhoneBook: loading, the index build (one sort by ID, one folding pass) and record access.
#include "phonebook/PhoneBook.h"

#include <algorithm>
#include <unordered_map>

#include "common/LogFile.h"
#include "phonebook/AdminSettings.h"
#include "phonebook/FieldScan.h"
#include "phonebook/PopStore.h"

namespace zavro {

using phonebook_detail::compareBytes;
using phonebook_detail::PopStore;
using phonebook_detail::prefixKey;
using phonebook_detail::scanFields;

PhoneBook::PhoneBook()
    : mPhoneFile(std::make_shared<CSVFile>()),
      mPopIndex(std::make_shared<POPIndex>()),
      mSortCustomerPOPsFirst(customerPOPsSortFirst()) {}

void PhoneBook::load(std::vector<std::string> authTypes) {
  auto file = std::make_shared<CSVFile>();
  file->loadWithPath(ZavroConfiguration::pathToConfigFile("pbook.txt"));
  file->loadWithPath(ZavroConfiguration::pathToConfigFile("cbook.txt"));
  loadWithPhoneFile(std::move(file), std::move(authTypes));
}

void PhoneBook::loadWithPhoneFile(std::shared_ptr<const CSVFile> phoneFile, std::vector<std::string> authTypes) {
  mPhoneFile = phoneFile ? std::move(phoneFile) : std::make_shared<CSVFile>();
  buildCountryData();
  buildRegionData();
  buildSSIDData();
  mSortField = -1;
  mAuthTypes = std::move(authTypes);
  buildIndex();
}

namespace {

// A record that passed the access and plug-in tests: what the POP it joins needs from it.
struct Taken {
  const char* id;
  uint32_t idLength;
  uint32_t line;  // position in the phone file
  uint32_t accessType;
  bool allCity;  // field 24 exactly "1", kept so that the filters need not scan that far
  uint16_t countryLength;
  const char* country;  // field 0, for the country index
  uint32_t regionHash;  // fields 1 and 2, for the region and city filters
  uint32_t cityHash;
};

// What the ID sort moves, kept smaller than a Taken since every key is moved many times. IDs of up
// to 16 bytes are ordered by the two prefix words and the length alone (a missing byte and a 0
// byte read alike, but then the shorter ID is the start of the longer), so the sort does not go
// back to the records, which lie scattered over the whole file.
struct IdKey {
  uint64_t prefix[2];
  uint32_t idLength;
  uint32_t taken;  // index into the Taken list, which is in file order: equal IDs keep file order
};

template <typename TakenList>
inline int compareIDs(const IdKey& a, const IdKey& b, const TakenList& taken) {
  if (a.prefix[0] != b.prefix[0]) {
    return a.prefix[0] < b.prefix[0] ? -1 : 1;
  }
  if (a.prefix[1] != b.prefix[1]) {
    return a.prefix[1] < b.prefix[1] ? -1 : 1;
  }
  if (a.idLength <= 16 || b.idLength <= 16) {
    return a.idLength == b.idLength ? 0 : (a.idLength < b.idLength ? -1 : 1);
  }
  const Taken& x = taken[a.taken];
  const Taken& y = taken[b.taken];
  return compareBytes({x.id + 16, x.idLength - 16}, {y.id + 16, y.idLength - 16});
}

// Sorts the keys into ID order, equal IDs in file order. A comparison sort of a million keys spends
// most of its time moving them; a stable radix sort on the two prefix words and the length (cut at
// 17) moves each key once per digit that is not the same in all keys. Only IDs longer than 16 bytes
// that share their first 16 are left to order, by the comparison, in their (short) runs.
template <typename Keys, typename Less>
void sortIDs(Keys& keys, Less less) {
  constexpr int kBits = 11;
  constexpr size_t kBuckets = size_t{1} << kBits;
  // Digits from the lowest: the length, then the second word, then the first.
  struct Digit {
    int word;  // 0: prefix[0], 1: prefix[1], 2: the cut length
    int shift;
  };
  std::vector<Digit> digits{{2, 0}};
  for (int word = 1; word >= 0; --word) {
    for (int shift = 0; shift < 64; shift += kBits) {
      digits.push_back({word, shift});
    }
  }
  auto digitOf = [](const IdKey& k, const Digit& d) -> size_t {
    if (d.word == 2) {
      return k.idLength < 17 ? k.idLength : 17;
    }
    return static_cast<size_t>(k.prefix[d.word] >> d.shift) & (kBuckets - 1);
  };
  // All histograms in one pass over the keys.
  std::vector<uint32_t> counts(digits.size() * kBuckets);
  for (const IdKey& k : keys) {
    for (size_t d = 0; d < digits.size(); ++d) {
      ++counts[d * kBuckets + digitOf(k, digits[d])];
    }
  }
  Keys buffer(keys.size());
  for (size_t d = 0; d < digits.size(); ++d) {
    uint32_t* count = &counts[d * kBuckets];
    if (count[digitOf(keys[0], digits[d])] == keys.size()) {
      continue;  // the same digit in every key
    }
    uint32_t sum = 0;
    for (size_t b = 0; b < kBuckets; ++b) {
      const uint32_t c = count[b];
      count[b] = sum;
      sum += c;
    }
    for (const IdKey& k : keys) {
      buffer[count[digitOf(k, digits[d])]++] = k;
    }
    keys.swap(buffer);
  }
  // Runs of long IDs with equal prefixes: the rest of the bytes decides.
  for (size_t start = 0; start < keys.size();) {
    size_t end = start + 1;
    if (keys[start].idLength > 16) {
      while (end < keys.size() && keys[end].idLength > 16 && keys[end].prefix[0] == keys[start].prefix[0] &&
             keys[end].prefix[1] == keys[start].prefix[1]) {
        ++end;
      }
      if (end - start > 1) {
        std::sort(keys.begin() + static_cast<ptrdiff_t>(start), keys.begin() + static_cast<ptrdiff_t>(end), less);
      }
    }
    start = end;
  }
}

}  // namespace

void PhoneBook::buildIndex() {
  mPopIndex = std::make_shared<POPIndex>();
  mPopIndex->setPhoneBook(weak_from_this());
  mCountryIndex.reset();

  const std::vector<LineEntry>& lines = mPhoneFile->lines();
  // The merge reads the Taken list in ID order, all over it: large pages. The keys are only read
  // and written in streams, where large pages bought less than their zero-filling cost.
  std::vector<Taken, phonebook_detail::LargePageAllocator<Taken>> taken;
  std::vector<IdKey> keys;
  taken.reserve(lines.size());
  keys.reserve(lines.size());
  FieldRef f[30];  // out here: FieldRef zero-fills itself, and only the first `n` slots are read
  for (size_t i = 0; i < lines.size(); ++i) {
    const int n = scanFields(lines[i], f, 30);
    if (n <= 28) {
      continue;  // no field 28: access 0
    }
    const auto access = static_cast<uint32_t>(parseIntegerBase0(f[28].view()));
    if ((access & mAccessType) == 0) {
      continue;
    }
    if (!mAuthTypes.empty() && n > 29 && f[29].length > 0) {
      std::string_view proc = f[29].view();
      if (size_t dot = proc.rfind('.'); dot != std::string_view::npos) {
        proc = proc.substr(0, dot);
      }
      if (!proc.empty() && std::find(mAuthTypes.begin(), mAuthTypes.end(), proc) == mAuthTypes.end()) {
        continue;
      }
    }
    const std::string_view id = f[5].view();
    const std::string_view rest = id.size() > 8 ? id.substr(8) : std::string_view();
    const std::string_view country = f[0].view().substr(0, 0xFFFF);
    keys.push_back({{prefixKey(id, false), prefixKey(rest, false)},
                    static_cast<uint32_t>(id.size()),
                    static_cast<uint32_t>(taken.size())});
    taken.push_back({id.data(), static_cast<uint32_t>(id.size()), static_cast<uint32_t>(i), access, f[24].view() == "1",
                     static_cast<uint16_t>(country.size()), country.data(), phonebook_detail::fieldHash(f[1].view()),
                     phonebook_detail::fieldHash(f[2].view())});
  }

  // The Taken index breaks ties, so the unstable sort gives the stable order.
  auto less = [&](const IdKey& a, const IdKey& b) {
    const int c = compareIDs(a, b, taken);
    return c != 0 ? c < 0 : a.taken < b.taken;
  };
  if (!std::is_sorted(keys.begin(), keys.end(), less)) {
    sortIDs(keys, less);
  }

  size_t groups = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i == 0 || compareIDs(keys[i - 1], keys[i], taken) != 0) {
      ++groups;
    }
  }
  auto store = std::make_shared<PopStore>();
  store->lines.reserve(keys.size());
  store->pops.reserve(groups);
  const std::shared_ptr<const void> bytes = mPhoneFile->contentsArray();
  const std::weak_ptr<PhoneBook> self = weak_from_this();
  POPIndex::PopList pops;
  pops.reserve(groups);
  std::unordered_map<std::string_view, POPIndex::PopList> countryLists;
  POPIndex::PopList* countryList = nullptr;
  std::string_view lastCountry;
  POP* pop = nullptr;
  // In ID order the Taken entries, the line entries and the records are visited all over memory:
  // each is asked for a few records ahead, the Taken first since it tells where the others are, so
  // that the cache misses overlap.
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i + 2 * kAhead < keys.size()) {
      __builtin_prefetch(&taken[keys[i + 2 * kAhead].taken]);
    }
    if (i + kAhead < keys.size()) {
      const Taken& ahead = taken[keys[i + kAhead].taken];
      __builtin_prefetch(&lines[ahead.line]);
      __builtin_prefetch(ahead.country);  // the record itself: its ID and country are copied and compared
      __builtin_prefetch(ahead.id);
    }
    const Taken& t = taken[keys[i].taken];
    store->lines.push_back(lines[t.line]);
    if (pop != nullptr && compareIDs(keys[i - 1], keys[i], taken) == 0) {
      ++pop->mLineCount;  // the run of the POP's records grows in place (the list was reserved)
      continue;
    }
    pop = &store->pops.emplace_back();
    PopStore::initPop(*pop, self, bytes, {t.id, t.idLength}, &store->lines.back(), 1, t.accessType, t.allCity,
                      t.regionHash, t.cityHash);
    pops.push_back(POPRef(store, pop));
    const std::string_view country(t.country, t.countryLength);
    if (countryList == nullptr || country != lastCountry) {
      countryList = &countryLists[country];
      lastCountry = country;
    }
    countryList->push_back(pops.back());
  }
  taken.clear();
  taken.shrink_to_fit();
  keys.clear();
  keys.shrink_to_fit();
  mPopIndex->setPopEntries(std::move(pops));
  CountryIndex index;
  for (auto& [code, list] : countryLists) {
    index.emplace(std::string(code), std::make_shared<const POPIndex::PopList>(std::move(list)));
  }
  mCountryIndex = std::make_shared<const CountryIndex>(std::move(index));
}

void PhoneBook::buildCountryIndex() {
  CountryIndex index;
  std::unordered_map<std::string_view, POPIndex::PopList> lists;
  POPIndex::PopList* last = nullptr;
  std::string_view lastCode;
  for (const POPRef& pop : mPopIndex->pops()) {
    const LineEntry* primary = pop->primaryLine();
    const std::string_view code = primary ? CSVFile::field(0, *primary).view() : std::string_view();
    if (last == nullptr || code != lastCode) {
      last = &lists[code];
      lastCode = code;
    }
    last->push_back(pop);
  }
  for (auto& [code, list] : lists) {
    index.emplace(std::string(code), std::make_shared<const POPIndex::PopList>(std::move(list)));
  }
  mCountryIndex = std::make_shared<const CountryIndex>(std::move(index));
}

POPRef PhoneBook::pop(int i) const {
  if (i < 0) {
    return nullptr;
  }
  return mPopIndex->popAtIndex(static_cast<unsigned>(i));
}

POPRef PhoneBook::popForID(std::string_view popID) const {
  return mPopIndex->popForID(popID);
}

unsigned PhoneBook::indexForID(std::string_view popID) const {
  return mPopIndex->indexForID(popID);
}

std::string PhoneBook::getFieldAsString(int n, const LineEntry& line) const {
  return std::string(CSVFile::field(n, line).view());
}

long PhoneBook::getFieldAsInt(int n, const LineEntry& line) const {
  return parseIntegerBase0(CSVFile::field(n, line).view());
}

std::vector<std::string> PhoneBook::getFieldsForEntry(const LineEntry& line) const {
  return mPhoneFile->getArrayForLineEntry(line);
}

std::vector<std::string> PhoneBook::getFields(int i) const {
  POPRef p = pop(i);
  const LineEntry* primary = p ? p->primaryLine() : nullptr;
  return primary ? getFieldsForEntry(*primary) : std::vector<std::string>();
}

std::string PhoneBook::description() const {
  return mPopIndex->description();
}

}  // namespace zavro
