// The thruput command line: option letters with their values, the validity rule and the usage text.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zavro::thruput {

// Letter → values. An option given without a value holds no values (read as the empty text).
using OptionMap = std::map<char, std::vector<std::string>>;

// An option is an argument beginning with "-"; its letter is the next character, its first value the
// rest of the argument after one leading "=", and every following argument not beginning with "-"
// is a further value. A double quote at either end of a value is removed. Repeating a letter starts
// it afresh; arguments before the first option are ignored. argv[0] is not passed.
OptionMap parseOptions(const std::vector<std::string>& args);

// Exactly one of -b, -n and -u with a non-empty user.
bool isValid(const OptionMap& options);

// The first value of an option, or "" when it has none.
std::string firstValue(const OptionMap& options, char letter);

// The usage text, without a line feed after its last line.
const std::string& usageText();

}  // namespace zavro::thruput
