// Child processes started without a shell: argument vector, optional pipes, wait and exit status.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zavro {

struct ProcessOptions {
  bool pipeStdin = false;   // else /dev/null
  bool pipeStdout = false;  // else inherited
  bool pipeStderr = false;  // else inherited
  bool stderrToStdout = false;
  std::optional<std::string> workingDirectory;
  // Extra NAME=value entries added to (or replacing those of) this process's environment.
  std::vector<std::string> extraEnvironment;
};

class Process {
 public:
  using Options = ProcessOptions;


  // Starts `program` (a path; a bare name is searched in PATH) with argv[0] = program and `args`
  // after it. Returns null when it cannot be started (missing file, not executable, ...).
  static std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& args,
                                        const Options& options);
  static std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& args) {
    return start(program, args, Options{});
  }

  // Runs to the end and returns the exit status; -1 when the program cannot be started.
  static int run(const std::string& program, const std::vector<std::string>& args);

  // Runs to the end, feeding `input` to standard input and collecting standard output.
  // Returns the exit status (-1 when it cannot start) and fills `output`.
  static int runCapturing(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, std::string& output, const Options& options = {});

  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return mPid; }
  int stdinFd() const { return mStdin; }
  int stdoutFd() const { return mStdout; }
  int stderrFd() const { return mStderr; }

  // Writes all of `data` to the child's standard input; false when the pipe is closed or absent.
  bool writeStdin(const std::string& data);
  void closeStdin();
  // Reads standard output to its end.
  std::string readAllStdout();
  std::string readAllStderr();

  // Waits for the child to end. Exit status: the exit code, or 128 + signal number when a signal
  // ended it. Waiting twice returns the same status.
  int wait();
  // Non-blocking: the status when the child has ended.
  std::optional<int> tryWait();
  bool signalled() const { return mSignal != 0; }
  int terminatingSignal() const { return mSignal; }
  // Sends a signal; false when the child has already been reaped.
  bool kill(int signal);

 private:
  Process() = default;
  void record(int rawStatus);

  pid_t mPid = -1;
  int mStdin = -1;
  int mStdout = -1;
  int mStderr = -1;
  std::optional<int> mStatus;
  int mSignal = 0;
};

}  // namespace zavro
