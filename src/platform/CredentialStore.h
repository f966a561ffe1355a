// The per-user secret store for passwords, by (service, account), and the choice of its backend.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace zavro {

enum class CredentialStatus {
  Ok,        // done; for find(), `secret` holds the stored bytes
  NotFound,  // no item for (service, account)
  Error,     // anything else: store locked or unreachable, item already present on add(), too long, ...
};

struct CredentialResult {
  CredentialStatus status = CredentialStatus::Error;
  std::string secret;  // find() only
  std::string error;   // what went wrong, for Error

  bool ok() const { return status == CredentialStatus::Ok; }
  bool notFound() const { return status == CredentialStatus::NotFound; }
  static CredentialResult success(std::string secret = {}) { return {CredentialStatus::Ok, std::move(secret), {}}; }
  static CredentialResult missing() { return {CredentialStatus::NotFound, {}, {}}; }
  static CredentialResult failure(std::string why) { return {CredentialStatus::Error, {}, std::move(why)}; }
};

// Every backend answers the same four operations. Service, account and secret are byte strings of at
// most kMaxFieldBytes bytes each; anything longer is refused with Error before the backend is asked,
// so a value that one backend accepted can always be moved to another.
//
// Callers tell a missing item (NotFound) from every other failure (Error): only NotFound means "there
// is nothing stored". A locked store is an Error, never NotFound.
class CredentialStore {
 public:
  static constexpr std::size_t kMaxFieldBytes = 255;

  virtual ~CredentialStore() = default;

  // A short description for logs: "Secret Service", "file /path/Credentials.plist", "memory".
  virtual std::string description() const = 0;

  CredentialResult find(const std::string& service, const std::string& account);
  // Adds a new item; Error when an item for (service, account) exists already.
  CredentialResult add(const std::string& service, const std::string& account, const std::string& secret);
  // Replaces the secret of the existing item; NotFound when there is none.
  CredentialResult update(const std::string& service, const std::string& account, const std::string& secret);
  // Deletes the item; NotFound when there is none.
  CredentialResult remove(const std::string& service, const std::string& account);

  // The store of this process, made on first use and said once in the connection log:
  // ZAVRO_PLATFORM=sim gives an in-memory store; otherwise the Secret Service when one answers on the
  // session bus, else the file store "Credentials.plist" in the support folder.
  static std::shared_ptr<CredentialStore> systemStore();

 protected:
  virtual CredentialResult doFind(const std::string& service, const std::string& account) = 0;
  virtual CredentialResult doAdd(const std::string& service, const std::string& account, const std::string& secret) = 0;
  virtual CredentialResult doUpdate(const std::string& service, const std::string& account,
                                    const std::string& secret) = 0;
  virtual CredentialResult doRemove(const std::string& service, const std::string& account) = 0;
};

}  // namespace zavro
