// The installed modem scripts: folders, visibility, order, duplicates, the default entry and paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/ModemScriptList.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using Names = std::vector<std::string>;

TEST(ModemScriptNames, OrderIgnoresCaseAndComparesNumbersByValue) {
  struct Row {
    const char* a;
    const char* b;
    int sign;
  };
  for (const Row& r : {Row{"Modem 9", "modem 10", -1}, Row{"ABC", "abc", 0}, Row{"x007", "x7", 0},
                       Row{"abc", "abcd", -1}, Row{"V.90", "v.34", 1}, Row{"2 wire", "10 wire", -1},
                       Row{"a99b", "a100a", -1}, Row{"", "a", -1}, Row{"Z", "a", 1}}) {
    int c = compareModemScriptNames(r.a, r.b);
    EXPECT_EQ((c > 0) - (c < 0), r.sign) << r.a << " vs " << r.b;
    int back = compareModemScriptNames(r.b, r.a);
    EXPECT_EQ((back > 0) - (back < 0), -r.sign) << r.b << " vs " << r.a;
  }
}

class ModemScriptListTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
  test::TempDir dir;
  std::string user = dir.mkdir("user");
  std::string system = dir.mkdir("system");
  ModemScripts scripts{{user, dir.file("network-missing"), system}, dir.file("fallback")};
};

TEST_F(ModemScriptListTest, SortsDedupesHidesAndFindsTheDefault) {
  for (const char* name : {"Modem 10", "Hayes Compatible", ".hidden", "Foo"}) {
    dir.write(std::string("user/") + name, "ABORT BUSY\n");
  }
  for (const char* name : {"Hayes Compatible", "modem 9", "Alpha", "foo", "Foo", "Old/inside"}) {
    dir.write(std::string("system/") + name, "ABORT BUSY\n");
  }
  std::filesystem::create_directory_symlink(system + "/Old", user + "/Linked folder");
  std::filesystem::create_symlink(system + "/Alpha", user + "/Alpha link");

  Names names;
  size_t defaultIndex = 99;
  ASSERT_EQ(MoreSCCreateCCLArray(names, defaultIndex, scripts), 0);
  // "Foo" is in both folders and "foo" differs only in case: the exact duplicate goes, the other stays.
  EXPECT_EQ(names, (Names{"Alpha", "Alpha link", "Foo", "foo", "Hayes Compatible", "modem 9", "Modem 10"}));
  EXPECT_EQ(defaultIndex, 0u);  // the default script is not installed

  MoreSCSetDefaultCCL("HAYES compatible");
  ASSERT_EQ(MoreSCCreateCCLArray(names, defaultIndex, scripts), 0);
  EXPECT_EQ(defaultIndex, 4u);
  MoreSCSetDefaultCCL("Modem 010");
  ASSERT_EQ(MoreSCCreateCCLArray(names, defaultIndex, scripts), 0);
  EXPECT_EQ(defaultIndex, 6u);
  MoreSCSetDefaultCCL("Hayes");
  ASSERT_EQ(MoreSCCreateCCLArray(names, defaultIndex, scripts), 0);
  EXPECT_EQ(defaultIndex, 0u);

  // Paths come from the first folder that holds the name.
  EXPECT_EQ(modemScriptPath("Hayes Compatible", scripts), user + "/Hayes Compatible");
  EXPECT_EQ(modemScriptPath("modem 9", scripts), system + "/modem 9");
  EXPECT_EQ(modemScriptPath("Modem 9", scripts), std::nullopt);
  EXPECT_EQ(modemScriptPath(".hidden", scripts), std::nullopt);
  EXPECT_EQ(modemScriptPath("", scripts), std::nullopt);
}

TEST_F(ModemScriptListTest, DefaultNameIsResetWithTheEnvironment) {
  MoreSCSetDefaultCCL("Other");
  EXPECT_EQ(MoreSCCopyDefaultCCL(), "Other");
  MoreSCSetDefaultCCL("");
  EXPECT_EQ(MoreSCCopyDefaultCCL(), kDefaultModemScriptName);
  MoreSCSetDefaultCCL("Other");
  test::TestEnvironment fresh;
  EXPECT_EQ(MoreSCCopyDefaultCCL(), kDefaultModemScriptName);
}

TEST_F(ModemScriptListTest, FallbackFolderOnlyWhenNoFolderExists) {
  dir.write("fallback/Shipped", "x");
  Names names;
  size_t defaultIndex = 0;
  MoreSCCreateCCLArray(names, defaultIndex, scripts);
  EXPECT_TRUE(names.empty());  // user and system exist, although empty

  ModemScripts none({dir.file("a"), dir.file("b")}, dir.file("fallback"));
  MoreSCCreateCCLArray(names, defaultIndex, none);
  EXPECT_EQ(names, Names{"Shipped"});
  EXPECT_EQ(modemScriptPath("Shipped", none), dir.file("fallback/Shipped"));
}

TEST_F(ModemScriptListTest, FoldersOfAnEnvironment) {
  Environment e = Environment::fromProcess();
  e.setDataHome("/home/u/.local/share").setInstallDir("/opt/z");
  ModemScripts live = ModemScripts::forEnvironment(e, "");
  EXPECT_EQ(live.folders(),
            (Names{"/home/u/.local/share/ZavroConnect/Modem Scripts", "/usr/local/share/ZavroConnect/Modem Scripts",
                   "/usr/share/ZavroConnect/Modem Scripts", "/etc/chatscripts"}));
  EXPECT_EQ(live.fallback(), "/opt/z/Resources/Modem Scripts");
  EXPECT_EQ(ModemScripts::forEnvironment(e, "/fixture").folders().back(), "/fixture/etc/chatscripts");
}

}  // namespace
}  // namespace zavro
