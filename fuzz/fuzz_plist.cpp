// Fuzzes the XML property-list reader: no crash on any input, and whatever it accepts survives a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto parsed = zavro::PropertyList::fromXML(bytes);
  if (!parsed) {
    return 0;
  }
  // Strings read from XML may hold bytes the writer refuses (a zero byte from a character reference);
  // anything it does write must read back as the same value.
  auto xml = parsed->toXML();
  if (!xml) {
    return 0;
  }
  auto again = zavro::PropertyList::fromXML(*xml);
  if (!again) {
    std::abort();
  }
  // Dates keep whole seconds only, and reals are written in decimal; compare the second generation.
  auto xml2 = again->toXML();
  if (!xml2 || *xml2 != *xml) {
    std::abort();
  }
  return 0;
}
