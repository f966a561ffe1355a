// Runs the user preferences' final save once per process: at normal exit and when the session ends.
#pragma once

namespace zavro {

// Programs keep one guard in main() for as long as they run:
//
//   int main() { zavro::FinalSaveGuard finalSave; ... }
//
// Leaving main runs UserPrefs::applicationWillTerminate() on the process-wide instance, if one was
// made. SIGTERM (sent to every process of the session when the system powers off or the user logs
// out) and SIGHUP (the terminal or session going away) run the same save on a helper thread and then
// end the process with the signal's default action, so the exit status still says what ended it.
// The save runs at most once, however these meet.
class FinalSaveGuard {
 public:
  FinalSaveGuard();
  ~FinalSaveGuard();
  FinalSaveGuard(const FinalSaveGuard&) = delete;
  FinalSaveGuard& operator=(const FinalSaveGuard&) = delete;
};

// The save itself, at most once per process (also for programs, such as the Qt application, that
// hook it to their own quit signal). True when it ran now and the write succeeded, or nothing needed
// saving.
bool runFinalSave();

}  // namespace zavro
