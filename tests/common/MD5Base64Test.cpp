// MD5 against the RFC 1321 suite, base64 against the RFC 4648 vectors and on text that is not base64.
#include <gtest/gtest.h>

#include <string>

#include "common/Base64.h"
#include "common/MD5.h"

namespace zavro {
namespace {

std::string hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

TEST(MD5, Rfc1321Suite) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, digest] : cases) {
    EXPECT_EQ(hex(md5Digest(input)), digest) << '"' << input << '"';
  }
}

TEST(MD5, StreamingMatchesOneShotAcrossBlockBoundaries) {
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 + 3);
  }
  // Splits at every length from 0 to 130 cross the 56- and 64-byte padding boundaries.
  for (size_t split = 0; split <= 130; ++split) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, data.data(), split);
    MD5Update(&context, data.data() + split, data.size() - split);
    uint8_t digest[16];
    MD5Final(digest, &context);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), 16), md5Digest(data)) << split;
  }
  for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u}) {
    uint8_t digest[16];
    md5_calc(digest, data.data(), length);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), 16), md5Digest(std::string_view(data).substr(0, length)));
  }
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(base64Encode(plain), encoded) << plain;
    EXPECT_EQ(base64Decode(encoded), plain) << encoded;
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string all;
  for (int i = 0; i < 256; ++i) {
    all.push_back(static_cast<char>(i));
  }
  for (size_t length = 0; length <= all.size(); length += 17) {
    std::string bytes = all.substr(all.size() - length);
    std::string text = base64Encode(bytes);
    EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
    EXPECT_EQ(base64Decode(text), bytes);
  }
  EXPECT_EQ(base64Encode(all.substr(0, 3)), "AAEC");
  EXPECT_EQ(base64Encode("\xfb\xff"), "+/8=");
}

TEST(Base64, TextOutsideTheAlphabetDecodesDeterministically) {
  // Characters outside the alphabet count as "A" (zero bits); nothing is skipped.
  const std::pair<std::string, std::string> cases[] = {
      {"Zm9v\nYmFy", base64Decode("Zm9vAYmFy")},
      {"Zm9v*mFy", base64Decode("Zm9vAmFy")},
      {std::string("Zm\0v", 4), base64Decode("ZmAv")},
      {"\xff\x80\x01!", std::string(3, '\0')},
      {"Z=g=", base64Decode("ZAg=")},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(base64Decode(text), expected) << text;
  }
  // Sizes come from the length and the trailing "=" alone.
  EXPECT_EQ(base64Decode("=").size(), 0u);
  EXPECT_EQ(base64Decode("==").size(), 0u);
  EXPECT_EQ(base64Decode("Zg").size(), 1u);
  EXPECT_EQ(base64Decode("Zm9").size(), 2u);
  EXPECT_EQ(base64Decode("Zm9vY").size(), 3u);
}

}  // namespace
}  // namespace zavro
