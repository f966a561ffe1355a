// FinalSaveGuard: the once-only final save and the SIGTERM/SIGHUP watcher that triggers it.
#include "settings/FinalSave.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "settings/UserPrefs.h"

namespace zavro {

namespace {

std::once_flag gSaveOnce;
bool gSaveResult = true;

// The signal handler may only write to this pipe; everything else happens on the watcher thread.
int gPipe[2] = {-1, -1};
std::thread gWatcher;
struct sigaction gOldTerm {};
struct sigaction gOldHup {};

constexpr char kQuit = 0;

void onSignal(int signal) {
  int saved = errno;
  char byte = static_cast<char>(signal);
  [[maybe_unused]] ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

void watch() {
  for (;;) {
    char byte = kQuit;
    ssize_t n = ::read(gPipe[0], &byte, 1);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0 || byte == kQuit) {
      return;
    }
    int signal = static_cast<unsigned char>(byte);
    runFinalSave();
    // End the way the signal would have ended the process.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(signal, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::kill(::getpid(), signal);
    // Not reached unless the signal is blocked in every thread; make sure the process still ends.
    ::_exit(128 + signal);
  }
}

}  // namespace

bool runFinalSave() {
  std::call_once(gSaveOnce, [] {
    if (auto prefs = UserPrefs::existingUserPrefs()) {
      gSaveResult = prefs->applicationWillTerminate();
    }
  });
  return gSaveResult;
}

FinalSaveGuard::FinalSaveGuard() {
  if (gPipe[0] >= 0 || ::pipe2(gPipe, O_CLOEXEC) != 0) {
    return;  // one guard per process; a second one only adds the save at its end
  }
  gWatcher = std::thread(watch);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, &gOldTerm);
  ::sigaction(SIGHUP, &action, &gOldHup);
}

FinalSaveGuard::~FinalSaveGuard() {
  runFinalSave();
  if (gWatcher.joinable()) {
    ::sigaction(SIGTERM, &gOldTerm, nullptr);
    ::sigaction(SIGHUP, &gOldHup, nullptr);
    char quit = kQuit;
    [[maybe_unused]] ssize_t n = ::write(gPipe[1], &quit, 1);
    gWatcher.join();
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
  }
}

}  // namespace zavro
