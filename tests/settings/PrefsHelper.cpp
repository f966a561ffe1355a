// A second program over the same preferences: sets or reads a value, or waits for a signal, then exits.
//
//   prefs_helper --config <dir> set <section> <key> <value>   (saved by the final save at exit)
//   prefs_helper --config <dir> get <section> <key>           (prints the value, or "(none)")
//   prefs_helper --config <dir> wait <section> <key> <value>  (sets, prints "ready", waits for a signal)
//   prefs_helper store                                        (prints the credential store in use)
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/CredentialStore.h"
#include "runtime/Environment.h"
#include "settings/FinalSave.h"
#include "settings/UserPrefs.h"

int main(int argc, char** argv) {
  zavro::FinalSaveGuard finalSave;
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--config") == 0) {
    auto env = zavro::Environment::fromProcess();
    env.setConfigDir(argv[i + 1]);
    zavro::Environment::install(env);
    i += 2;
  }
  if (i >= argc) {
    std::fprintf(stderr, "prefs_helper: no command\n");
    return 2;
  }
  std::string command = argv[i];
  if (command == "store") {
    std::printf("%s\n", zavro::CredentialStore::systemStore()->description().c_str());
    return 0;
  }
  if ((command == "set" || command == "wait") && i + 3 < argc) {
    zavro::UserPrefs::userPrefs()->setObject(zavro::PropertyList(argv[i + 3]), argv[i + 2], argv[i + 1]);
    if (command == "wait") {
      std::printf("ready\n");
      std::fflush(stdout);
      for (;;) {
        ::pause();
      }
    }
    return 0;
  }
  if (command == "get" && i + 2 < argc) {
    auto value = zavro::UserPrefs::userPrefs()->stringForKey(argv[i + 2], argv[i + 1]);
    std::printf("%s\n", value ? value->c_str() : "(none)");
    return 0;
  }
  std::fprintf(stderr, "prefs_helper: bad arguments\n");
  return 2;
}
