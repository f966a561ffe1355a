// The ordered list of a book's POPs, shared between copies until one of them changes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/CSVFile.h"
#include "phonebook/POP.h"

namespace zavro {

class PhoneBook;

class POPIndex {
 public:
  using PopList = std::vector<POPRef>;
  using CompareFunction = int (*)(const POP& a, const POP& b, void* context);

  POPIndex();
  static std::shared_ptr<POPIndex> popIndex(const std::shared_ptr<PhoneBook>& book);

  // With merge set and a POP of that ID present, appends the record to it; otherwise a new POP for
  // the record is appended. Returns the POP that holds the record.
  POPRef addPop(std::string_view popID, const LineEntry& line, bool merge);
  // Orders the POPs by ID (equal IDs keep their order) and folds each run of equal IDs into its
  // first POP, which receives the primary records of the others in order.
  void merge();

  unsigned count() const { return static_cast<unsigned>(mPops->size()); }
  // Null when out of range.
  POPRef popAtIndex(unsigned i) const { return i < mPops->size() ? (*mPops)[i] : nullptr; }
  POPRef popForID(std::string_view popID) const;
  // 0x7FFFFFFF when not found.
  unsigned indexForID(std::string_view popID) const;
  const PopList& pops() const { return *mPops; }

  PopList popEntriesWithAccessType(uint32_t mask) const;
  void setPopEntries(PopList pops);
  void setPopEntries(std::shared_ptr<const PopList> pops);
  void removePopAtIndex(unsigned i);
  // Stable: POPs that compare equal keep their order.
  void sortUsingFunction(CompareFunction compare, void* context);
  // New index over the same POPs; the list itself is copied only when one of the two changes it.
  std::shared_ptr<POPIndex> copy() const;
  std::shared_ptr<PhoneBook> phoneBook() const { return mPhoneBook.lock(); }
  void setPhoneBook(std::weak_ptr<PhoneBook> book) { mPhoneBook = std::move(book); }
  std::string description() const;

  // The list to change in place (copied first when another index shares it).
  PopList& mutablePops();

 private:
  std::weak_ptr<PhoneBook> mPhoneBook;
  std::shared_ptr<const PopList> mPops;
};

}  // namespace zavro
