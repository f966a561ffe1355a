// Bulk storage of the POPs one index build makes: one allocation for all POPs and their records.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "common/CSVFile.h"
#include "phonebook/POP.h"

namespace zavro::phonebook_detail {

// Owning pointers to the POPs inside are aliases of the pointer to the store, so the store lives as
// long as any of its POPs is referenced. Each POP holds the phone file's bytes itself, so a copy of
// it needs nothing from the store.
struct PopStore {
  std::vector<LineEntry> lines;  // each POP's records, one run per POP
  std::vector<POP> pops;

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
