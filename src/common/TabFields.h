// Escaping for one-line records of tab-separated fields: backslash, tab, CR and LF as \\ \t \r \n.
#pragma once

#include <string>

namespace zavro {

std::string escapeTabField(const std::string& value);
// The reverse; a lone trailing backslash stays as it is, any other escaped byte stands for itself.
std::string unescapeTabField(const std::string& value);

}  // namespace zavro
