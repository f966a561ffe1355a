// One pass over a record that finds its first fields with the same rules as CSVFile::field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/CSVFile.h"

namespace zavro::phonebook_detail {

// Masks of 64 bytes of a line, one bit per byte: where the commas are, and where a field could not
// simply run to the next comma (a blank to skip or a quote). Fields are a few bytes long: finding
// each end byte by byte costs a load and a branch per byte, one after the other, while with the
// masks the end of a plain field is a shift and a bit count.
struct LineMasks {
  const char* base = nullptr;
  uint64_t commas = 0;
  uint64_t special = 0;

  void load(const char* block, const char* end) {
    base = block;
    const size_t length = static_cast<size_t>(end - block) < 64 ? static_cast<size_t>(end - block) : 64;
    uint64_t c = 0;
    uint64_t s = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Only whole 16-byte pieces inside the line are loaded: the last line may end its buffer.
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; i + 16 <= length; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
      const __m128i odd = _mm_or_si128(_mm_cmpeq_epi8(bytes, quote),
                                       _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, tab)));
      c |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comma)))) << i;
      s |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(odd))) << i;
    }
#endif
    for (; i < length; ++i) {
      const char b = block[i];
      c |= static_cast<uint64_t>(b == ',') << i;
      s |= static_cast<uint64_t>(b == '"' || b == ' ' || b == '\t') << i;
    }
    commas = c;
    special = s;
  }
};

// The first comma at or after `from` (inside the line), or `end`; moves the masks forward as needed.
inline const char* nextComma(LineMasks& masks, const char* from, const char* end) {
  for (;;) {
    const ptrdiff_t skip = from - masks.base;
    if (skip < 64) {
      const uint64_t after = skip > 0 ? masks.commas >> skip : masks.commas;
      if (after != 0) {
        return masks.base + (skip > 0 ? skip : 0) + __builtin_ctzll(after);
      }
    }
    if (end - masks.base <= 64) {
      return end;  // these masks reach the end of the line
    }
    masks.load(skip >= 64 ? from : masks.base + 64, end);
  }
}

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
  LineMasks masks;
  masks.load(p, end);
  int n = 0;
  for (;;) {
    // p starts field n (p == end: an empty last field).
    if (p < end) {
      if (p - masks.base >= 64) {
        masks.load(p, end);
      }
      // Plain fields in a row, each running to the next comma bit: the walk depends only on
      // clearing the lowest bit, not on reading the bytes.
      uint64_t rest = masks.commas & (~uint64_t{0} << (p - masks.base));
      while (rest != 0 && ((masks.special >> (p - masks.base)) & 1) == 0) {
        const int comma = __builtin_ctzll(rest);
        rest &= rest - 1;
        out[n].data = p;
        out[n].length = static_cast<int>(masks.base + comma - p);
        if (++n == maxFields) {
          return n;
        }
        p = masks.base + comma + 1;
        if (comma == 63) {
          break;
        }
      }
    }
    // One field the careful way: blanks, quotes, the end of the line, or a field that runs on
    // past these masks.
    const char* valueStart;
    const char* valueEnd;
    while (p < end && (*p == ' ' || *p == '\t')) {
      ++p;
    }
    if (p < end && *p == '"') {
      valueStart = p + 1;
      const void* q = std::memchr(valueStart, '"', static_cast<size_t>(end - valueStart));
      valueEnd = q ? static_cast<const char*>(q) : end;
      p = nextComma(masks, valueEnd, end);  // past the closing quote and any stray text
    } else {
      valueStart = p;
      valueEnd = nextComma(masks, p, end);
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
