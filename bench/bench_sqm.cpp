// Measures SQM events per second when several processes update the shared record at once.
//   bench_sqm [processes=4] [events-per-process=250]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/Environment.h"
#include "sqm/SqmRecord.h"

int main(int argc, char** argv) {
  int processes = argc > 1 ? std::atoi(argv[1]) : 4;
  int events = argc > 2 ? std::atoi(argv[2]) : 250;
  char templ[] = "/tmp/zavro-bench-sqm-XXXXXX";
  if (::mkdtemp(templ) == nullptr) {
    return 1;
  }
  std::string root = templ;
  zavro::Environment env = zavro::Environment::fromProcess();
  env.setDataHome(root + "/data").setTempDir(root + "/tmp").setConfigDir(root + "/conf");
  std::filesystem::create_directories(root + "/data");
  std::filesystem::create_directories(root + "/tmp");
  zavro::Environment::install(env);

  auto start = std::chrono::steady_clock::now();
  for (int p = 0; p < processes; ++p) {
    pid_t pid = ::fork();
    if (pid == 0) {
      for (int i = 0; i < events; ++i) {
        auto record = zavro::SqmRecord::sharedRecord();
        record->setInteger(record->integerForKey("Counter") + 1, "Counter");
        record->releaseSharedLock();
      }
      std::_Exit(0);
    }
  }
  int failed = 0;
  for (int p = 0; p < processes; ++p) {
    int status = 0;
    ::wait(&status);
    failed += (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 0 : 1;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  auto record = zavro::SqmRecord::sharedRecord();
  int counter = record->integerForKey("Counter");
  record->releaseSharedLock(false);
  int total = processes * events;
  std::printf("%d processes x %d events: %.2f s, %.0f events/s, counter %d of %d%s\n", processes, events, seconds,
              total / seconds, counter, total, failed ? " (children failed)" : "");
  std::filesystem::remove_all(root);
  return counter == total && failed == 0 ? 0 : 1;
}
