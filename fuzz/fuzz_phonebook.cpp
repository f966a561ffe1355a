// Fuzzes the phonebook index build and the POP order: the one-pass record scanner must agree with
// CSVFile::field, every POP must hold records of its own ID, and the fast sort must match the plain
// comparison for every column.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/CSVFile.h"
#include "phonebook/FieldScan.h"
#include "phonebook/PhoneBook.h"

using namespace zavro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // A 0x01 byte splits the input into the service book and the customer book.
  const size_t split = bytes.find('\x01');
  auto file = std::make_shared<CSVFile>();
  file->loadWithData(bytes.substr(0, split));
  if (split != std::string_view::npos) {
    file->loadWithData(bytes.substr(split + 1));
  }
  for (const auto& line : file->lines()) {
    FieldRef fields[36];
    const int n = phonebook_detail::scanFields(line, fields, 36);
    for (int i = 0; i < 36; ++i) {
      FieldRef expected = CSVFile::field(i, line);
      if ((i < n) != expected.present() ||
          (i < n && (fields[i].data != expected.data || fields[i].length != expected.length))) {
        std::abort();
      }
    }
  }
  auto book = PhoneBook::create();
  book->loadWithPhoneFile(file, {"GI", "WY"});
  for (unsigned i = 0; i < book->count(); ++i) {
    POPRef pop = book->pop(static_cast<int>(i));
    for (unsigned k = 0; k < pop->count(); ++k) {
      if (CSVFile::field(5, pop->lineEntry(k)).view() != pop->popID()) {
        std::abort();
      }
    }
    if (i > 0 && book->pop(static_cast<int>(i - 1))->comparePopID(pop.get()) >= 0) {
      std::abort();
    }
  }
  auto narrowed = book->copyAccessType(kAccessAll);
  narrowed->filterByAreaCode(narrowed->count() ? narrowed->getAreaCodeForIndex(0) : "");
  for (int field : {-1, 2, 4, 14, 25, 31}) {
    for (signed char ascending : {1, 0}) {
      auto fast = narrowed->copy();
      fast->sortByField(field, ascending);
      auto plain = narrowed->copy();
      plain->sortByField(field, ascending);
      plain->popIndex()->setPopEntries(narrowed->popIndex()->pops());
      plain->popIndex()->sortUsingFunction(&PhoneBook::comparePOPs, plain.get());
      if (fast->popIndex()->pops() != plain->popIndex()->pops()) {
        std::abort();
      }
    }
  }
  (void)book->countryNames();
  (void)narrowed->regionNames();
  (void)narrowed->getCityNames();
  (void)narrowed->nextPOP(PhoneBook::kNotFound, "x");
  return 0;
}
