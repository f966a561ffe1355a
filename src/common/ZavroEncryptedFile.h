// Scrambled configuration files: a position-dependent XOR, recognised by the top bits of the first bytes.
//
// Byte i of a scrambled file is the plain byte XOR (255 - i % 256); the transformation is its own
// inverse. There is no marker: content counts as scrambled when one of its first 32 bytes has the
// top bit set, so plain files must be 7-bit text there (a UTF-8 byte-order mark makes a plain file
// look scrambled, and it is then descrambled into garbage).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zavro {

// The detection test: one of the first 32 bytes (all of them if fewer) is 0x80 or above.
bool zavroEncrypted(std::string_view bytes);

// In place; scrambling and descrambling are the same XOR. (Pointers, so that these can never be
// picked by mistake for the keyed zavroEncrypt/zavroDecrypt of a string.)
void zavroEncrypt(std::string* buffer);
void zavroDecrypt(std::string* buffer);
void zavroDecryptIfEncrypted(std::string* buffer);

// The whole file, descrambled when it counts as scrambled, plain content unchanged; nullopt when it
// cannot be read.
std::optional<std::string> dataWithContentsOfZavroFile(const std::string& path);
// The same for a file:// URL or a plain path; other schemes cannot be read here (nullopt).
std::optional<std::string> dataWithContentsOfZavroURL(const std::string& url);
// A copy, descrambled when it counts as scrambled.
std::string dataWithZavroData(std::string_view bytes);

// Writes the scrambled form of `bytes` to `path`. Atomically: into a new file beside it, flushed,
// then renamed over the path, so readers see the old or the new file and never a part of it. New
// files get the usual 0666 less the umask. False when any step fails (the temporary file is removed).
bool writeToZavroFile(std::string_view bytes, const std::string& path, bool atomically);
bool writeToZavroURL(std::string_view bytes, const std::string& url, bool atomically);

}  // namespace zavro
