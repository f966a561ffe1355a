// Finding the refresh instruction of an HTML page (the CONTENT of its first META refresh tag).
#pragma once

#include <optional>
#include <string>

namespace zavro::detail {

// The CONTENT attribute of the first META tag that has both HTTP-EQUIV and CONTENT and whose
// HTTP-EQUIV, in upper case, is "REFRESH". Tags are read the way the web-login code reads every tag:
// the text between "<" and ">", split at spaces outside double quotes, attribute names reduced to
// their legal key characters and upper-cased, values with one pair of surrounding quotes removed.
std::optional<std::string> metaRefreshContent(const std::string& html);

}  // namespace zavro::detail
