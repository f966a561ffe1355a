// One synchronous HTTP/1.0 request with a silence watchdog, aborts from other threads and a chunk hook.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/HTTPResponseHead.h"
#include "net/StreamError.h"

namespace zavro {

class ProxySettings;
namespace detail {
class CurlTransfer;
}

// Performs a request on the calling thread and keeps the whole response in memory. Nothing else of
// that thread runs meanwhile. Requests go out as HTTP/1.0 with the caller's method, headers and body;
// redirections are returned, never followed.
//
// Result of performTransaction*: the response's status code (4xx and 5xx included, their bodies
// collected); -1 when no usable response came (the request could not be set up, the connection
// failed, no complete response head arrived, or the transfer was partial and partial transactions
// are not allowed); -2 when the transaction was aborted, whatever else happened.
//
// Partial: the transfer ended before the end of the response: the silence watchdog fired, the hook
// returned false, the body passed the body limit, a transport error, or an abort.
//
// Threads: one thread performs; abortTransaction() may be called from any thread at any time while
// the object lives. Everything else belongs to the performing thread.
class HTTPTransaction {
 public:
  static constexpr uint32_t kDefaultTimeoutSeconds = 60;

  static std::shared_ptr<HTTPTransaction> transaction();
  static std::shared_ptr<HTTPTransaction> transactionForURL(const std::string& url, const std::string& method);

  // Starts from TransportDefaults::current() (CA bundle, body limit, proxy source).
  HTTPTransaction();
  virtual ~HTTPTransaction();
  HTTPTransaction(const HTTPTransaction&) = delete;
  HTTPTransaction& operator=(const HTTPTransaction&) = delete;

  // A fresh request for `url` ("http" or "https") with `method`: clears the abort and partial flags
  // and the stream error, forgets the headers and the body set before. False (and no request) when
  // the URL does not parse as an http(s) URL or the method is not an HTTP token.
  bool setupRequestForURL(const std::string& url, const std::string& method);
  // Sets (replaces) one header. A name that is not a token, or a value with a line break or NUL,
  // is refused so that page content can never inject request lines.
  void setRequestHeader(const std::string& name, const std::string& value);
  void setRequestBody(std::string bytes);

  // The silence watchdog: the transaction ends when nothing has arrived for this long (every chunk,
  // head lines included, re-arms it). 60 seconds after creation; 0 turns it off.
  void setTimeout(uint32_t seconds);
  uint32_t getTimeout() const;
  // The same with a finer grain (tests, tools).
  void setTimeoutInterval(std::chrono::milliseconds interval) { mTimeout = interval; }
  std::chrono::milliseconds getTimeoutInterval() const { return mTimeout; }

  void setAllowPartialTransaction(bool allow) { mPartialTransactionOkay = allow; }
  bool getAllowPartialTransaction() const { return mPartialTransactionOkay; }
  bool wasPartialTransaction() const { return mWasPartialTransaction; }

  // Body limit (see TransportDefaults); 0 means none.
  void setMaxBodyBytes(uint64_t bytes) { mMaxBodyBytes = bytes; }
  uint64_t getMaxBodyBytes() const { return mMaxBodyBytes; }
  // PEM bundle of trusted CAs; "" for the system's.
  void setCACertificatesFile(std::string path) { mCACertificatesFile = std::move(path); }
  // Where "with proxies" looks (the settings of the active network); empty for the system's.
  void setProxySettings(std::shared_ptr<ProxySettings> settings) { mProxySettings = std::move(settings); }

  // With proxies.
  long performTransaction() { return performTransaction(true); }
  // useProxies true: the proxy the proxy settings give for the URL, if any. false: no proxy at all,
  // not even one from the process environment.
  long performTransaction(bool useProxies) { return performTransactionOnce(useProxies); }
  long performTransactionOnce(bool useProxies);

  // Ends a running transaction at once (it returns -2); before it opens its connection, it returns
  // -2 without connecting. Any thread.
  void abortTransaction();

  // Called on the performing thread after each received chunk has been appended to the body, with
  // its size. Returning false ends the transaction at once; it then counts as partial.
  virtual bool continueStreaming(size_t byteCount);

  // After a transaction. Without a response head: "", -1, "" and an empty body.
  std::string getResponseStatusLine() const;
  long getResponseStatusCode() const;
  // "" without a response head; empty when the head lacks the header.
  std::optional<std::string> getResponseHeader(const std::string& name) const;
  const std::string& getResponseBody() const { return mResponseBody; }
  const std::optional<HTTPResponseHead>& getResponseHead() const { return mHttpResponse; }
  // The last transport error (see StreamError.h); 0/0 when there was none.
  StreamError getCFStreamError() const { return mStreamError; }
  // libcurl's description of that error, for logs; "" when there was none.
  const std::string& getStreamErrorText() const { return mStreamErrorText; }

  const std::string& getURL() const { return mTargetURL; }
  const std::string& getMethod() const { return mRequestMethod; }

  // HEAD with proxies; the "Content-Length" of a 200 answer, 0 for any other result or when the
  // header is missing or not a number.
  static uint64_t contentLengthOfURL(const std::string& url);

 private:
  std::string mTargetURL;
  std::string mRequestMethod;
  std::string mRequestVersion = "HTTP/1.0";
  bool mRequestReady = false;
  std::vector<std::pair<std::string, std::string>> mRequestHeaders;
  std::optional<std::string> mRequestBody;

  std::optional<HTTPResponseHead> mHttpResponse;
  std::string mResponseBody;
  bool mWasPartialTransaction = false;
  StreamError mStreamError;
  std::string mStreamErrorText;

  std::chrono::milliseconds mTimeout{std::chrono::seconds(kDefaultTimeoutSeconds)};
  bool mPartialTransactionOkay = false;
  uint64_t mMaxBodyBytes;
  std::string mCACertificatesFile;
  std::shared_ptr<ProxySettings> mProxySettings;

  std::atomic<bool> mAbortFlag{false};
  // Guards mLiveTransfer: checking the abort flag and opening happen under it, so an abort is never
  // lost between the two, and abortTransaction() never wakes a transfer that is being torn down.
  std::mutex mStreamLock;
  detail::CurlTransfer* mLiveTransfer = nullptr;
};

}  // namespace zavro
