// Process: argument vectors without a shell, pipes, exit statuses, programs that cannot start.
#include <gtest/gtest.h>
#include <signal.h>

#include "runtime/Process.h"

namespace zavro {
namespace {

TEST(Process, ArgumentsReachTheChildVerbatim) {
  std::string out;
  // Shell metacharacters are plain bytes in an argument vector.
  int status = Process::runCapturing("/usr/bin/printf", {"%s|", "a b", "$HOME", "; rm -rf /", "'q'"}, "", out);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "a b|$HOME|; rm -rf /|'q'|");
}

TEST(Process, ExitStatusesAndSignals) {
  EXPECT_EQ(Process::run("/bin/sh", {"-c", "exit 0"}), 0);
  EXPECT_EQ(Process::run("/bin/sh", {"-c", "exit 2"}), 2);
  EXPECT_EQ(Process::run("/nonexistent/program", {}), -1);
  EXPECT_EQ(Process::run("no-such-program-anywhere", {}), -1);
  auto p = Process::start("/bin/sleep", {"30"});
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->tryWait().has_value());
  EXPECT_TRUE(p->kill(SIGKILL));
  EXPECT_EQ(p->wait(), 128 + SIGKILL);
  EXPECT_TRUE(p->signalled());
  EXPECT_EQ(p->wait(), 128 + SIGKILL);
  EXPECT_FALSE(p->kill(SIGTERM));
}

TEST(Process, StdinToStdoutRoundTrip) {
  std::string big(1 << 20, 'x');  // larger than a pipe buffer in both directions
  std::string out;
  EXPECT_EQ(Process::runCapturing("/bin/cat", {}, big, out), 0);
  EXPECT_EQ(out.size(), big.size());

  Process::Options options;
  options.pipeStdin = true;
  options.pipeStdout = true;
  auto p = Process::start("/bin/cat", {}, options);
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->writeStdin("line\n"));
  p->closeStdin();
  EXPECT_EQ(p->readAllStdout(), "line\n");
  EXPECT_EQ(p->wait(), 0);
}

TEST(Process, WritingToAChildThatExitedFailsWithoutKillingUs) {
  Process::Options options;
  options.pipeStdin = true;
  auto p = Process::start("/bin/true", {}, options);
  ASSERT_TRUE(p);
  p->wait();
  EXPECT_FALSE(p->writeStdin(std::string(1 << 17, 'y')));
}

TEST(Process, WorkingDirectoryAndEnvironment) {
  Process::Options options;
  options.workingDirectory = "/";
  options.extraEnvironment = {"ZAVRO_TEST_VALUE=42"};
  std::string out;
  EXPECT_EQ(Process::runCapturing("/bin/sh", {"-c", "pwd; echo $ZAVRO_TEST_VALUE"}, "", out, options), 0);
  EXPECT_EQ(out, "/\n42\n");
}

}  // namespace
}  // namespace zavro
