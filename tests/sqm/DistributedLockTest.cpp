// DistributedLock: exclusive entries, stale entries broken at 5 s, waiting in steps, safe release.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <thread>

#include "runtime/DistributedLock.h"
#include "support/TempDir.h"

namespace zavro {
namespace {

using Clock = std::chrono::steady_clock;

void ageEntry(const std::string& path, double seconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  timespec times[2];
  times[0] = times[1] = now;
  times[0].tv_sec -= static_cast<time_t>(seconds);
  times[1].tv_sec -= static_cast<time_t>(seconds);
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(DistributedLock, ExclusiveUntilReleased) {
  test::TempDir dir;
  DistributedLock a(dir.file("x.lock"));
  DistributedLock b(dir.file("x.lock"));
  EXPECT_TRUE(a.tryLock());
  EXPECT_TRUE(a.isHeld());
  EXPECT_FALSE(b.tryLock());
  EXPECT_TRUE(a.lockDate().has_value());
  a.unlock();
  EXPECT_FALSE(test::fileExists(dir.file("x.lock")));
  EXPECT_TRUE(b.tryLock());
}

TEST(DistributedLock, EntryTenSecondsOldIsBrokenAtOnce) {
  test::TempDir dir;
  std::string path = dir.write("old.lock", "4242\n");
  ageEntry(path, 10);
  DistributedLock lock(path);
  auto start = Clock::now();
  ASSERT_TRUE(lock.lock(5.0, 0.25, 3.0));
  EXPECT_LT(secondsSince(start), 0.2);
}

TEST(DistributedLock, YoungEntryIsWaitedForInSteps) {
  test::TempDir dir;
  std::string path = dir.write("young.lock", "4242\n");
  ageEntry(path, 1);
  DistributedLock lock(path);
  // Not broken while younger than 5 s.
  auto start = Clock::now();
  EXPECT_FALSE(lock.lock(5.0, 0.25, 0.6));
  EXPECT_GE(secondsSince(start), 0.6);
  EXPECT_TRUE(test::fileExists(path));
  // Released by its holder after a while: taken at the next step.
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::unlink(path.c_str());
  });
  start = Clock::now();
  ASSERT_TRUE(lock.lock(5.0, 0.25, 5.0));
  double waited = secondsSince(start);
  holder.join();
  EXPECT_GE(waited, 0.4);
  EXPECT_LT(waited, 1.5);
}

TEST(DistributedLock, BrokenHolderDoesNotRemoveItsSuccessor) {
  test::TempDir dir;
  std::string path = dir.file("s.lock");
  DistributedLock first(path);
  ASSERT_TRUE(first.tryLock());
  ageEntry(path, 6);
  DistributedLock second(path);
  ASSERT_TRUE(second.lock(5.0, 0.25, 2.0));  // breaks first's stale entry
  first.unlock();                            // must not remove second's entry
  EXPECT_TRUE(test::fileExists(path));
  DistributedLock third(path);
  EXPECT_FALSE(third.tryLock());
  second.unlock();
  EXPECT_TRUE(third.tryLock());
}

}  // namespace
}  // namespace zavro
