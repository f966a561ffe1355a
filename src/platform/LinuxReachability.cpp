// Route lookup for reachability: getaddrinfo, a connected UDP socket, getsockname and getifaddrs.
#include "platform/LinuxReachability.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zavro {

namespace {

bool sameAddress(const sockaddr* a, const sockaddr_storage& b) {
  if (!a || a->sa_family != b.ss_family) {
    return false;
  }
  if (a->sa_family == AF_INET) {
    return std::memcmp(&reinterpret_cast<const sockaddr_in*>(a)->sin_addr,
                       &reinterpret_cast<const sockaddr_in*>(&b)->sin_addr, sizeof(in_addr)) == 0;
  }
  if (a->sa_family == AF_INET6) {
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr, sizeof(in6_addr)) == 0;
  }
  return false;
}

enum class Route { None, Found, Failed };

// The source address the kernel would use towards `address`.
Route routeTo(const addrinfo& address, sockaddr_storage& source) {
  int fd = ::socket(address.ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return Route::Failed;
  }
  Route route = Route::Found;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    route = (errno == ENETUNREACH || errno == EHOSTUNREACH || errno == EADDRNOTAVAIL || errno == EAFNOSUPPORT)
                ? Route::None
                : Route::Failed;
  } else {
    socklen_t length = sizeof(source);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&source), &length) != 0) {
      route = Route::Failed;
    }
  }
  ::close(fd);
  return route;
}

}  // namespace

std::uint32_t LinuxReachability::flagsForInterface(unsigned int interfaceFlags) {
  const bool up = (interfaceFlags & IFF_UP) && (interfaceFlags & IFF_RUNNING);
  return up ? kReachabilityReachable : (kReachabilityReachable | kReachabilityConnectionRequired);
}

std::optional<std::uint32_t> LinuxReachability::checkReachabilityByName(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* addresses = nullptr;
  // The port only completes the socket address; nothing is sent to it.
  int status = ::getaddrinfo(host.c_str(), "80", &hints, &addresses);
  if (status != 0) {
    if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_AGAIN || status == EAI_FAIL) {
      return 0u;  // the name does not resolve: not reachable
    }
    return std::nullopt;
  }

  std::optional<std::uint32_t> answer;
  bool anyChecked = false;
  ifaddrs* interfaces = nullptr;
  const bool haveInterfaces = ::getifaddrs(&interfaces) == 0;
  for (const addrinfo* address = addresses; address; address = address->ai_next) {
    sockaddr_storage source{};
    Route route = routeTo(*address, source);
    if (route == Route::Failed) {
      continue;
    }
    anyChecked = true;
    if (route == Route::None) {
      continue;
    }
    // A source address no interface claims cannot happen for a real route; trust the kernel's choice.
    std::uint32_t flags = kReachabilityReachable;
    for (const ifaddrs* i = haveInterfaces ? interfaces : nullptr; i; i = i->ifa_next) {
      if (sameAddress(i->ifa_addr, source)) {
        flags = flagsForInterface(i->ifa_flags);
        break;
      }
    }
    // The best answer over all addresses: one needing no connection beats one that needs one.
    if (!answer || isReachableWithoutConnection(flags)) {
      answer = flags;
    }
    if (isReachableWithoutConnection(flags)) {
      break;
    }
  }
  if (haveInterfaces) {
    ::freeifaddrs(interfaces);
  }
  ::freeaddrinfo(addresses);
  if (answer) {
    return answer;
  }
  if (anyChecked) {
    return 0u;  // resolved, but no route to any address
  }
  return std::nullopt;
}

}  // namespace zavro
