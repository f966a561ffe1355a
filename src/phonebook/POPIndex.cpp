// POPIndex: the POP list, its merge by ID, list operations and copy-on-write sharing.
#include "phonebook/POPIndex.h"

#include <algorithm>

#include "phonebook/PhoneBook.h"

namespace zavro {

namespace {
const std::shared_ptr<const POPIndex::PopList>& emptyList() {
  static const auto* empty = new std::shared_ptr<const POPIndex::PopList>(std::make_shared<POPIndex::PopList>());
  return *empty;
}
}  // namespace

POPIndex::POPIndex() : mPops(emptyList()) {}

std::shared_ptr<POPIndex> POPIndex::popIndex(const std::shared_ptr<PhoneBook>& book) {
  auto index = std::make_shared<POPIndex>();
  index->mPhoneBook = book;
  return index;
}

POPIndex::PopList& POPIndex::mutablePops() {
  if (mPops.use_count() != 1) {
    mPops = std::make_shared<PopList>(*mPops);
  }
  return const_cast<PopList&>(*mPops);
}

POPRef POPIndex::addPop(std::string_view popID, const LineEntry& line, bool merge) {
  if (merge) {
    if (POPRef existing = popForID(popID)) {
      existing->addLine(line);
      return existing;
    }
  }
  POPRef pop = POP::popWithPhoneBook(mPhoneBook.lock(), popID, line);
  mutablePops().push_back(pop);
  return pop;
}

void POPIndex::merge() {
  PopList& pops = mutablePops();
  std::stable_sort(pops.begin(), pops.end(),
                   [](const POPRef& a, const POPRef& b) { return a->comparePopID(b.get()) < 0; });
  PopList kept;
  kept.reserve(pops.size());
  for (auto& pop : pops) {
    if (!kept.empty() && kept.back()->comparePopID(pop.get()) == 0) {
      if (const LineEntry* primary = pop->primaryLine()) {
        kept.back()->addLine(*primary);
      }
    } else {
      kept.push_back(std::move(pop));
    }
  }
  pops = std::move(kept);
}

POPRef POPIndex::popForID(std::string_view popID) const {
  for (const auto& pop : *mPops) {
    if (pop->popID() == popID) {
      return pop;
    }
  }
  return nullptr;
}

unsigned POPIndex::indexForID(std::string_view popID) const {
  const PopList& pops = *mPops;
  for (size_t i = 0; i < pops.size(); ++i) {
    if (pops[i]->popID() == popID) {
      return static_cast<unsigned>(i);
    }
  }
  return 0x7FFFFFFF;
}

POPIndex::PopList POPIndex::popEntriesWithAccessType(uint32_t mask) const {
  PopList out;
  for (const auto& pop : *mPops) {
    if (pop->accessType() & mask) {
      out.push_back(pop);
    }
  }
  return out;
}

void POPIndex::setPopEntries(PopList pops) {
  mPops = std::make_shared<PopList>(std::move(pops));
}

void POPIndex::setPopEntries(std::shared_ptr<const PopList> pops) {
  mPops = pops ? std::move(pops) : emptyList();
}

void POPIndex::removePopAtIndex(unsigned i) {
  if (i < mPops->size()) {
    PopList& pops = mutablePops();
    pops.erase(pops.begin() + i);
  }
}

void POPIndex::sortUsingFunction(CompareFunction compare, void* context) {
  PopList& pops = mutablePops();
  std::stable_sort(pops.begin(), pops.end(),
                   [&](const POPRef& a, const POPRef& b) { return compare(*a, *b, context) < 0; });
}

std::shared_ptr<POPIndex> POPIndex::copy() const {
  auto index = std::make_shared<POPIndex>();
  index->mPhoneBook = mPhoneBook;
  index->mPops = mPops;
  return index;
}

std::string POPIndex::description() const {
  std::string out = "(\n";
  bool first = true;
  for (const auto& pop : *mPops) {
    if (!first) {
      out += ",\n";
    }
    first = false;
    out += pop->description();
  }
  out += ")";
  return out;
}

}  // namespace zavro
