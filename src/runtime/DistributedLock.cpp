// DistributedLock: create-exclusive lock entries with safe breaking of stale ones.
#include "runtime/DistributedLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace zavro {

namespace {

double nowSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double mtimeOf(const struct stat& st) {
  return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

std::string uniqueSideName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, ".broken.%d.%u", static_cast<int>(::getpid()), counter++);
  return path + buffer;
}

std::string makeToken() {
  static std::atomic<unsigned> counter{0};
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  char text[96];
  std::snprintf(text, sizeof text, "%d %ld.%09ld %u\n", static_cast<int>(::getpid()), static_cast<long>(ts.tv_sec),
                ts.tv_nsec, counter++);
  return text;
}

// The entry's content (small; more than 256 bytes is not one of ours).
std::string readEntry(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return {};
  }
  char buffer[256];
  ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

DistributedLock::DistributedLock(std::string path) : mPath(std::move(path)) {}

DistributedLock::~DistributedLock() {
  unlock();
}

bool DistributedLock::tryLock() {
  if (mHeld) {
    return true;
  }
  int fd = ::open(mPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    mLastError = errno;
    return false;
  }
  mLastError = 0;
  // The entry names its holder (which helps whoever finds one left behind) and carries a token of
  // its own: inode numbers are reused at once, so only the content tells our entry from a successor.
  mToken = makeToken();
  ssize_t written = ::write(fd, mToken.data(), mToken.size());
  (void)written;
  struct stat st {};
  ::fstat(fd, &st);
  ::close(fd);
  mDev = st.st_dev;
  mIno = st.st_ino;
  mHeld = true;
  return true;
}

bool DistributedLock::lock(double breakAfter, double step, double timeout) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (tryLock()) {
      return true;
    }
    if (mLastError != EEXIST) {
      return false;  // no lock folder, no permission: waiting cannot help
    }
    struct stat st {};
    if (::stat(mPath.c_str(), &st) == 0 && nowSeconds() - mtimeOf(st) >= breakAfter) {
      breakLock();
      continue;  // try again at once
    }
    if (timeout >= 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= timeout) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(step));
  }
}

void DistributedLock::unlock() {
  if (!mHeld) {
    return;
  }
  mHeld = false;
  struct stat st {};
  if (::stat(mPath.c_str(), &st) == 0 && st.st_dev == mDev && st.st_ino == mIno && readEntry(mPath) == mToken) {
    ::unlink(mPath.c_str());
  }
}

std::optional<double> DistributedLock::lockDate() const {
  struct stat st {};
  if (::stat(mPath.c_str(), &st) != 0) {
    return std::nullopt;
  }
  return mtimeOf(st);
}

bool DistributedLock::breakLock() {
  struct stat seen {};
  if (::stat(mPath.c_str(), &seen) != 0) {
    return errno == ENOENT;
  }
  const std::string seenToken = readEntry(mPath);
  const std::string side = uniqueSideName(mPath);
  if (::rename(mPath.c_str(), side.c_str()) != 0) {
    return false;  // someone else broke or released it first
  }
  struct stat moved {};
  if (::stat(side.c_str(), &moved) == 0 &&
      (moved.st_dev != seen.st_dev || moved.st_ino != seen.st_ino || readEntry(side) != seenToken)) {
    // Between our look and our rename the stale entry was replaced by a live one: put it back.
    if (::link(side.c_str(), mPath.c_str()) != 0) {
      ::unlink(side.c_str());
      return false;
    }
    ::unlink(side.c_str());
    return false;
  }
  ::unlink(side.c_str());
  if (mHeld && seenToken == mToken) {
    mHeld = false;
  }
  return true;
}

}  // namespace zavro
