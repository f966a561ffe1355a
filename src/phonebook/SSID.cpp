// SSID factory.
#include "phonebook/SSID.h"

namespace zavro {

std::shared_ptr<SSID> SSID::ssid(std::string ssid, std::optional<std::string> wepKey) {
  return std::make_shared<SSID>(std::move(ssid), std::move(wepKey));
}

}  // namespace zavro
