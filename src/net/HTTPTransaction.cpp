// HTTPTransaction on the libcurl engine.
#include "net/HTTPTransaction.h"

#include <strings.h>

#include <cctype>
#include <limits>

#include "net/CurlTransfer.h"
#include "net/TransportDefaults.h"
#include "platform/ProxySettings.h"

namespace zavro {

namespace {

bool isWebURL(const std::string& url) {
  detail::ensureCurlInitialised();
  CURLU* handle = curl_url();
  if (handle == nullptr) {
    return false;
  }
  bool ok = false;
  if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
      ok = (strcasecmp(scheme, "http") == 0 || strcasecmp(scheme, "https") == 0) && host[0] != '\0';
    }
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(handle);
  return ok;
}

// Leading digits after optional white space; 0 for anything else (negative numbers included).
uint64_t parseLength(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
    ++i;
  }
  if (i < text.size() && text[i] == '+') {
    ++i;
  }
  uint64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
      return 0;
    }
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::shared_ptr<HTTPTransaction> HTTPTransaction::transaction() {
  return std::make_shared<HTTPTransaction>();
}

std::shared_ptr<HTTPTransaction> HTTPTransaction::transactionForURL(const std::string& url, const std::string& method) {
  auto transaction = HTTPTransaction::transaction();
  transaction->setupRequestForURL(url, method);
  return transaction;
}

HTTPTransaction::HTTPTransaction() {
  TransportDefaults defaults = TransportDefaults::current();
  mMaxBodyBytes = defaults.maxBodyBytes;
  mCACertificatesFile = defaults.caCertificatesFile;
  mProxySettings = defaults.proxySettings;
}

HTTPTransaction::~HTTPTransaction() = default;

bool HTTPTransaction::setupRequestForURL(const std::string& url, const std::string& method) {
  mAbortFlag = false;
  mWasPartialTransaction = false;
  mStreamError = {};
  mStreamErrorText.clear();
  mTargetURL = url;
  mRequestMethod = method;
  mRequestVersion = "HTTP/1.0";
  mRequestHeaders.clear();
  // A body belongs to one request: a GET set up after a POST must not carry the POST's body.
  mRequestBody.reset();
  mRequestReady = detail::isHTTPToken(method) && isWebURL(url);
  return mRequestReady;
}

void HTTPTransaction::setRequestHeader(const std::string& name, const std::string& value) {
  if (!detail::isSafeHeader(name, value)) {
    return;
  }
  for (auto& header : mRequestHeaders) {
    if (strcasecmp(header.first.c_str(), name.c_str()) == 0) {
      header = {name, value};
      return;
    }
  }
  mRequestHeaders.emplace_back(name, value);
}

void HTTPTransaction::setRequestBody(std::string bytes) {
  mRequestBody = std::move(bytes);
}

void HTTPTransaction::setTimeout(uint32_t seconds) {
  mTimeout = std::chrono::seconds(seconds);
}

uint32_t HTTPTransaction::getTimeout() const {
  auto seconds = std::chrono::ceil<std::chrono::seconds>(mTimeout).count();
  return static_cast<uint32_t>(std::min<int64_t>(seconds, std::numeric_limits<uint32_t>::max()));
}

bool HTTPTransaction::continueStreaming(size_t) {
  return true;
}

long HTTPTransaction::performTransactionOnce(bool useProxies) {
  mHttpResponse.reset();
  mResponseBody.clear();
  mWasPartialTransaction = false;
  mStreamError = {};
  mStreamErrorText.clear();

  long result = -1;
  if (mRequestReady) {
    detail::TransferRequest request;
    request.url = mTargetURL;
    request.method = mRequestMethod;
    request.headers = mRequestHeaders;
    request.body = mRequestBody;
    request.caCertificatesFile = mCACertificatesFile;
    request.silenceTimeout = mTimeout;
    request.maxBodyBytes = mMaxBodyBytes;
    if (useProxies) {
      // This may block (PAC); an abort meanwhile is caught before the connection is opened.
      auto settings = mProxySettings ? mProxySettings : ProxySettings::systemProxySettings();
      if (settings) {
        request.proxy = settings->proxyForURL(mTargetURL);
      }
    }

    detail::CurlTransfer transfer(request, mResponseBody, [this](size_t count) { return continueStreaming(count); });
    bool opened = false;
    {
      std::lock_guard lock(mStreamLock);
      if (!mAbortFlag && transfer.valid()) {
        mLiveTransfer = &transfer;
        transfer.open();
        opened = true;
      }
    }
    if (opened) {
      detail::TransferOutcome outcome = transfer.run(mAbortFlag);
      {
        std::lock_guard lock(mStreamLock);
        mLiveTransfer = nullptr;
      }
      mHttpResponse = std::move(outcome.head);
      mWasPartialTransaction = outcome.end != detail::TransferEnd::Complete;
      mStreamError = outcome.error;
      mStreamErrorText = std::move(outcome.errorText);
      if ((!mWasPartialTransaction || mPartialTransactionOkay) && mHttpResponse) {
        result = mHttpResponse->statusCode();
      }
    } else if (!transfer.valid()) {
      mStreamError = transfer.setupError().error;
      mStreamErrorText = transfer.setupError().errorText;
    }
  }
  return mAbortFlag ? -2 : result;
}

void HTTPTransaction::abortTransaction() {
  mAbortFlag = true;
  std::lock_guard lock(mStreamLock);
  if (mLiveTransfer != nullptr) {
    mLiveTransfer->wakeup();
  }
}

std::string HTTPTransaction::getResponseStatusLine() const {
  return mHttpResponse ? mHttpResponse->statusLine() : std::string();
}

long HTTPTransaction::getResponseStatusCode() const {
  return mHttpResponse ? mHttpResponse->statusCode() : -1;
}

std::optional<std::string> HTTPTransaction::getResponseHeader(const std::string& name) const {
  if (!mHttpResponse) {
    return std::string();
  }
  return mHttpResponse->header(name);
}

uint64_t HTTPTransaction::contentLengthOfURL(const std::string& url) {
  auto transaction = transactionForURL(url, "HEAD");
  if (transaction->performTransaction(true) != 200) {
    return 0;
  }
  auto length = transaction->getResponseHeader("Content-Length");
  return length ? parseLength(*length) : 0;
}

}  // namespace zavro
