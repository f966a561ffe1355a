// Keyed scrambling against vectors worked out independently (tests/data/common/scramble_vectors.txt).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "common/ZavroEncryptedData.h"

namespace zavro {
namespace {

std::string unhex(std::string_view text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

struct Vector {
  std::string name;
  std::string key;
  std::string authenticator;
  std::string plaintext;
  std::string stored;
  std::string decrypted;
};

std::vector<Vector> loadVectors() {
  std::ifstream in(std::string(ZAVRO_TEST_DATA_DIR) + "/common/scramble_vectors.txt");
  std::vector<Vector> out;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) {
      fields.push_back(field);
    }
    if (fields.size() != 6) {
      ADD_FAILURE() << "bad vector line: " << line;
      continue;
    }
    out.push_back({fields[0], fields[1] == "-" ? "" : fields[1], unhex(fields[2]), unhex(fields[3]), fields[4],
                   unhex(fields[5])});
  }
  return out;
}

AuthenticatorSource fixed(const std::string& authenticator) {
  return [authenticator](uint8_t* out) { std::memcpy(out, authenticator.data(), 16); };
}

const Vector& named(const std::vector<Vector>& vectors, const std::string& name) {
  for (const auto& v : vectors) {
    if (v.name == name) {
      return v;
    }
  }
  static const Vector none{};
  ADD_FAILURE() << "no vector " << name;
  return none;
}

TEST(KeyedScrambling, MatchesIndependentVectors) {
  auto vectors = loadVectors();
  ASSERT_GE(vectors.size(), 10u);
  for (const auto& v : vectors) {
    EXPECT_EQ(zavroEncrypt(v.plaintext, v.key, fixed(v.authenticator)), v.stored) << v.name;
    std::string clear = zavroDecrypt(v.stored, v.key);
    EXPECT_EQ(clear, v.decrypted) << v.name;
    EXPECT_EQ(clear.c_str()[clear.size()], '\0') << v.name;
  }
}

TEST(KeyedScrambling, SixteenBytePlaintextIsOneBlock) {
  auto vectors = loadVectors();
  const Vector& v = named(vectors, "sixteen_bytes_no_key");
  std::string scrambled = encrypt(v.plaintext, v.key, fixed(v.authenticator));
  EXPECT_EQ(scrambled.size(), 32u);
  EXPECT_EQ(v.stored.size(), 44u);
  std::string clear = decrypt(scrambled, v.key);
  ASSERT_EQ(clear.size(), 16u);
  EXPECT_EQ(std::strlen(clear.c_str()), 16u);  // usable as a zero-terminated string
}

TEST(KeyedScrambling, CiphertextEndingInZeroIsStoredShorterAndStillDecrypts) {
  auto vectors = loadVectors();
  const Vector& v = named(vectors, "ciphertext_ends_in_zero");
  ASSERT_EQ(v.plaintext.size(), 16u);
  std::string scrambled = encrypt(v.plaintext, v.key, fixed(v.authenticator));
  EXPECT_EQ(scrambled.size(), 31u);
  EXPECT_EQ(decrypt(scrambled, v.key), v.plaintext);
}

TEST(KeyedScrambling, TrailingZeroBytesAreLost) {
  const std::string plain("abc\0\0", 5);
  EXPECT_EQ(zavroDecrypt(zavroEncrypt(plain, "Wibbelo572"), "Wibbelo572"), "abc");
}

TEST(KeyedScrambling, ShortDecodedFormsComeBackUnchanged) {
  for (const std::string& stored :
       {std::string(), std::string("a"), std::string("0123456789abcdef"), std::string("\0\0\x01", 3)}) {
    EXPECT_EQ(decrypt(stored, "Wibbelo572"), stored);
  }
  // "QUJD" is 3 bytes: returned as they are, undecrypted.
  EXPECT_EQ(zavroDecrypt("QUJD", "Qv7&Lm2;Xe9^Tn4!"), "ABC");
}

TEST(KeyedScrambling, WrongKeyGivesOtherBytesAndKeysDiffer) {
  auto source = fixed(std::string(16, '\x5a'));
  std::string withPasswordKey = zavroEncrypt("secret", "Wibbelo572", source);
  std::string withCredentialKey = zavroEncrypt("secret", "Qv7&Lm2;Xe9^Tn4!", source);
  std::string withoutKey = zavroEncrypt("secret", {}, source);
  EXPECT_NE(withPasswordKey, withCredentialKey);
  EXPECT_NE(withPasswordKey, withoutKey);
  EXPECT_NE(zavroDecrypt(withPasswordKey, "Qv7&Lm2;Xe9^Tn4!"), "secret");
  EXPECT_EQ(zavroDecrypt(withCredentialKey, "Qv7&Lm2;Xe9^Tn4!"), "secret");
}

TEST(KeyedScrambling, DefaultAuthenticatorDiffersBetweenCalls) {
  // Two values scrambled in the same second must not share an authenticator (equal passwords
  // would otherwise be visible as equal stored texts).
  std::set<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    std::string stored = zavroEncrypt("same password", "Wibbelo572");
    EXPECT_EQ(zavroDecrypt(stored, "Wibbelo572"), "same password");
    seen.insert(stored);
  }
  EXPECT_EQ(seen.size(), 8u);
}

}  // namespace
}  // namespace zavro
