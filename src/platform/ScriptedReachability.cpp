// Scripted reachability answers for tests and the demo.
#include "platform/ScriptedReachability.h"

namespace zavro {

ScriptedReachability::ScriptedReachability(std::optional<std::uint32_t> answer) : mAnswer(answer) {}

void ScriptedReachability::setAnswer(std::optional<std::uint32_t> answer) {
  std::lock_guard lock(mMutex);
  mAnswer = answer;
}

void ScriptedReachability::queueAnswer(std::optional<std::uint32_t> answer) {
  std::lock_guard lock(mMutex);
  mQueue.push_back(answer);
}

int ScriptedReachability::checks() const {
  std::lock_guard lock(mMutex);
  return static_cast<int>(mHosts.size());
}

std::vector<std::string> ScriptedReachability::hosts() const {
  std::lock_guard lock(mMutex);
  return mHosts;
}

std::optional<std::uint32_t> ScriptedReachability::checkReachabilityByName(const std::string& host) {
  std::lock_guard lock(mMutex);
  mHosts.push_back(host);
  if (!mQueue.empty()) {
    auto answer = mQueue.front();
    mQueue.pop_front();
    return answer;
  }
  return mAnswer;
}

}  // namespace zavro
