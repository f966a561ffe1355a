// MD5 message digest (RFC 1321): streaming context and a one-shot digest of a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zavro {

struct MD5Context {
  uint32_t state[4];
  uint64_t bitCount;
  uint8_t buffer[64];
};

void MD5Init(MD5Context* context);
void MD5Update(MD5Context* context, const void* data, size_t length);
// Writes the 16-byte digest and leaves the context wiped.
void MD5Final(uint8_t digest[16], MD5Context* context);

// The digest of `length` bytes at `data` (which may be null when `length` is 0).
void md5_calc(uint8_t digest[16], const void* data, size_t length);
// The 16 digest bytes as a string of bytes.
std::string md5Digest(std::string_view data);

}  // namespace zavro
