// PersistentDomain: loading with the damaged-file rule, and the atomic whole-file write.
#include "runtime/PersistentDomain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/LogFile.h"
#include "runtime/AtomicFile.h"
#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

std::string errnoText() {
  return std::strerror(errno);
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult readWhole(const std::string& path, std::string& bytes, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      return ReadResult::Missing;
    }
    error = errnoText();
    return ReadResult::Failed;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
    ::close(fd);
    return ReadResult::Failed;
  }
  bytes.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      error = errnoText();
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) {
      break;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ReadResult::Ok;
}

}  // namespace

PersistentDomain::PersistentDomain(std::string path, std::string description)
    : mPath(std::move(path)), mDescription(std::move(description)) {
  load();
}

std::shared_ptr<PersistentDomain> PersistentDomain::standardDomain() {
  static ProcessWide<PersistentDomain> domain(
      [] { return std::make_shared<PersistentDomain>(Environment::current()->preferencesFile()); });
  return domain.get();
}

void PersistentDomain::load() {
  std::string bytes;
  std::string error;
  switch (readWhole(mPath, bytes, error)) {
    case ReadResult::Missing:
      return;
    case ReadResult::Failed:
      mMustNotOverwrite = true;
      ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath + " cannot be read (" + error +
                                             "); starting empty and leaving the file as it is");
      return;
    case ReadResult::Ok:
      break;
  }
  if (bytes.empty()) {
    return;
  }
  auto parsed = PropertyList::fromXML(bytes, &error);
  if (parsed && parsed->isDictionary()) {
    mDomain = std::move(*parsed->dictionary());
    return;
  }
  if (parsed) {
    error = "its top level is not a dictionary";
  }
  std::string aside = mPath + ".corrupt";
  if (::rename(mPath.c_str(), aside.c_str()) == 0) {
    mMovedAside = aside;
    ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath + " is damaged (" + error +
                                           "); moved it aside as " + aside + " and started empty");
  } else {
    mMustNotOverwrite = true;
    ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath + " is damaged (" + error +
                                           ") and cannot be moved aside (" + errnoText() +
                                           "); starting empty and leaving the file as it is");
  }
}

PropertyList::Dictionary PersistentDomain::persistentDomain() const {
  std::lock_guard lock(mMutex);
  return mDomain;
}

std::optional<PropertyList> PersistentDomain::objectForKey(const std::string& key) const {
  std::lock_guard lock(mMutex);
  auto it = mDomain.find(key);
  if (it == mDomain.end()) {
    return std::nullopt;
  }
  return it->second;
}

void PersistentDomain::setObject(const std::string& key, PropertyList value) {
  std::lock_guard lock(mMutex);
  mDomain.insert_or_assign(key, std::move(value));
}

void PersistentDomain::removeObjectForKey(const std::string& key) {
  std::lock_guard lock(mMutex);
  mDomain.erase(key);
}

bool PersistentDomain::synchronize() {
  std::lock_guard lock(mMutex);
  if (mMustNotOverwrite) {
    ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath +
                                           " was not written: it holds data that could not be read");
    return false;
  }
  std::string error;
  auto xml = PropertyList(mDomain).toXML(&error);
  if (!xml) {
    ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath + " was not written: " + error);
    return false;
  }
  if (!writeFileAtomically(mPath, *xml, 0600, &error)) {
    ConnectionLog::connectionLog()->stdLog(mDescription + " " + mPath + " was not written: " + error);
    return false;
  }
  return true;
}

std::optional<std::string> PersistentDomain::movedAsidePath() const {
  std::lock_guard lock(mMutex);
  return mMovedAside;
}

}  // namespace zavro
