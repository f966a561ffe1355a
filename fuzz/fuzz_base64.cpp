// Fuzzes base64 decoding and keyed unscrambling of stored text, and the round trips that must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/ZavroEncryptedData.h"
#include "common/ZavroEncryptedFile.h"

namespace {

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  // Any text decodes, to no more than its size allows, and unscrambles without error.
  std::string decoded = zavro::base64Decode(input);
  check(decoded.size() <= (size + 3) / 4 * 3);
  std::string clear = zavro::decrypt(decoded, "Wibbelo572");
  check(decoded.size() > 16 ? clear.size() <= decoded.size() - 16 + 15 : clear == decoded);
  (void)zavro::zavroDecrypt(input, "Qv7&Lm2;Xe9^Tn4!");

  // Bytes → base64 → bytes.
  check(zavro::base64Decode(zavro::base64Encode(input)) == input);

  // Plaintexts without trailing zero bytes come back exactly, with any key and authenticator.
  if (size >= 16) {
    std::string authenticator(input.substr(0, 16));
    std::string_view rest = input.substr(16);
    size_t keyLength = rest.empty() ? 0 : static_cast<uint8_t>(rest[0]) % 20;
    keyLength = std::min(keyLength, rest.size() > 0 ? rest.size() - 1 : 0);
    std::string key(rest.substr(rest.empty() ? 0 : 1, keyLength));
    std::string plain(rest.substr(rest.empty() ? 0 : 1 + keyLength));
    while (!plain.empty() && plain.back() == '\0') {
      plain.pop_back();
    }
    if (!plain.empty()) {
      auto source = [&](uint8_t* out) { std::memcpy(out, authenticator.data(), 16); };
      std::string stored = zavro::zavroEncrypt(plain, key, source);
      check(zavro::zavroDecrypt(stored, key) == plain);
    }
  }

  // File scrambling applied twice is the identity.
  std::string buffer(input);
  zavro::zavroEncrypt(&buffer);
  check(buffer.size() == size);
  zavro::zavroDecrypt(&buffer);
  check(buffer == input);
  check(zavro::dataWithZavroData(input).size() == size);
  return 0;
}
