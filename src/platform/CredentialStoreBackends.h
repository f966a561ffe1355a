// The three credential-store backends: Secret Service (libsecret), a 0600 file, and memory.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/CredentialStore.h"

namespace zavro {

// Items of the Secret Service (gnome-keyring, KWallet) with the attributes "service" and "account",
// created in the default collection. Every operation first asks whether the default collection is
// locked: a locked collection hides its items from searches, which would otherwise read as "nothing
// stored", so it is reported as Error instead.
class SecretServiceCredentialStore : public CredentialStore {
 public:
  // Opens a session with the Secret Service on the session bus; null when none answers (*error says
  // why).
  static std::shared_ptr<SecretServiceCredentialStore> connect(std::string* error = nullptr);
  ~SecretServiceCredentialStore() override;

  std::string description() const override { return "Secret Service"; }

  struct Impl;

 protected:
  CredentialResult doFind(const std::string& service, const std::string& account) override;
  CredentialResult doAdd(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doUpdate(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doRemove(const std::string& service, const std::string& account) override;

 private:
  explicit SecretServiceCredentialStore(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> mImpl;
};

// A property list of mode 0600 (dictionary service -> dictionary account -> data), read before and
// written after every change, atomically, under an advisory lock on "<file>.lock" so that two
// processes of the same user do not lose each other's changes. For sessions without a Secret Service;
// it protects the secrets by file permissions only.
class FileCredentialStore : public CredentialStore {
 public:
  explicit FileCredentialStore(std::string path);

  std::string description() const override { return "file " + mPath; }
  const std::string& path() const { return mPath; }

 protected:
  CredentialResult doFind(const std::string& service, const std::string& account) override;
  CredentialResult doAdd(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doUpdate(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doRemove(const std::string& service, const std::string& account) override;

 private:
  enum class Change { Add, Update, Remove };
  CredentialResult change(Change kind, const std::string& service, const std::string& account,
                          const std::string& secret);

  std::string mPath;
  std::mutex mMutex;
};

// Items in memory, for tests and the simulated platform. It can be told to fail every operation (as a
// locked or unreachable store would) and counts the finds it was asked for.
class MemoryCredentialStore : public CredentialStore {
 public:
  std::string description() const override { return "memory"; }

  // While set, every operation answers Error with this text.
  void setFailure(std::optional<std::string> error);
  int findCount() const;
  // Every item, for checks.
  std::map<std::pair<std::string, std::string>, std::string> items() const;

 protected:
  CredentialResult doFind(const std::string& service, const std::string& account) override;
  CredentialResult doAdd(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doUpdate(const std::string& service, const std::string& account, const std::string& secret) override;
  CredentialResult doRemove(const std::string& service, const std::string& account) override;

 private:
  mutable std::mutex mMutex;
  std::map<std::pair<std::string, std::string>, std::string> mItems;
  std::optional<std::string> mFailure;
  int mFindCount = 0;
};

}  // namespace zavro
