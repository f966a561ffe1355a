// Base64 of RFC 4648, written for the stored secrets: exact text in, defined bytes out.
#include "common/Base64.h"

#include <array>
#include <cstdint>

namespace zavro {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Indexed by every possible byte value, so no character can reach outside it.
constexpr std::array<uint8_t, 256> makeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 64; ++i) {
    table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kDecode = makeDecodeTable();

}  // namespace

std::string base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16) |
                 (static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8) | static_cast<uint8_t>(bytes[i + 2]);
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (rest == 2) {
      v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    }
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::string base64Decode(std::string_view text) {
  size_t length = text.size();
  size_t outSize = (length + 3) / 4 * 3;
  size_t decoded = length;
  if (length > 0 && text[length - 1] == '=') {
    --outSize;
    --decoded;
    if (length > 1 && text[length - 2] == '=') {
      --outSize;
      --decoded;
    }
  }
  std::string out;
  out.reserve(outSize);
  uint32_t accumulator = 0;
  int pending = 0;
  for (size_t i = 0; i < decoded && out.size() < outSize; ++i) {
    accumulator = ((accumulator << 6) | kDecode[static_cast<uint8_t>(text[i])]) & 0xFFFFu;
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      out.push_back(static_cast<char>((accumulator >> pending) & 0xFF));
    }
  }
  return out;
}

}  // namespace zavro
