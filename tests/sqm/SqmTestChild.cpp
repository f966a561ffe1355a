// Test helper run as a separate process: applies SQM updates under the shared record lock.
//   sqm_test_child increment N    N read-modify-write updates of the "Counter" field
//   sqm_test_child hold           takes the record lock, prints "held", then sleeps until killed
//   sqm_test_child save-loop      saves a large record over and over until killed
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sqm/SqmRecord.h"
#include "sqm/SqmStore.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    return 2;
  }
  std::string mode = argv[1];
  if (mode == "increment" && argc > 2) {
    int n = std::atoi(argv[2]);
    for (int i = 0; i < n; ++i) {
      auto record = zavro::SqmRecord::sharedRecord();
      if (!record->lockIsHeld()) {
        return 3;
      }
      record->setInteger(record->integerForKey("Counter") + 1, "Counter");
      record->releaseSharedLock();
    }
    return 0;
  }
  if (mode == "hold") {
    auto lock = zavro::SqmRecord::acquireSharedLockForFile("SqmRecord.plist");
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) {
      ::pause();
    }
  }
  if (mode == "save-loop") {
    std::string path = zavro::SqmRecord::sqmPath(0, "SqmRecord.plist");
    std::printf("saving\n");
    std::fflush(stdout);
    for (unsigned i = 0;; ++i) {
      std::map<std::string, std::string> fields;
      for (int k = 0; k < 200; ++k) {
        fields["Key" + std::to_string(k)] =
            std::string(200, static_cast<char>('a' + (i + static_cast<unsigned>(k)) % 26));
      }
      zavro::writeSqmStore(path, fields);
    }
  }
  return 2;
}
