// The installed modem scripts as the user picks them: one sorted list of names and a default entry.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/ModemScripts.h"

namespace zavro {

// The default script when none has been set for this process. Kept neutral: a site sets its own.
inline constexpr const char* kDefaultModemScriptName = "Generic 56K Modem (V.90)";

// Order of script names: case ignored, runs of digits compared by value ("Modem 9" < "Modem 10").
// Negative, zero or positive; zero for names that differ only in case or leading zeros.
int compareModemScriptNames(const std::string& a, const std::string& b);

// Names of the scripts in every folder, sorted, each exact name once; `defaultIndex` is the position
// of the default name (compared as above), 0 when it is not installed. Returns 0: the listing itself
// cannot fail (missing folders list nothing).
int MoreSCCreateCCLArray(std::vector<std::string>& names, size_t& defaultIndex, const ModemScripts& scripts);
int MoreSCCreateCCLArray(std::vector<std::string>& names, size_t& defaultIndex);  // the shared folders

// Sets the default script name for this process; "" restores kDefaultModemScriptName. A newly
// installed Environment restores it too.
void MoreSCSetDefaultCCL(const std::string& name);
std::string MoreSCCopyDefaultCCL();

// Full path of the script called `name`, from the first folder (domain order) that holds it.
std::optional<std::string> modemScriptPath(const std::string& name, const ModemScripts& scripts);

}  // namespace zavro
