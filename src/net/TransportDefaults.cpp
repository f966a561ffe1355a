// The process-wide transport defaults.
#include "net/TransportDefaults.h"

#include <mutex>

#include "platform/ProxySettings.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

struct Holder {
  std::mutex mutex;
  TransportDefaults defaults;
};

ProcessWide<Holder> gDefaults([] { return std::make_shared<Holder>(); });

}  // namespace

TransportDefaults TransportDefaults::current() {
  auto holder = gDefaults.get();
  std::lock_guard lock(holder->mutex);
  return holder->defaults;
}

void TransportDefaults::setCurrent(TransportDefaults defaults) {
  auto holder = gDefaults.get();
  std::lock_guard lock(holder->mutex);
  holder->defaults = std::move(defaults);
}

}  // namespace zavro
