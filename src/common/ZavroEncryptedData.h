// Keyed scrambling of short secrets (saved passwords, server credentials) into base64 text and back.
//
// Stored form: base64 of a 16-byte authenticator followed by the plaintext XORed block by block with
// an MD5 chain over the key and the previous 16 bytes, with the trailing zero bytes of the result left
// out. Not strong cryptography; it must stay bit-compatible with values already stored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/Base64.h"
#include "common/MD5.h"

namespace zavro {

// Fills the 16 bytes of an authenticator. Tests pass a fixed one; everything else uses the default.
using AuthenticatorSource = std::function<void(uint8_t* authenticator16)>;

// The default authenticator: 16 bytes from the kernel's random source. Any unpredictable bytes keep
// stored values readable, since the authenticator travels with the data.
void gauthenticator(uint8_t authenticator[16]);

// An empty key means "no key" (the chain then hashes the previous block alone, which is the same
// digest an empty key gives). A null `source` means gauthenticator.
//
// encrypt: authenticator, then ⌈n/16⌉ scrambled blocks, with trailing zero bytes dropped (callers
// store "" rather than scrambling an empty value).
std::string encrypt(std::string_view plaintext, std::string_view key = {}, const AuthenticatorSource& source = {});
// decrypt: an input of 16 bytes or fewer comes back unchanged. Otherwise the plaintext with its
// trailing zero bytes dropped (so plaintexts ending in zero bytes lose them); c_str() stays usable
// as a zero-terminated string, and callers that want text take it up to its first zero byte.
std::string decrypt(std::string_view scrambled, std::string_view key = {});

// encrypt, then base64Encode.
std::string zavroEncrypt(std::string_view plaintext, std::string_view key = {}, const AuthenticatorSource& source = {});
// base64Decode, then decrypt.
std::string zavroDecrypt(std::string_view text, std::string_view key = {});

}  // namespace zavro
