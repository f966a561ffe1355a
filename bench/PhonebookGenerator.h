// Deterministic generator of large phonebooks (service and customer books and their tables).
#pragma once

#include <cstdint>
#include <string>

namespace zavro::bench {

struct GeneratedPhonebook {
  size_t records = 0;          // lines of pbook.txt + cbook.txt
  size_t bytes = 0;            // bytes of pbook.txt + cbook.txt
  std::string biggestCountry;  // code of the country with the most POPs
  std::string biggestRegion;   // its region with the most POPs
  std::string biggestCity;     // that region's city with the most POPs
};

// Writes pbook.txt, cbook.txt, country.txt, region.txt, pop_ssid.txt and pop_wep.txt into `dir`
// (created when missing): `records` records in about 200 countries with regions and cities, two to
// four records (media types) per POP ID, one record in ten in the customer book, quoted fields and
// realistic widths (about 170 bytes a record). The same arguments always give the same bytes.
GeneratedPhonebook generatePhonebook(const std::string& dir, size_t records, uint64_t seed = 1);

}  // namespace zavro::bench
