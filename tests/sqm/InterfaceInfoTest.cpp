// The default route read from a routing table text, lowest metric first, and the address lookup.
#include "platform/InterfaceInfo.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace zavro {
namespace {

const char* kTable =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t0000000A\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
    "ppp0\t00000000\t00000000\t0001\t0\t0\t50\t00000000\t0\t0\t0\n";

TEST(InterfaceInfo, DefaultRouteIsLowestMetricGatewayRoute) {
  auto route = LinuxInterfaceInfo::parseDefaultRoute(kTable);
  ASSERT_TRUE(route.has_value());
  EXPECT_EQ(route->name, "eth0");
  const auto* b = reinterpret_cast<const unsigned char*>(&route->gateway);
  EXPECT_EQ(b[0], 10);
  EXPECT_EQ(b[3], 1);
  EXPECT_FALSE(LinuxInterfaceInfo::parseDefaultRoute("Iface\tDestination\n").has_value());
  EXPECT_FALSE(LinuxInterfaceInfo::parseDefaultRoute("").has_value());
}

class FakeAddresses : public LinuxInterfaceInfo {
 public:
  using LinuxInterfaceInfo::LinuxInterfaceInfo;

 protected:
  std::optional<uint32_t> addressOf(const std::string& name) override {
    if (name == "eth0") {
      return 0x0700000Au;  // 10.0.0.7 in network order on a little-endian host
    }
    return std::nullopt;
  }
};

TEST(InterfaceInfo, AddressOfTheRouteInterface) {
  test::TempDir dir;
  FakeAddresses info(dir.write("route", kTable));
  auto answer = info.defaultInterface();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->name, "eth0");
  EXPECT_EQ(answer->address, 0x0700000Au);
  FakeAddresses missing(dir.file("none"));
  EXPECT_FALSE(missing.defaultInterface().has_value());
}

}  // namespace
}  // namespace zavro
