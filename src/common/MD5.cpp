// MD5 message digest (RFC 1321), written from the RFC's description.
#include "common/MD5.h"

#include <algorithm>
#include <cstring>

namespace zavro {
namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShift[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

uint32_t rotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = static_cast<uint32_t>(block[i * 4]) | (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<uint32_t>(block[i * 4 + 2]) << 16) | (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + rotateLeft(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void MD5Init(MD5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
  context->bitCount = 0;
  std::memset(context->buffer, 0, sizeof context->buffer);
}

void MD5Update(MD5Context* context, const void* data, size_t length) {
  const auto* input = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>((context->bitCount >> 3) & 63);
  context->bitCount += static_cast<uint64_t>(length) << 3;
  size_t offset = 0;
  if (used > 0) {
    size_t take = std::min(length, 64 - used);
    std::memcpy(context->buffer + used, input, take);
    offset = take;
    if (used + take < 64) {
      return;
    }
    transform(context->state, context->buffer);
  }
  for (; offset + 64 <= length; offset += 64) {
    transform(context->state, input + offset);
  }
  if (offset < length) {
    std::memcpy(context->buffer, input + offset, length - offset);
  }
}

void MD5Final(uint8_t digest[16], MD5Context* context) {
  uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) {
    lengthBytes[i] = static_cast<uint8_t>(context->bitCount >> (8 * i));
  }
  size_t used = static_cast<size_t>((context->bitCount >> 3) & 63);
  static const uint8_t kPadding[64] = {0x80};
  MD5Update(context, kPadding, used < 56 ? 56 - used : 120 - used);
  MD5Update(context, lengthBytes, 8);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      digest[i * 4 + j] = static_cast<uint8_t>(context->state[i] >> (8 * j));
    }
  }
  std::memset(context, 0, sizeof *context);
}

void md5_calc(uint8_t digest[16], const void* data, size_t length) {
  MD5Context context;
  MD5Init(&context);
  if (length > 0) {
    MD5Update(&context, data, length);
  }
  MD5Final(digest, &context);
}

std::string md5Digest(std::string_view data) {
  uint8_t digest[16];
  md5_calc(digest, data.data(), data.size());
  return std::string(reinterpret_cast<const char*>(digest), 16);
}

}  // namespace zavro
