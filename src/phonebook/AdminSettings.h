// The administrator settings the phonebook depends on, behind one call each.
#pragma once

namespace zavro {

// Whether customer POPs sort before the service's POPs: "CustomerPopSortFlag" in section "Profile"
// of config.ini in the configuration folder. Missing file, missing key, an empty value or one whose
// first character is F, f or 0 mean "first" (true); any other value means false. Read once per
// process (Environment::install makes it read again); plain and scrambled files are both accepted.
bool customerPOPsSortFirst();

}  // namespace zavro
