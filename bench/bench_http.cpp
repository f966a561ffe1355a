// Abort latency and silence-watchdog accuracy of HTTPTransaction against a loopback server.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/HTTPTransaction.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Answers every connection with a head and a first chunk, then either a chunk every 10 ms until the
// client goes ("/drip") or nothing at all ("/silent").
class LoopbackServer {
 public:
  LoopbackServer() {
    std::signal(SIGPIPE, SIG_IGN);
    mFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(mFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(mFd, 16);
    ::getsockname(mFd, reinterpret_cast<sockaddr*>(&address), &length);
    mPort = ntohs(address.sin_port);
    mAccept = std::thread([this] { acceptLoop(); });
  }
  ~LoopbackServer() {
    mStop = true;
    ::shutdown(mFd, SHUT_RDWR);
    mAccept.join();
    std::lock_guard lock(mMutex);
    for (auto& thread : mThreads) thread.join();
    ::close(mFd);
  }
  std::string url(const char* path) const { return "http://127.0.0.1:" + std::to_string(mPort) + path; }

 private:
  void acceptLoop() {
    while (!mStop) {
      int client = ::accept(mFd, nullptr, nullptr);
      if (client < 0) continue;
      std::lock_guard lock(mMutex);
      mThreads.emplace_back([this, client] { serve(client); });
    }
  }
  void serve(int client) {
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    bool drip = request.find("GET /drip") == 0;
    std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst";
    ::send(client, head.data(), head.size(), MSG_NOSIGNAL);
    while (!mStop) {
      std::this_thread::sleep_for(10ms);
      if (drip && ::send(client, "more", 4, MSG_NOSIGNAL) < 0) break;
      if (!drip && ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT) == 0) break;
    }
    ::close(client);
  }

  int mFd = -1;
  uint16_t mPort = 0;
  std::atomic<bool> mStop{false};
  std::thread mAccept;
  std::mutex mMutex;
  std::vector<std::thread> mThreads;
};

LoopbackServer& server() {
  static LoopbackServer instance;
  return instance;
}

// Notes when chunks arrive.
class TimedTransaction : public zavro::HTTPTransaction {
 public:
  bool continueStreaming(size_t) override {
    mLastChunk = Clock::now();
    mChunks.fetch_add(1);
    return true;
  }
  std::atomic<int> mChunks{0};
  Clock::time_point mLastChunk;
};

void setCounters(benchmark::State& state, std::vector<double>& samples, const char* unit) {
  std::sort(samples.begin(), samples.end());
  if (samples.empty()) return;
  state.counters[std::string("median_") + unit] = samples[samples.size() / 2];
  state.counters[std::string("p90_") + unit] = samples[samples.size() * 9 / 10];
  state.counters[std::string("max_") + unit] = samples.back();
}

// From abortTransaction() on another thread to performTransaction() returning, mid-transfer.
void BM_AbortLatency(benchmark::State& state) {
  std::vector<double> samples;
  for (auto _ : state) {
    TimedTransaction transaction;
    transaction.setupRequestForURL(server().url("/drip"), "GET");
    Clock::time_point abortedAt;
    std::thread aborter([&] {
      while (transaction.mChunks.load() < 3) std::this_thread::sleep_for(1ms);
      abortedAt = Clock::now();
      transaction.abortTransaction();
    });
    long result = transaction.performTransaction(false);
    Clock::time_point returnedAt = Clock::now();
    aborter.join();
    if (result != -2) state.SkipWithError("not aborted");
    double seconds = std::chrono::duration<double>(returnedAt - abortedAt).count();
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
  }
  setCounters(state, samples, "us");
}
BENCHMARK(BM_AbortLatency)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);

// How long after the period of silence the watchdog actually ends the transaction.
void BM_WatchdogOvershoot(benchmark::State& state) {
  const auto timeout = std::chrono::milliseconds(state.range(0));
  std::vector<double> samples;
  for (auto _ : state) {
    TimedTransaction transaction;
    transaction.setupRequestForURL(server().url("/silent"), "GET");
    transaction.setTimeoutInterval(timeout);
    long result = transaction.performTransaction(false);
    Clock::time_point returnedAt = Clock::now();
    if (result != -1 || !transaction.wasPartialTransaction()) state.SkipWithError("watchdog did not end it");
    double overshoot = std::chrono::duration<double>(returnedAt - transaction.mLastChunk - timeout).count();
    state.SetIterationTime(std::max(overshoot, 0.0));
    samples.push_back(overshoot * 1e3);
  }
  setCounters(state, samples, "ms");
}
BENCHMARK(BM_WatchdogOvershoot)->Arg(200)->Arg(1000)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
