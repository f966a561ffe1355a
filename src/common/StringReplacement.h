// String replacement and whitespace trimming helpers (positions and lengths count bytes).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zavro::strings {

// Search flags, with the values callers pass around.
inline constexpr unsigned kCaseInsensitiveSearch = 1;  // ASCII letters only
inline constexpr unsigned kLiteralSearch = 2;          // bytes are always compared literally
inline constexpr unsigned kBackwardsSearch = 4;
inline constexpr unsigned kAnchoredSearch = 8;

// Replacements applied in the order given.
using StringPairs = std::vector<std::pair<std::string, std::string>>;

// Whitespace here is exactly space, tab, carriage return and line feed.
bool isWhitespace(char c);

// Every non-overlapping occurrence, left to right. The inserted replacement is never searched again,
// so a replacement that contains the target terminates. An empty target matches nowhere. The
// backwards flag is ignored.
std::string replaceAll(std::string_view s, std::string_view target, std::string_view replacement, unsigned options = 0);

// replaceAll for each pair in turn, each on the previous result.
std::string replaceUsingDictionary(std::string_view s, const StringPairs& replacements, unsigned options = 0);
std::string replaceUsingDictionary(std::string_view s, const std::map<std::string, std::string>& replacements,
                                   unsigned options = 0);

// Replaces the target where it stands at the start and at the end. With kAnchoredSearch one
// occurrence at each end; without it, the whole run of occurrences at the start, and at the end the
// run that keeps ending at the end of the string (all of it when the replacement is empty).
std::string replace(std::string_view s, std::string_view target, std::string_view replacement, unsigned options = 0);

// From the first to the last non-whitespace byte; "" when there is none.
std::string trimWhitespaceFromEnds(std::string_view s);
// trimWhitespaceFromEnds, then every inner run of whitespace becomes one space.
std::string trimExtraWhitespace(std::string_view s);

}  // namespace zavro::strings
