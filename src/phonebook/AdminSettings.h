// The administrator settings the phonebook depends on, behind one call each.
#pragma once

namespace zavro {

// Whether customer POPs sort before the service's POPs: getCustPopSort of the administrator
// configuration is non-zero ("CustomerPopSortFlag" missing, empty, or starting with F, f or 0).
bool customerPOPsSortFirst();

}  // namespace zavro
