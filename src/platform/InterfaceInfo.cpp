// InterfaceInfo backends.
#include "platform/InterfaceInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace zavro {

namespace {
std::mutex gInfoMutex;
std::shared_ptr<InterfaceInfo> gInfo;
constexpr unsigned long kRouteUp = 0x1;       // RTF_UP
constexpr unsigned long kRouteGateway = 0x2;  // RTF_GATEWAY
}  // namespace

std::shared_ptr<InterfaceInfo> InterfaceInfo::system() {
  std::lock_guard lock(gInfoMutex);
  if (!gInfo) {
    gInfo = std::make_shared<LinuxInterfaceInfo>();
  }
  return gInfo;
}

void InterfaceInfo::install(std::shared_ptr<InterfaceInfo> info) {
  std::lock_guard lock(gInfoMutex);
  gInfo = std::move(info);
}

LinuxInterfaceInfo::LinuxInterfaceInfo(std::string routeTable) : mRouteTable(std::move(routeTable)) {}

std::optional<LinuxInterfaceInfo::Route> LinuxInterfaceInfo::parseDefaultRoute(const std::string& table) {
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);  // header
  std::optional<Route> best;
  long bestMetric = LONG_MAX;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) {
      continue;
    }
    // The kernel prints addresses as the hexadecimal value of the network-order word.
    unsigned long dest = std::strtoul(destination.c_str(), nullptr, 16);
    unsigned long gw = std::strtoul(gateway.c_str(), nullptr, 16);
    unsigned long fl = std::strtoul(flags.c_str(), nullptr, 16);
    unsigned long msk = std::strtoul(mask.c_str(), nullptr, 16);
    long m = std::strtol(metric.c_str(), nullptr, 10);
    if (dest != 0 || msk != 0 || (fl & kRouteUp) == 0 || (fl & kRouteGateway) == 0) {
      continue;
    }
    if (!best || m < bestMetric) {
      best = Route{iface, static_cast<uint32_t>(gw)};
      bestMetric = m;
    }
  }
  return best;
}

std::optional<uint32_t> LinuxInterfaceInfo::addressOf(const std::string& name) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return std::nullopt;
  }
  std::optional<uint32_t> out;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET && name == a->ifa_name) {
      out = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
      break;
    }
  }
  ::freeifaddrs(list);
  return out;
}

std::optional<DefaultInterface> LinuxInterfaceInfo::defaultInterface() {
  std::ifstream in(mRouteTable);
  if (!in) {
    return std::nullopt;
  }
  std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto route = parseDefaultRoute(table);
  if (!route) {
    return std::nullopt;
  }
  auto address = addressOf(route->name);
  if (!address) {
    return std::nullopt;
  }
  return DefaultInterface{route->name, *address, route->gateway};
}

}  // namespace zavro
