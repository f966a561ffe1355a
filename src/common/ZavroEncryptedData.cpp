// Keyed scrambling of short secrets: MD5 chain over key and previous block, authenticator first.
#include "common/ZavroEncryptedData.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace zavro {
namespace {

constexpr size_t kBlock = 16;

void chainDigest(uint8_t digest[16], std::string_view key, const char* previous) {
  MD5Context context;
  MD5Init(&context);
  if (!key.empty()) {
    MD5Update(&context, key.data(), key.size());
  }
  MD5Update(&context, previous, kBlock);
  MD5Final(digest, &context);
}

void dropTrailingZeros(std::string& bytes) {
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == '\0') {
    --end;
  }
  bytes.resize(end);
}

bool fillFromKernel(uint8_t* out, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = getrandom(out + done, length - done, 0);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void gauthenticator(uint8_t authenticator[16]) {
  if (fillFromKernel(authenticator, kBlock)) {
    return;
  }
  // No kernel source (very old kernels, odd sandboxes): a generator seeded from the clock and the
  // address space still gives distinct authenticators within one second, unlike a reseeded rand().
  static thread_local std::mt19937 generator(static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ reinterpret_cast<uintptr_t>(&authenticator)));
  for (size_t i = 0; i < kBlock; i += 4) {
    uint32_t v = generator();
    for (size_t j = 0; j < 4; ++j) {
      authenticator[i + j] = static_cast<uint8_t>(v >> (8 * j));
    }
  }
}

std::string encrypt(std::string_view plaintext, std::string_view key, const AuthenticatorSource& source) {
  size_t blocks = (plaintext.size() + kBlock - 1) / kBlock;
  std::string buffer(kBlock + kBlock * blocks, '\0');
  uint8_t authenticator[kBlock];
  if (source) {
    source(authenticator);
  } else {
    gauthenticator(authenticator);
  }
  std::memcpy(buffer.data(), authenticator, kBlock);
  if (!plaintext.empty()) {
    std::memcpy(buffer.data() + kBlock, plaintext.data(), plaintext.size());
  }
  for (size_t i = 0; i < blocks; ++i) {
    char* block = buffer.data() + kBlock + kBlock * i;
    uint8_t digest[16];
    chainDigest(digest, key, block - kBlock);
    for (size_t j = 0; j < kBlock; ++j) {
      block[j] = static_cast<char>(static_cast<uint8_t>(block[j]) ^ digest[j]);
    }
  }
  dropTrailingZeros(buffer);
  return buffer;
}

std::string decrypt(std::string_view scrambled, std::string_view key) {
  size_t m = scrambled.size();
  if (m <= kBlock) {
    return std::string(scrambled);
  }
  size_t blocks = (m + kBlock - 1) / kBlock - 1;
  // Zero-filled, which restores ciphertext bytes that encrypt dropped because they were zero.
  std::string out(kBlock * blocks, '\0');
  std::memcpy(out.data(), scrambled.data() + kBlock, m - kBlock);
  // The chain runs over the stored bytes; every block but the last is complete there.
  std::string previous(scrambled.substr(0, kBlock));
  for (size_t i = 0; i < blocks; ++i) {
    uint8_t digest[16];
    chainDigest(digest, key, previous.data());
    char* block = out.data() + kBlock * i;
    previous.assign(block, kBlock);
    for (size_t j = 0; j < kBlock; ++j) {
      block[j] = static_cast<char>(static_cast<uint8_t>(block[j]) ^ digest[j]);
    }
  }
  dropTrailingZeros(out);
  return out;
}

std::string zavroEncrypt(std::string_view plaintext, std::string_view key, const AuthenticatorSource& source) {
  return base64Encode(encrypt(plaintext, key, source));
}

std::string zavroDecrypt(std::string_view text, std::string_view key) {
  return decrypt(base64Decode(text), key);
}

}  // namespace zavro
