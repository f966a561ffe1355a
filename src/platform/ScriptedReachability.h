// A reachability backend whose answers a test or the demo sets; it records the hosts asked about.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Reachability.h"

namespace zavro {

// Answers first from the queue (one answer per check), then the standing answer. Safe from any thread.
class ScriptedReachability final : public Reachability {
 public:
  explicit ScriptedReachability(std::optional<std::uint32_t> answer = kReachabilityReachable);

  void setAnswer(std::optional<std::uint32_t> answer);
  void queueAnswer(std::optional<std::uint32_t> answer);
  int checks() const;
  std::vector<std::string> hosts() const;

  std::optional<std::uint32_t> checkReachabilityByName(const std::string& host) override;

 private:
  mutable std::mutex mMutex;
  std::optional<std::uint32_t> mAnswer;
  std::deque<std::optional<std::uint32_t>> mQueue;
  std::vector<std::string> mHosts;
};

}  // namespace zavro
