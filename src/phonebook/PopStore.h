// Bulk storage of the POPs one index build makes: one allocation for all POPs and their records.
#pragma once

#include <sys/mman.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "common/CSVFile.h"
#include "phonebook/POP.h"

namespace zavro::phonebook_detail {

// Allocator for the big arrays of an index build. Sorting and narrowing visit the POPs and their
// record entries in an order unrelated to where they lie, so with small pages nearly every visit
// also misses the address-translation cache; arrays of several megabytes ask for large pages
// (only a hint: without them nothing changes).
template <typename T>
struct LargePageAllocator {
  using value_type = T;
  static constexpr size_t kLargePage = size_t{2} << 20;

  LargePageAllocator() = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) {}

  static bool large(size_t n) { return n * sizeof(T) >= 2 * kLargePage; }

  T* allocate(size_t n) {
    if (!large(n)) {
      return std::allocator<T>().allocate(n);
    }
    const size_t bytes = (n * sizeof(T) + kLargePage - 1) / kLargePage * kLargePage;
    void* p = std::aligned_alloc(kLargePage, bytes);
    if (p == nullptr) {
      throw std::bad_alloc();
    }
    ::madvise(p, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    if (!large(n)) {
      std::allocator<T>().deallocate(p, n);
    } else {
      std::free(p);
    }
  }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
};

// Owning pointers to the POPs inside are aliases of the pointer to the store, so the store lives as
// long as any of its POPs is referenced. Each POP holds the phone file's bytes itself, so a copy of
// it needs nothing from the store.
struct PopStore {
  std::vector<LineEntry, LargePageAllocator<LineEntry>> lines;  // each POP's records, one run per POP
  std::vector<POP, LargePageAllocator<POP>> pops;

  static void initPop(POP& pop, const std::weak_ptr<PhoneBook>& book, const std::shared_ptr<const void>& bytes,
                      std::string_view id, const LineEntry* lines, uint32_t count, uint32_t accessType, bool allCity,
                      uint32_t regionHash, uint32_t cityHash) {
    pop.mPhoneBook = book;
    pop.mBytes = bytes;
    pop.setID(id);
    pop.mLines = lines;
    pop.mLineCount = count;
    pop.mAccessType = accessType;
    pop.mPrimaryAllCity = allCity ? 2 : 1;
    pop.mRegionHash = regionHash;
    pop.mCityHash = cityHash;
  }
};

}  // namespace zavro::phonebook_detail
