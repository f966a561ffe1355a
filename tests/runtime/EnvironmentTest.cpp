// Environment: roots from the process and overrides; installing resets process-wide objects.
#include <gtest/gtest.h>

#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"

namespace zavro {
namespace {

TEST(Environment, InstallationDirectoryIsParentOfExecutableFolder) {
  auto env = Environment::fromProcess();
  std::string exe = executablePath();
  ASSERT_FALSE(exe.empty());
  // The test binary sits in <build>/tests/bin, so the installation directory is <build>/tests.
  EXPECT_EQ(env.installDir() + "/bin/" + exe.substr(exe.find_last_of('/') + 1), exe);
  EXPECT_EQ(env.configDir(), env.installDir() + "/Configuration");
  EXPECT_EQ(env.pluginDir(), env.installDir() + "/PlugIns");
}

TEST(Environment, DerivedPaths) {
  Environment env = Environment::fromProcess();
  env.setDataHome("/d").setConfigHome("/c").setTempDir("/t").setInstallDir("/opt/z");
  EXPECT_EQ(env.supportDir(), "/d/Zavro/ZavroConnect");
  EXPECT_EQ(env.lockDir(), "/t/Zavro/ZavroConnect");
  EXPECT_EQ(env.preferencesFile(), "/c/ZavroConnect/com.zavro.ZavroConnect.plist");
  EXPECT_EQ(env.sharedSupportDir(), "/opt/z/SharedSupport");
  env.setConfigDir("/etc/z");
  EXPECT_EQ(env.configDir(), "/etc/z");
}

TEST(Environment, InstallResetsProcessWideObjects) {
  static ProcessWide<std::string> thing(
      [] { return std::make_shared<std::string>(Environment::current()->dataHome()); });
  Environment a = Environment::fromProcess();
  a.setDataHome("/first");
  Environment::install(a);
  auto first = thing.get();
  EXPECT_EQ(*first, "/first");
  EXPECT_EQ(thing.get(), first);
  a.setDataHome("/second");
  Environment::install(a);
  EXPECT_EQ(*thing.get(), "/second");
  EXPECT_EQ(*first, "/first");  // holders keep what they had
  Environment::install(Environment::fromProcess());
}

}  // namespace
}  // namespace zavro
