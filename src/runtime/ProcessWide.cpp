// The registry behind resetProcessWideObjects().
#include "runtime/ProcessWide.h"

#include <vector>

namespace zavro {

namespace {
struct Registry {
  std::mutex mutex;
  std::vector<std::function<void()>> resets;
};
Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: statics may register during exit
  return *r;
}
}  // namespace

void detail::registerProcessWideReset(std::function<void()> reset) {
  std::lock_guard lock(registry().mutex);
  registry().resets.push_back(std::move(reset));
}

void resetProcessWideObjects() {
  std::vector<std::function<void()>> resets;
  {
    std::lock_guard lock(registry().mutex);
    resets = registry().resets;
  }
  for (auto& reset : resets) {
    reset();
  }
}

}  // namespace zavro
