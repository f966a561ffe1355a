// The default IPv4 interface's address and gateway, from the routing table and the interface list.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zavro {

struct DefaultInterface {
  std::string name;
  uint32_t address = 0;  // network byte order, like in_addr.s_addr
  uint32_t gateway = 0;  // network byte order
};

class InterfaceInfo {
 public:
  virtual ~InterfaceInfo() = default;
  // nullopt when there is no default IPv4 route or its interface has no IPv4 address.
  virtual std::optional<DefaultInterface> defaultInterface() = 0;

  // The process's source: the Linux backend unless one was installed (tests, the simulated world).
  static std::shared_ptr<InterfaceInfo> system();
  static void install(std::shared_ptr<InterfaceInfo> info);
};

// Linux: the default route is the lowest-metric line of /proc/net/route with destination 0 and the
// gateway flag; the address is the interface's first IPv4 address from getifaddrs.
class LinuxInterfaceInfo : public InterfaceInfo {
 public:
  explicit LinuxInterfaceInfo(std::string routeTable = "/proc/net/route");
  std::optional<DefaultInterface> defaultInterface() override;

  struct Route {
    std::string name;
    uint32_t gateway = 0;
  };
  // Parses the text of /proc/net/route; nullopt when it has no usable default route.
  static std::optional<Route> parseDefaultRoute(const std::string& table);

 protected:
  // The interface's IPv4 address in network order; overridable for tests.
  virtual std::optional<uint32_t> addressOf(const std::string& name);

 private:
  std::string mRouteTable;
};

// Fixed answers, for tests and the simulated world.
class FixedInterfaceInfo : public InterfaceInfo {
 public:
  explicit FixedInterfaceInfo(std::optional<DefaultInterface> answer) : mAnswer(std::move(answer)) {}
  std::optional<DefaultInterface> defaultInterface() override { return mAnswer; }

 private:
  std::optional<DefaultInterface> mAnswer;
};

}  // namespace zavro
