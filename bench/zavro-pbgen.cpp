// zavro-pbgen: writes a generated phonebook folder (zavro-pbgen DIR RECORDS [SEED]).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PhonebookGenerator.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: zavro-pbgen DIR RECORDS [SEED]\n");
    return 2;
  }
  const size_t records = std::strtoull(argv[2], nullptr, 10);
  const uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
  auto book = zavro::bench::generatePhonebook(argv[1], records, seed);
  std::printf("%zu records, %zu bytes; biggest country %s, region %s, city %s\n", book.records, book.bytes,
              book.biggestCountry.c_str(), book.biggestRegion.c_str(), book.biggestCity.c_str());
  return 0;
}
