// Shared set-up of the transport tests: a clean environment, no proxy unless a test asks, a stopwatch.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "net/TransportDefaults.h"
#include "platform/ProxySettings.h"
#include "support/TestEnvironment.h"

namespace zavro::test {

using namespace std::chrono_literals;

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Whatever the machine or CI has configured, requests "with proxies" go direct unless a test says.
    TransportDefaults defaults;
    defaults.proxySettings = std::make_shared<FixedProxySettings>();
    TransportDefaults::setCurrent(defaults);
  }

  TestEnvironment mEnvironment;
};

class Stopwatch {
 public:
  Stopwatch() : mStart(std::chrono::steady_clock::now()) {}
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - mStart);
  }

 private:
  std::chrono::steady_clock::time_point mStart;
};

}  // namespace zavro::test
