// One synchronous HTTP/1.0 request for the web-login code, bounded in total time, with redirect helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/HTTPResponseHead.h"
#include "net/StreamError.h"

namespace zavro {

class ProxySettings;

// Performs one request on the calling thread and keeps the whole response. Unlike HTTPTransaction
// the whole exchange is bounded (60 seconds), there is no abort, and redirects are only reported
// (redirectURL, metaRefresh), never followed. Used on one thread only.
class Transaction {
 public:
  static constexpr std::chrono::seconds kDefaultTimeLimit{60};

  static std::shared_ptr<Transaction> transactionWithMethod(const std::string& method, const std::string& url);
  static std::shared_ptr<Transaction> transactionWithMethod(const std::string& method, const std::string& url,
                                                            const std::string& userAgent);

  // Starts from TransportDefaults::current() (CA bundle, body limit, proxy source).
  Transaction(std::string method, std::string url);

  // Sets (replaces) one request header; unsafe names or values (line breaks, NUL) are refused.
  void addHeader(const std::string& name, const std::string& value);

  // Sends the request (with `body` when given) and waits for the whole response, for at most the
  // time limit. True when a complete response arrived in time. False for a transport failure, the
  // time limit, or a body past the body limit; statusCode() then tells whether a head had arrived.
  bool performTransactionWithBody(const std::optional<std::string>& body = std::nullopt);

  // The response's status code; 0 without a response head.
  unsigned statusCode() const;
  // Empty without a response head or without the header.
  std::optional<std::string> getResponseHeader(const std::string& name) const;
  // The "Location" header made absolute (makeAbsoluteURL); empty without a response, without the
  // header or with an empty one.
  std::optional<std::string> redirectURL() const;
  // The target of the page's META refresh, made absolute, and the text before "; " (the delay) in
  // `content` when asked for. Both are emptied first; false when the page has no usable refresh:
  // the CONTENT must be exactly two parts around "; " and the second, with "URL=" taken off its
  // ends, must not be empty.
  bool metaRefresh(std::optional<std::string>& url, std::optional<std::string>* content = nullptr) const;
  // The body as text (its bytes as they are); empty before a complete exchange.
  const std::optional<std::string>& responseString() const { return mResponseString; }
  const std::string& responseData() const { return mResponseData; }
  bool complete() const { return mComplete; }

  // A URL with a host is answered in absolute form as it stands. An absolute path ("/login") goes on
  // the request's scheme, host and port, the port always written out (the scheme's default, 80 or
  // 443, when the request named none): "http://h:80/login". "//host/path" takes the request's scheme.
  // Any other relative reference ("next.html", "?a=1") is resolved against the request URL as a
  // browser would. Empty when the result is not a URL.
  std::optional<std::string> makeAbsoluteURL(const std::string& link) const;

  const std::string& requestURL() const { return mRequestURL; }
  // The last transport error (see StreamError.h), 0/0 when there was none.
  StreamError getStreamError() const { return mStreamError; }
  const std::string& getStreamErrorText() const { return mStreamErrorText; }

  // The bound on the whole exchange; 60 seconds after creation.
  void setTimeLimit(std::chrono::milliseconds limit) { mTimeLimit = limit; }
  std::chrono::milliseconds getTimeLimit() const { return mTimeLimit; }
  // Whether the proxy settings are asked (true after creation); false means no proxy at all, not even
  // one from the process environment. The caller passes the user's setting here.
  void setUseProxies(bool use) { mUseProxies = use; }
  bool getUseProxies() const { return mUseProxies; }
  void setProxySettings(std::shared_ptr<ProxySettings> settings) { mProxySettings = std::move(settings); }
  void setCACertificatesFile(std::string path) { mCACertificatesFile = std::move(path); }
  void setMaxBodyBytes(uint64_t bytes) { mMaxBodyBytes = bytes; }

 private:
  std::string mRequestURL;
  std::string mMethod;
  std::vector<std::pair<std::string, std::string>> mHeaders;
  std::optional<HTTPResponseHead> mResponse;
  std::string mResponseData;
  std::optional<std::string> mResponseString;
  bool mComplete = false;
  StreamError mStreamError;
  std::string mStreamErrorText;

  std::chrono::milliseconds mTimeLimit{kDefaultTimeLimit};
  bool mUseProxies = true;
  std::shared_ptr<ProxySettings> mProxySettings;
  std::string mCACertificatesFile;
  uint64_t mMaxBodyBytes;
};

}  // namespace zavro
