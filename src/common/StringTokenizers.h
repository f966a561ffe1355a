// Splitting helpers: a separator split that respects double quotes, and the pieces between two markers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zavro::strings {

// Splits at `separator` except where it stands inside a double-quoted stretch. Each component is
// trimmed of whitespace; one enclosing pair of double quotes is removed and every doubled quote
// inside becomes one. Empty components are kept, and text ending with the separator gets a final
// "". An unterminated quote runs to the end of the text as part of its component. The empty text
// (or an empty separator, which never matches) gives no split: [] for "", else one component.
std::vector<std::string> quotedComponentsSeparatedByString(std::string_view s, std::string_view separator);

// For every occurrence of `opening`, the text up to the next `closing` in the piece that follows
// it (up to the next opening); pieces without a closing give nothing. Empty markers give [].
std::vector<std::string> componentsBetweenString(std::string_view s, std::string_view opening,
                                                 std::string_view closing);

// Plain split at every occurrence of `separator` (empty pieces kept; "" gives [""]); an empty
// separator gives the whole text as the only piece.
std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator);

}  // namespace zavro::strings
