// customerPOPsSortFirst: the one administrator setting the phonebook reads.
#include "phonebook/AdminSettings.h"

#include "settings/AdminPrefs.h"

namespace zavro {

bool customerPOPsSortFirst() {
  return AdminPrefs::adminPrefs()->getCustPopSort() != 0;
}

}  // namespace zavro
