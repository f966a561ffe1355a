// Key names, query strings and form bodies: reading "a=1&b=2" and building it with values escaped.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "common/StringReplacement.h"

namespace zavro::strings {

// trimExtraWhitespace, spaces to "_", then only the characters A-Z a-z 0-9 _ . : - kept, at most 32.
std::string legalKeyName(std::string_view s);

// Split at "&", each piece at "=": key = text before the first "=" (as it stands), value = text
// between the first and second "=" with its percent escapes decoded ("" when there is no "=").
// Later duplicates win. A "%" that does not start two hexadecimal digits stays as it is. "+" is
// not a space here.
std::map<std::string, std::string> keyValuePairsFromQueryString(std::string_view s);

// "key=value" pairs joined by "&", in the order given. Keys go as they are; every byte of a value
// other than the unreserved A-Z a-z 0-9 - . _ ~ is percent-escaped (%XX, upper case), so that "&",
// "=", "+", "?", "%" and non-ASCII bytes inside a password reach a form decoder unchanged.
std::string queryStringFromKeyValuePairs(const StringPairs& pairs);
std::string queryStringFromKeyValuePairs(const std::map<std::string, std::string>& pairs);

// Percent-decoding as keyValuePairsFromQueryString applies it.
std::string percentDecode(std::string_view s);
// Percent-encoding as queryStringFromKeyValuePairs applies it to values.
std::string percentEncode(std::string_view s);

}  // namespace zavro::strings
