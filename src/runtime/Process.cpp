// Process: posix_spawn with pipes; no shell is ever involved.
#include "runtime/Process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>

extern char** environ;

namespace zavro {

namespace {

void closeFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

std::string readToEnd(int& fd) {
  std::string out;
  if (fd < 0) {
    return out;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  closeFd(fd);
  return out;
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> byName;
  std::vector<std::string> order;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (byName.emplace(name, entry).second) {
      order.push_back(name);
    }
  }
  for (const auto& entry : extra) {
    std::string name = entry.substr(0, entry.find('='));
    if (byName.count(name) == 0) {
      order.push_back(name);
    }
    byName[name] = entry;
  }
  std::vector<std::string> out;
  out.reserve(order.size());
  for (const auto& name : order) {
    out.push_back(byName[name]);
  }
  return out;
}

}  // namespace

std::unique_ptr<Process> Process::start(const std::string& program, const std::vector<std::string>& args,
                                        const Options& options) {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  auto closeAll = [&] {
    for (int* p : {in, out, err}) {
      closeFd(p[0]);
      closeFd(p[1]);
    }
  };
  if ((options.pipeStdin && ::pipe2(in, O_CLOEXEC) != 0) || (options.pipeStdout && ::pipe2(out, O_CLOEXEC) != 0) ||
      (options.pipeStderr && ::pipe2(err, O_CLOEXEC) != 0)) {
    closeAll();
    return nullptr;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.pipeStdin) {
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (options.pipeStdout) {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  }
  if (options.pipeStderr) {
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  } else if (options.stderrToStdout) {
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  if (options.workingDirectory) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory->c_str());
  }

  // The child starts with default signal dispositions and an empty mask, whatever this process set.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> argvStrings;
  argvStrings.push_back(program);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStrings) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  std::vector<char*> envp;
  char** envToUse = environ;
  if (!options.extraEnvironment.empty()) {
    envStrings = mergedEnvironment(options.extraEnvironment);
    for (auto& e : envStrings) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    envToUse = envp.data();
  }

  pid_t pid = -1;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), envToUse)
               : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envToUse);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    closeAll();
    return nullptr;
  }

  std::unique_ptr<Process> process(new Process);
  process->mPid = pid;
  closeFd(in[0]);
  closeFd(out[1]);
  closeFd(err[1]);
  process->mStdin = in[1];
  process->mStdout = out[0];
  process->mStderr = err[0];
  return process;
}

int Process::run(const std::string& program, const std::vector<std::string>& args) {
  auto process = start(program, args);
  return process ? process->wait() : -1;
}

int Process::runCapturing(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input, std::string& output, const Options& options) {
  Options opts = options;
  opts.pipeStdin = true;
  opts.pipeStdout = true;
  auto process = start(program, args, opts);
  output.clear();
  if (!process) {
    return -1;
  }
  // Feed and drain together so a child that writes a lot before reading cannot deadlock us.
  size_t written = 0;
  if (input.empty()) {
    process->closeStdin();
  } else {
    ::fcntl(process->mStdin, F_SETFL, ::fcntl(process->mStdin, F_GETFL) | O_NONBLOCK);
  }
  char buffer[65536];
  while (process->mStdout >= 0) {
    pollfd fds[2];
    int count = 0;
    fds[count++] = {process->mStdout, POLLIN, 0};
    if (process->mStdin >= 0) {
      fds[count++] = {process->mStdin, POLLOUT, 0};
    }
    if (::poll(fds, static_cast<nfds_t>(count), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if (count == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      ssize_t n = ::write(process->mStdin, input.data() + written, input.size() - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        process->closeStdin();
      } else if (written == input.size()) {
        process->closeStdin();
      }
    }
    if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
      ssize_t n = ::read(process->mStdout, buffer, sizeof buffer);
      if (n > 0) {
        output.append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        closeFd(process->mStdout);
      }
    }
  }
  process->closeStdin();
  return process->wait();
}

Process::~Process() {
  closeFd(mStdin);
  closeFd(mStdout);
  closeFd(mStderr);
  if (!mStatus && mPid > 0) {
    // A child nobody waited for is reaped here so it does not linger as a zombie.
    int raw = 0;
    while (::waitpid(mPid, &raw, 0) < 0 && errno == EINTR) {
    }
  }
}

bool Process::writeStdin(const std::string& data) {
  if (mStdin < 0) {
    return false;
  }
  // A child that has gone away must not kill us with SIGPIPE.
  sigset_t pipeSet;
  sigset_t old;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = ::write(mStdin, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!ok && errno == EPIPE) {
    // Consume the pending SIGPIPE before unblocking.
    timespec zero{0, 0};
    sigtimedwait(&pipeSet, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

void Process::closeStdin() { closeFd(mStdin); }

std::string Process::readAllStdout() { return readToEnd(mStdout); }
std::string Process::readAllStderr() { return readToEnd(mStderr); }

void Process::record(int raw) {
  if (WIFEXITED(raw)) {
    mStatus = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    mSignal = WTERMSIG(raw);
    mStatus = 128 + mSignal;
  } else {
    mStatus = -1;
  }
}

int Process::wait() {
  if (mStatus) {
    return *mStatus;
  }
  int raw = 0;
  for (;;) {
    pid_t r = ::waitpid(mPid, &raw, 0);
    if (r == mPid) {
      record(raw);
      break;
    }
    if (r < 0 && errno != EINTR) {
      mStatus = -1;
      break;
    }
  }
  return *mStatus;
}

std::optional<int> Process::tryWait() {
  if (mStatus) {
    return mStatus;
  }
  int raw = 0;
  pid_t r = ::waitpid(mPid, &raw, WNOHANG);
  if (r == mPid) {
    record(raw);
  }
  return mStatus;
}

bool Process::kill(int signal) {
  if (mStatus || mPid <= 0) {
    return false;
  }
  return ::kill(mPid, signal) == 0;
}

}  // namespace zavro
