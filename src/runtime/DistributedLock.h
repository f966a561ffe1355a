// A lock shared between processes through a lock entry in the file system, broken when left stale.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace zavro {

// The lock entry is a file created atomically (O_CREAT|O_EXCL): taking the lock fails while it
// exists. Its modification time is the time it was taken. A holder that crashed leaves the entry
// behind; waiters break an entry that is at least `breakAfter` seconds old.
//
// Breaking is made safe against the races of the naive "remove and create" scheme: the breaker
// renames the stale entry away (only one breaker can win that rename) and checks that what it moved
// is the entry it judged stale; release removes the entry only while it is still ours, so a holder
// whose lock was broken never removes its successor's.
class DistributedLock {
 public:
  explicit DistributedLock(std::string path);
  ~DistributedLock();  // releases the lock if held
  DistributedLock(const DistributedLock&) = delete;
  DistributedLock& operator=(const DistributedLock&) = delete;

  const std::string& path() const { return mPath; }

  // One attempt; true when the lock is now held by this object.
  bool tryLock();
  // Waits in steps of `step` seconds, breaking an entry at least `breakAfter` seconds old.
  // Returns true once held; false when `timeout` (seconds, negative = none) passes first or when the
  // entry cannot be created for another reason than its existence (missing folder, permissions).
  bool lock(double breakAfter = 5.0, double step = 0.25, double timeout = -1);
  void unlock();
  bool isHeld() const { return mHeld; }

  // The time (seconds since the Unix epoch) the current entry was taken, by whoever holds it.
  std::optional<double> lockDate() const;
  // Removes the entry whoever holds it, if it is still the entry last seen as stale.
  bool breakLock();

 private:
  std::string mPath;
  bool mHeld = false;
  int mLastError = 0;
  std::string mToken;
  dev_t mDev = 0;
  ino_t mIno = 0;
};

}  // namespace zavro
