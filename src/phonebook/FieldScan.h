// One pass over a record that finds its first fields with the same rules as CSVFile::field.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/CSVFile.h"

namespace zavro::phonebook_detail {

// Fills out[0..maxFields) with the fields of the line, as CSVFile::field would find them one by one,
// and returns how many the line has (at most maxFields). Slots past the returned count are untouched.
// One forward walk: building an index needs fields 0 to 29 of every record, and rescanning from the
// start for each field would read every byte many times.
inline int scanFields(const char* p, const char* end, FieldRef* out, int maxFields) {
  while (p < end && (*p == ' ' || *p == '\t')) {
    ++p;
  }
  if (p == end || maxFields <= 0) {
    return 0;
  }
  int n = 0;
  for (;;) {
    while (p < end && (*p == ' ' || *p == '\t')) {
      ++p;
    }
    const char* valueStart;
    const char* valueEnd;
    if (p < end && *p == '"') {
      valueStart = p + 1;
      const void* q = std::memchr(valueStart, '"', static_cast<size_t>(end - valueStart));
      valueEnd = q ? static_cast<const char*>(q) : end;
      p = valueEnd;
      while (p < end && *p != ',') {
        ++p;
      }
    } else {
      valueStart = p;
      valueEnd = p;
      while (valueEnd < end && *valueEnd != ',') {
        ++valueEnd;
      }
      p = valueEnd;
    }
    out[n].data = valueStart;
    out[n].length = static_cast<int>(valueEnd - valueStart);
    ++n;
    if (n == maxFields || p == end) {
      return n;
    }
    ++p;  // the comma: another field follows, even at the end of the line
  }
}

inline int scanFields(const LineEntry& line, FieldRef* out, int maxFields) {
  if (line.ptr() == nullptr) {
    return 0;
  }
  return scanFields(line.ptr(), line.ptr() + line.length(), out, maxFields);
}

// Byte comparison with every byte taken as a signed 8-bit number; a prefix orders first.
inline int compareSignedBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<signed char>(a[i]);
    const auto y = static_cast<signed char>(b[i]);
    if (x != y) {
      return x < y ? -1 : 1;
    }
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Plain byte order (unsigned, like strcmp without stopping at NUL); a prefix orders first.
inline int compareBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) {
    return c < 0 ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The first eight bytes as a big-endian number whose order agrees with compareBytes wherever two
// keys differ (missing bytes read as 0). With flipSign each byte is XORed with 0x80 first, so the
// order agrees with compareSignedBytes instead.
inline uint64_t prefixKey(std::string_view s, bool flipSign) {
  uint64_t key = 0;
  const size_t n = s.size() < 8 ? s.size() : 8;
  for (size_t i = 0; i < n; ++i) {
    auto byte = static_cast<uint8_t>(s[i]);
    if (flipSign) {
      byte ^= 0x80;
    }
    key |= static_cast<uint64_t>(byte) << (56 - 8 * i);
  }
  return key;
}

// FNV-1a of a field's bytes: a cheap fingerprint so that filters can rule out most POPs without
// reading their records again.
inline uint32_t fieldHash(std::string_view s) {
  uint32_t h = 2166136261u;
  for (char c : s) {
    h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  }
  return h;
}

// A rate (field 14): a leading plain decimal number, 0 when there is none ("nan" and "inf" are not
// numbers here, so any two rates order).
double parseRate(std::string_view s);

}  // namespace zavro::phonebook_detail
