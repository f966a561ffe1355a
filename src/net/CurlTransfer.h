// One HTTP exchange on a private libcurl multi handle: the engine under HTTPTransaction and Transaction.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/HTTPResponseHead.h"
#include "net/StreamError.h"

namespace zavro::detail {

// libcurl's process-wide set-up, done once (thread-safe: libcurl here is built thread-safe).
void ensureCurlInitialised();

// Whether `method` can stand on a request line (an HTTP token).
bool isHTTPToken(const std::string& method);

// Whether a request header can be sent as given: a token as name, no line breaks or NUL in the value.
bool isSafeHeader(const std::string& name, const std::string& value);

struct TransferRequest {
  std::string url;
  std::string method = "GET";
  std::vector<std::pair<std::string, std::string>> headers;  // sent as given (unsafe ones are left out)
  std::optional<std::string> body;
  std::string proxy;                            // "" = direct, and no proxy from the environment either
  std::string caCertificatesFile;               // "" = the system's CA bundle
  std::chrono::milliseconds silenceTimeout{0};  // end when nothing arrived for this long; 0 = never
  std::chrono::milliseconds timeLimit{0};       // end when the whole exchange took this long; 0 = never
  uint64_t maxBodyBytes = 0;  // end (keeping exactly this many bytes) when the body grows past it; 0 = no limit
};

enum class TransferEnd {
  Complete,           // the response ended normally
  Failed,             // a transport error (see the outcome's error)
  Aborted,            // the abort flag was seen
  SilenceTimeout,     // nothing arrived for silenceTimeout
  TimeLimit,          // the exchange ran for timeLimit
  StoppedByReceiver,  // the chunk callback answered false
  BodyLimit,          // the body passed maxBodyBytes
};

struct TransferOutcome {
  TransferEnd end = TransferEnd::Failed;
  std::optional<HTTPResponseHead> head;  // the last complete response head received
  StreamError error;
  std::string errorText;  // libcurl's description of a transport error, for logs
};

// Built on the performing thread, opened and run there; only wakeup() may be called from elsewhere,
// and only while the object lives (the owner guards that with its own lock).
class CurlTransfer {
 public:
  // Called after each chunk has been appended to `body`, with its size; false ends the transfer.
  using ChunkCallback = std::function<bool(size_t)>;

  CurlTransfer(const TransferRequest& request, std::string& body, ChunkCallback afterChunk);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // False when the handles could not be made or an option was refused (see setupError()).
  bool valid() const { return mValid; }
  const TransferOutcome& setupError() const { return mSetupError; }

  // From here on the transfer may resolve and connect.
  void open();
  // Drives the transfer to its end. `abortFlag` is looked at on every turn and after every wakeup().
  TransferOutcome run(const std::atomic<bool>& abortFlag);
  // Any thread: makes run() look at the abort flag at once.
  void wakeup();

 private:
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onBody(char* data, size_t size, size_t count, void* self);
  StreamError mapError(CURLcode code) const;

  CURL* mEasy = nullptr;
  CURLM* mMulti = nullptr;
  curl_slist* mHeaderList = nullptr;
  bool mValid = false;
  bool mAdded = false;
  TransferOutcome mSetupError;
  std::string& mBody;
  ChunkCallback mAfterChunk;
  std::optional<std::string> mRequestBody;
  std::chrono::milliseconds mSilenceTimeout;
  std::chrono::milliseconds mTimeLimit;
  uint64_t mMaxBodyBytes;
  std::chrono::steady_clock::time_point mLastActivity;
  std::optional<TransferEnd> mStoppedBy;
  std::optional<HTTPResponseHead> mPendingHead;
  std::optional<HTTPResponseHead> mHead;
  char mErrorBuffer[256] = {};
};

}  // namespace zavro::detail
