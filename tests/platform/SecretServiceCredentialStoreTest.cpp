// The Secret Service backend against a real gnome-keyring on a private session bus (run-with-keyring.sh).
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include "common/LogFile.h"
#include "platform/CredentialStoreBackends.h"
#include "platform/CredentialStoreContract.h"
#include "runtime/Process.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

std::shared_ptr<SecretServiceCredentialStore> connectOrFail() {
  std::string error;
  auto store = SecretServiceCredentialStore::connect(&error);
  EXPECT_TRUE(store) << "no Secret Service: " << error << " (run this test through run-with-keyring.sh)";
  return store;
}

// Locks the default collection as a screen locker would; unlocking needs the user's password again.
void lockDefaultCollection() {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  ASSERT_NE(service, nullptr) << (error ? error->message : "");
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ASSERT_NE(collection, nullptr) << (error ? error->message : "no default collection");
  GList* objects = g_list_append(nullptr, collection);
  gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
  g_list_free(objects);
  g_object_unref(collection);
  g_object_unref(service);
  ASSERT_EQ(locked, 1) << (error ? error->message : "");
}

TEST(SecretServiceCredentialStore, KeepsTheContract) {
  auto store = connectOrFail();
  ASSERT_TRUE(store);
  test::checkCredentialStoreContract(*store, "ZavroConnect.contract");
}

TEST(SecretServiceCredentialStore, ItemsAreVisibleToOtherClientsByServiceAndAccount) {
  auto store = connectOrFail();
  ASSERT_TRUE(store);
  ASSERT_TRUE(store->add("ZavroConnect", "ann", "pw").ok());
  // Another program of the session looks the item up by its attributes alone.
  static const SecretSchema anySchema = {
      "org.example.AnyProgram",
      SECRET_SCHEMA_DONT_MATCH_NAME,
      {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, {}}},
      0,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr};
  GError* error = nullptr;
  gchar* secret =
      secret_password_lookup_sync(&anySchema, nullptr, &error, "service", "ZavroConnect", "account", "ann", nullptr);
  ASSERT_NE(secret, nullptr) << (error ? error->message : "not found");
  EXPECT_STREQ(secret, "pw");
  secret_password_free(secret);
  ASSERT_TRUE(store->remove("ZavroConnect", "ann").ok());
}

TEST(SecretServiceCredentialStore, SystemStoreChoosesTheSecretService) {
  test::TestEnvironment env;
  auto store = CredentialStore::systemStore();
  EXPECT_EQ(store->description(), "Secret Service");
  EXPECT_NE(ConnectionLog::connectionLog()->getLogContents().value_or("").find("Credential store: Secret Service"),
            std::string::npos);
}

TEST(SecretServiceCredentialStoreLocked, LockedKeyringIsAnErrorNotAMissingItem) {
  auto store = connectOrFail();
  ASSERT_TRUE(store);
  ASSERT_TRUE(store->add("ZavroConnect", "ann", "pw").ok());
  lockDefaultCollection();

  auto found = store->find("ZavroConnect", "ann");
  EXPECT_EQ(found.status, CredentialStatus::Error);
  EXPECT_NE(found.error.find("locked"), std::string::npos) << found.error;
  EXPECT_EQ(found.secret, "");
  // Nor does a name that was never stored read as missing: the store cannot tell while locked.
  EXPECT_EQ(store->find("ZavroConnect", "nobody").status, CredentialStatus::Error);
  EXPECT_EQ(store->add("ZavroConnect", "bob", "pw").status, CredentialStatus::Error);
  EXPECT_EQ(store->update("ZavroConnect", "ann", "new").status, CredentialStatus::Error);
  EXPECT_EQ(store->remove("ZavroConnect", "ann").status, CredentialStatus::Error);
}

}  // namespace
}  // namespace zavro
