// The shared record across processes: concurrent updates, a holder killed with the lock, kills mid-save.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "runtime/Process.h"
#include "sqm/SqmRecord.h"
#include "sqm/SqmStore.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

const std::string kChild = std::string(ZAVRO_TEST_BIN_DIR) + "/sqm_test_child";

class SqmProcesses : public ::testing::Test {
 protected:
  ProcessOptions childOptions() const {
    ProcessOptions o;
    o.pipeStdout = true;
    o.extraEnvironment = env.childEnvironment();
    return o;
  }
  // Reads one line from the child's standard output.
  static std::string readLine(Process& p) {
    std::string line;
    char c;
    while (::read(p.stdoutFd(), &c, 1) == 1 && c != '\n') {
      line += c;
    }
    return line;
  }
  int counter() const {
    std::map<std::string, std::string> fields;
    EXPECT_TRUE(readSqmStore(SqmRecord::sqmPath(0, "SqmRecord.plist"), fields));
    return std::atoi(fields["Counter"].c_str());
  }

  test::TestEnvironment env;
};

TEST_F(SqmProcesses, ConcurrentUpdatesAreNeverLost) {
  constexpr int kChildren = 4;
  constexpr int kUpdates = 40;
  std::vector<std::unique_ptr<Process>> children;
  for (int i = 0; i < kChildren; ++i) {
    children.push_back(Process::start(kChild, {"increment", std::to_string(kUpdates)}, childOptions()));
    ASSERT_TRUE(children.back());
  }
  // This process takes part too.
  for (int i = 0; i < kUpdates; ++i) {
    auto r = SqmRecord::sharedRecord();
    r->setInteger(r->integerForKey("Counter") + 1, "Counter");
    r->releaseSharedLock();
  }
  for (auto& c : children) {
    EXPECT_EQ(c->wait(), 0);
  }
  EXPECT_EQ(counter(), (kChildren + 1) * kUpdates);
}

TEST_F(SqmProcesses, HolderKilledWithTheLockIsBrokenAfterFiveSeconds) {
  auto holder = Process::start(kChild, {"hold"}, childOptions());
  ASSERT_TRUE(holder);
  ASSERT_EQ(readLine(*holder), "held");
  holder->kill(SIGKILL);
  holder->wait();
  auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<Process>> children;
  for (int i = 0; i < 2; ++i) {
    children.push_back(Process::start(kChild, {"increment", "10"}, childOptions()));
  }
  for (auto& c : children) {
    EXPECT_EQ(c->wait(), 0);
  }
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 4.5);
  EXPECT_LT(waited, 30.0);
  EXPECT_EQ(counter(), 20);
}

TEST_F(SqmProcesses, KillDuringSaveNeverLeavesABrokenRecord) {
  std::mt19937 rng(7);
  std::string path = SqmRecord::sqmPath(0, "SqmRecord.plist");
  for (int round = 0; round < 8; ++round) {
    auto saver = Process::start(kChild, {"save-loop"}, childOptions());
    ASSERT_TRUE(saver);
    ASSERT_EQ(readLine(*saver), "saving");
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 80));
    saver->kill(SIGKILL);
    saver->wait();
    std::map<std::string, std::string> fields;
    if (test::fileExists(path)) {
      ASSERT_TRUE(readSqmStore(path, fields)) << "round " << round;
      EXPECT_EQ(fields.size(), 200u);
    }
  }
}

}  // namespace
}  // namespace zavro
