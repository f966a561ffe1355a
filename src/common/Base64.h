// Base64 of RFC 4648 (standard alphabet, "=" padding, no line breaks) as the stored secrets use it.
#pragma once

#include <string>
#include <string_view>

namespace zavro {

// Standard base64 with "=" padding; the empty input gives "".
std::string base64Encode(std::string_view bytes);

// Decodes exactly the text given: the output size is worked out from the length and the trailing
// "=" characters, and every other character is shifted in as six bits. Characters outside the
// alphabet (including line breaks, and "=" anywhere but the last two places) are neither skipped nor
// rejected: they count as the value 0, so any text decodes to a defined result.
std::string base64Decode(std::string_view text);

}  // namespace zavro
