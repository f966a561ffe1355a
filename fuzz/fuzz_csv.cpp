// Fuzzes the CSV line splitter and field scanner: every field found lies inside its line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/CSVFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  zavro::CSVFile csv;
  csv.loadWithData(bytes);
  csv.loadWithData(bytes.substr(0, size / 2));
  for (int i = 0; i < csv.count(); ++i) {
    const zavro::LineEntry& line = csv.getLine(i);
    const char* lineEnd = line.ptr() + line.length();
    const char* starts[40];
    int lengths[40];
    int n = csv.getFieldInfoForLineEntry(line, starts, lengths, 40);
    for (int f = 0; f < n; ++f) {
      if (starts[f] < line.ptr() || starts[f] + lengths[f] > lineEnd) {
        std::abort();
      }
    }
    auto fields = csv.getArrayForLineEntry(line);
    if (n < 40 && static_cast<int>(fields.size()) != n) {
      std::abort();
    }
    for (int f = 0; f <= n && f < 40; ++f) {
      (void)csv.getFieldAsInt(f, line);
    }
  }
  auto copy = csv.copy();
  if (copy->count() > 0) {
    copy->removeLine(0);
  }
  if (copy->count() + (csv.count() > 0 ? 1 : 0) != csv.count()) {
    std::abort();
  }
  return 0;
}
