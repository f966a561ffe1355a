// The memory and file credential stores: the common contract, and the file's mode, atomicity and sharing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "platform/CredentialStoreBackends.h"
#include "platform/CredentialStoreContract.h"
#include "runtime/PersistentDomain.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

TEST(MemoryCredentialStore, KeepsTheContract) {
  MemoryCredentialStore store;
  test::checkCredentialStoreContract(store, "ZavroConnect");
}

TEST(MemoryCredentialStore, FailsEverythingWhileToldTo) {
  MemoryCredentialStore store;
  ASSERT_TRUE(store.add("s", "a", "p").ok());
  store.setFailure("locked");
  for (const auto& result :
       {store.find("s", "a"), store.add("s", "b", "p"), store.update("s", "a", "q"), store.remove("s", "a")}) {
    EXPECT_EQ(result.status, CredentialStatus::Error);
    EXPECT_EQ(result.error, "locked");
  }
  store.setFailure(std::nullopt);
  EXPECT_EQ(store.find("s", "a").secret, "p");
  EXPECT_EQ(store.items().size(), 1u);
}

class FileCredentialStoreTest : public ::testing::Test {
 protected:
  test::TestEnvironment env;
  std::string path = env.env().supportDir() + "/Credentials.plist";
};

TEST_F(FileCredentialStoreTest, KeepsTheContract) {
  FileCredentialStore store(path);
  test::checkCredentialStoreContract(store, "ZavroConnect");
}

TEST_F(FileCredentialStoreTest, FileIsPrivateAndReplacedWhole) {
  FileCredentialStore store(path);
  EXPECT_TRUE(store.find("ZavroConnect", "ann").notFound());
  EXPECT_FALSE(test::fileExists(path));  // looking creates nothing

  ASSERT_TRUE(store.add("ZavroConnect", "ann", "pw").ok());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ino_t before = st.st_ino;

  ASSERT_TRUE(store.update("ZavroConnect", "ann", "pw2").ok());
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_ino, before);  // a new file renamed over the old one, never rewritten in place
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // Only the store and its lock file are in the folder: no temporary file is left behind.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(env.env().supportDir())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"Credentials.plist", "Credentials.plist.lock"}));

  // The file is a property list: service -> account -> data.
  auto domain = PersistentDomain(path, "Credential file").persistentDomain();
  EXPECT_EQ(*domain.at("ZavroConnect").find("ann")->dataBytes(), "pw2");
}

TEST_F(FileCredentialStoreTest, TwoStoresOnOneFileSeeEachOthersChanges) {
  // As two processes of the same user would: each operation reads the file afresh.
  FileCredentialStore app(path);
  FileCredentialStore tool(path);
  ASSERT_TRUE(app.add("ZavroConnect", "ann", "pw").ok());
  EXPECT_EQ(tool.find("ZavroConnect", "ann").secret, "pw");
  ASSERT_TRUE(tool.add("ZavroConnect", "bob", "pw-bob").ok());
  ASSERT_TRUE(app.update("ZavroConnect", "ann", "pw2").ok());
  EXPECT_EQ(tool.find("ZavroConnect", "ann").secret, "pw2");
  EXPECT_EQ(app.find("ZavroConnect", "bob").secret, "pw-bob");
  ASSERT_TRUE(tool.remove("ZavroConnect", "ann").ok());
  EXPECT_TRUE(app.find("ZavroConnect", "ann").notFound());
}

TEST_F(FileCredentialStoreTest, DamagedFileIsSetAsideNotTakenForEmptyAndOverwritten) {
  std::filesystem::create_directories(env.env().supportDir());
  test::writeFile(path, "<plist><dict><key>ZavroConnect</key><dict><key>ann</key>");
  FileCredentialStore store(path);
  EXPECT_TRUE(store.find("ZavroConnect", "ann").notFound());
  EXPECT_EQ(test::readFile(path + ".corrupt"), "<plist><dict><key>ZavroConnect</key><dict><key>ann</key>");
  ASSERT_TRUE(store.add("ZavroConnect", "ann", "new").ok());
  EXPECT_EQ(store.find("ZavroConnect", "ann").secret, "new");
}

TEST_F(FileCredentialStoreTest, UnwritableLocationIsAnError) {
  // Something that is not a folder stands where the support folder should be.
  std::filesystem::create_directories(env.env().dataHome() + "/Zavro");
  test::writeFile(env.env().supportDir(), "not a folder");
  FileCredentialStore store(path);
  auto result = store.add("ZavroConnect", "ann", "pw");
  EXPECT_EQ(result.status, CredentialStatus::Error);
  EXPECT_FALSE(result.error.empty());
}

}  // namespace
}  // namespace zavro
