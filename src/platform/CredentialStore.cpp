// CredentialStore: the shared length rules, the choice of backend, and the file and memory backends.
#include "platform/CredentialStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/LogFile.h"
#include "platform/CredentialStoreBackends.h"
#include "runtime/AtomicFile.h"
#include "runtime/Environment.h"
#include "runtime/PersistentDomain.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

std::optional<std::string> tooLong(const std::string& service, const std::string& account, const std::string* secret) {
  if (service.size() > CredentialStore::kMaxFieldBytes) {
    return "service name longer than 255 bytes";
  }
  if (account.size() > CredentialStore::kMaxFieldBytes) {
    return "account name longer than 255 bytes";
  }
  if (secret != nullptr && secret->size() > CredentialStore::kMaxFieldBytes) {
    return "secret longer than 255 bytes";
  }
  return std::nullopt;
}

}  // namespace

CredentialResult CredentialStore::find(const std::string& service, const std::string& account) {
  if (auto why = tooLong(service, account, nullptr)) {
    return CredentialResult::failure(*why);
  }
  return doFind(service, account);
}

CredentialResult CredentialStore::add(const std::string& service, const std::string& account,
                                      const std::string& secret) {
  if (auto why = tooLong(service, account, &secret)) {
    return CredentialResult::failure(*why);
  }
  return doAdd(service, account, secret);
}

CredentialResult CredentialStore::update(const std::string& service, const std::string& account,
                                         const std::string& secret) {
  if (auto why = tooLong(service, account, &secret)) {
    return CredentialResult::failure(*why);
  }
  return doUpdate(service, account, secret);
}

CredentialResult CredentialStore::remove(const std::string& service, const std::string& account) {
  if (auto why = tooLong(service, account, nullptr)) {
    return CredentialResult::failure(*why);
  }
  return doRemove(service, account);
}

std::shared_ptr<CredentialStore> CredentialStore::systemStore() {
  static ProcessWide<CredentialStore> store([]() -> std::shared_ptr<CredentialStore> {
    auto log = ConnectionLog::connectionLog();
    const char* platform = std::getenv("ZAVRO_PLATFORM");
    if (platform != nullptr && std::strcmp(platform, "sim") == 0) {
      log->stdLog("Credential store: memory (simulated platform; nothing is kept after exit)");
      return std::make_shared<MemoryCredentialStore>();
    }
    std::string error;
    if (auto secretService = SecretServiceCredentialStore::connect(&error)) {
      log->stdLog("Credential store: Secret Service");
      return secretService;
    }
    auto file = std::make_shared<FileCredentialStore>(Environment::current()->supportDir() + "/Credentials.plist");
    log->stdLog("Credential store: " + file->description() + " (no Secret Service: " + error + ")");
    return file;
  });
  return store.get();
}

// ---- file backend ----

FileCredentialStore::FileCredentialStore(std::string path) : mPath(std::move(path)) {}

namespace {

// flock() on a companion file: the store itself is replaced by rename on every write, so it cannot
// carry the lock.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    mFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (mFd >= 0) {
      while (::flock(mFd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (mFd >= 0) {
      ::close(mFd);  // releases the lock
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int mFd = -1;
};

const char* const kFileDescription = "Credential file";

}  // namespace

CredentialResult FileCredentialStore::doFind(const std::string& service, const std::string& account) {
  std::lock_guard guard(mMutex);
  FileLock lock(mPath + ".lock");
  PersistentDomain domain(mPath, kFileDescription);
  auto accounts = domain.objectForKey(service);
  const PropertyList* item = accounts ? accounts->find(account) : nullptr;
  if (item == nullptr) {
    return CredentialResult::missing();
  }
  if (const std::string* bytes = item->dataBytes()) {
    return CredentialResult::success(*bytes);
  }
  if (const std::string* text = item->string()) {
    return CredentialResult::success(*text);
  }
  return CredentialResult::failure("item of unexpected kind in " + mPath);
}

CredentialResult FileCredentialStore::change(Change kind, const std::string& service, const std::string& account,
                                             const std::string& secret) {
  std::lock_guard guard(mMutex);
  std::string error;
  if (!createParentFolders(mPath, &error)) {  // so that the lock file can be made
    return CredentialResult::failure(error);
  }
  FileLock lock(mPath + ".lock");
  PersistentDomain domain(mPath, kFileDescription);
  auto accountsValue = domain.objectForKey(service);
  PropertyList::Dictionary accounts;
  if (accountsValue && accountsValue->dictionary() != nullptr) {
    accounts = *accountsValue->dictionary();
  }
  bool present = accounts.count(account) != 0;
  switch (kind) {
    case Change::Add:
      if (present) {
        return CredentialResult::failure("an item for this account exists already");
      }
      accounts[account] = PropertyList::data(secret);
      break;
    case Change::Update:
      if (!present) {
        return CredentialResult::missing();
      }
      accounts[account] = PropertyList::data(secret);
      break;
    case Change::Remove:
      if (!present) {
        return CredentialResult::missing();
      }
      accounts.erase(account);
      break;
  }
  if (accounts.empty()) {
    domain.removeObjectForKey(service);
  } else {
    domain.setObject(service, PropertyList(std::move(accounts)));
  }
  if (!domain.synchronize()) {
    return CredentialResult::failure("cannot write " + mPath);
  }
  return CredentialResult::success();
}

CredentialResult FileCredentialStore::doAdd(const std::string& service, const std::string& account,
                                            const std::string& secret) {
  return change(Change::Add, service, account, secret);
}

CredentialResult FileCredentialStore::doUpdate(const std::string& service, const std::string& account,
                                               const std::string& secret) {
  return change(Change::Update, service, account, secret);
}

CredentialResult FileCredentialStore::doRemove(const std::string& service, const std::string& account) {
  return change(Change::Remove, service, account, {});
}

// ---- memory backend ----

void MemoryCredentialStore::setFailure(std::optional<std::string> error) {
  std::lock_guard lock(mMutex);
  mFailure = std::move(error);
}

int MemoryCredentialStore::findCount() const {
  std::lock_guard lock(mMutex);
  return mFindCount;
}

std::map<std::pair<std::string, std::string>, std::string> MemoryCredentialStore::items() const {
  std::lock_guard lock(mMutex);
  return mItems;
}

CredentialResult MemoryCredentialStore::doFind(const std::string& service, const std::string& account) {
  std::lock_guard lock(mMutex);
  ++mFindCount;
  if (mFailure) {
    return CredentialResult::failure(*mFailure);
  }
  auto it = mItems.find({service, account});
  return it == mItems.end() ? CredentialResult::missing() : CredentialResult::success(it->second);
}

CredentialResult MemoryCredentialStore::doAdd(const std::string& service, const std::string& account,
                                              const std::string& secret) {
  std::lock_guard lock(mMutex);
  if (mFailure) {
    return CredentialResult::failure(*mFailure);
  }
  if (!mItems.emplace(std::make_pair(service, account), secret).second) {
    return CredentialResult::failure("an item for this account exists already");
  }
  return CredentialResult::success();
}

CredentialResult MemoryCredentialStore::doUpdate(const std::string& service, const std::string& account,
                                                 const std::string& secret) {
  std::lock_guard lock(mMutex);
  if (mFailure) {
    return CredentialResult::failure(*mFailure);
  }
  auto it = mItems.find({service, account});
  if (it == mItems.end()) {
    return CredentialResult::missing();
  }
  it->second = secret;
  return CredentialResult::success();
}

CredentialResult MemoryCredentialStore::doRemove(const std::string& service, const std::string& account) {
  std::lock_guard lock(mMutex);
  if (mFailure) {
    return CredentialResult::failure(*mFailure);
  }
  return mItems.erase({service, account}) != 0 ? CredentialResult::success() : CredentialResult::missing();
}

}  // namespace zavro
