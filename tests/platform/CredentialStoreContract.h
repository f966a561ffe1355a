// The behaviour every credential-store backend owes its callers, as one check run against each backend.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/CredentialStore.h"

namespace zavro::test {

// Uses only items of `service`, so that backends shared with other tests are not disturbed.
inline void checkCredentialStoreContract(CredentialStore& store, const std::string& service) {
  EXPECT_TRUE(store.find(service, "ann").notFound());
  EXPECT_TRUE(store.update(service, "ann", "x").notFound());
  EXPECT_TRUE(store.remove(service, "ann").notFound());

  ASSERT_TRUE(store.add(service, "ann", "first").ok());
  auto found = store.find(service, "ann");
  ASSERT_TRUE(found.ok()) << found.error;
  EXPECT_EQ(found.secret, "first");

  auto duplicate = store.add(service, "ann", "again");
  EXPECT_EQ(duplicate.status, CredentialStatus::Error);
  EXPECT_FALSE(duplicate.error.empty());
  EXPECT_EQ(store.find(service, "ann").secret, "first");

  ASSERT_TRUE(store.update(service, "ann", "second").ok());
  EXPECT_EQ(store.find(service, "ann").secret, "second");

  // Items are told apart by service and account.
  ASSERT_TRUE(store.add(service, "bob", "bob's").ok());
  ASSERT_TRUE(store.add(service + ".other", "ann", "elsewhere").ok());
  EXPECT_EQ(store.find(service, "ann").secret, "second");
  EXPECT_EQ(store.find(service, "bob").secret, "bob's");

  ASSERT_TRUE(store.remove(service, "ann").ok());
  EXPECT_TRUE(store.find(service, "ann").notFound());
  EXPECT_EQ(store.find(service, "bob").secret, "bob's");
  EXPECT_EQ(store.find(service + ".other", "ann").secret, "elsewhere");

  // Text that is not plain ASCII comes back byte for byte.
  const std::string utf8 = "p\xc3\xa4ss w\xc3\xb6rd \xe2\x82\xac";
  ASSERT_TRUE(store.add(service, "j\xc3\xbcrgen", utf8).ok());
  EXPECT_EQ(store.find(service, "j\xc3\xbcrgen").secret, utf8);

  // 255 bytes is the limit of every field, in every backend.
  const std::string longest(255, 'x');
  const std::string tooLong(256, 'x');
  EXPECT_TRUE(store.add(service, longest, longest).ok());
  EXPECT_EQ(store.find(service, longest).secret, longest);
  EXPECT_EQ(store.add(service, tooLong, "s").status, CredentialStatus::Error);
  EXPECT_EQ(store.add(service, "carl", tooLong).status, CredentialStatus::Error);
  EXPECT_EQ(store.find(service, tooLong).status, CredentialStatus::Error);
  EXPECT_EQ(store.update(service, longest, tooLong).status, CredentialStatus::Error);
  EXPECT_EQ(store.find(service, longest).secret, longest);
  EXPECT_EQ(store.find(std::string(256, 's'), "ann").status, CredentialStatus::Error);
  EXPECT_TRUE(store.find(service, "carl").notFound());
}

}  // namespace zavro::test
