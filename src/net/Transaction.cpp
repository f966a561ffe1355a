// Transaction on the libcurl engine, and its URL and meta-refresh helpers.
#include "net/Transaction.h"

#include <strings.h>

#include <atomic>
#include <cctype>

#include "common/HTMLParsers.h"
#include "common/StringReplacement.h"
#include "common/StringTokenizers.h"
#include "net/CurlTransfer.h"
#include "net/TransportDefaults.h"
#include "platform/ProxySettings.h"

namespace zavro {

namespace {

// An owned libcurl URL handle.
class URLHandle {
 public:
  URLHandle() : mHandle(curl_url()) {}
  ~URLHandle() { curl_url_cleanup(mHandle); }
  URLHandle(const URLHandle&) = delete;
  URLHandle& operator=(const URLHandle&) = delete;

  bool set(const std::string& url) {
    return mHandle != nullptr && curl_url_set(mHandle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  }
  std::optional<std::string> get(CURLUPart part, unsigned flags = 0) const {
    char* value = nullptr;
    if (mHandle == nullptr || curl_url_get(mHandle, part, &value, flags) != CURLUE_OK) {
      return std::nullopt;
    }
    std::string text(value);
    curl_free(value);
    return text;
  }
  bool hasHost() const {
    auto host = get(CURLUPART_HOST);
    return host && !host->empty();
  }

 private:
  CURLU* mHandle;
};

std::string upperCase(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

}  // namespace

std::shared_ptr<Transaction> Transaction::transactionWithMethod(const std::string& method, const std::string& url) {
  return std::make_shared<Transaction>(method, url);
}

std::shared_ptr<Transaction> Transaction::transactionWithMethod(const std::string& method, const std::string& url,
                                                                const std::string& userAgent) {
  auto transaction = transactionWithMethod(method, url);
  transaction->addHeader("User-Agent", userAgent);
  return transaction;
}

Transaction::Transaction(std::string method, std::string url)
    : mRequestURL(std::move(url)), mMethod(std::move(method)) {
  TransportDefaults defaults = TransportDefaults::current();
  mMaxBodyBytes = defaults.maxBodyBytes;
  mCACertificatesFile = defaults.caCertificatesFile;
  mProxySettings = defaults.proxySettings;
}

void Transaction::addHeader(const std::string& name, const std::string& value) {
  if (!detail::isSafeHeader(name, value)) {
    return;
  }
  for (auto& header : mHeaders) {
    if (strcasecmp(header.first.c_str(), name.c_str()) == 0) {
      header = {name, value};
      return;
    }
  }
  mHeaders.emplace_back(name, value);
}

bool Transaction::performTransactionWithBody(const std::optional<std::string>& body) {
  mResponse.reset();
  mResponseData.clear();
  mResponseString.reset();
  mComplete = false;
  mStreamError = {};
  mStreamErrorText.clear();
  if (!detail::isHTTPToken(mMethod)) {
    return false;
  }

  detail::TransferRequest request;
  request.url = mRequestURL;
  request.method = mMethod;
  request.headers = mHeaders;
  request.body = body;
  request.caCertificatesFile = mCACertificatesFile;
  request.timeLimit = mTimeLimit;
  request.maxBodyBytes = mMaxBodyBytes;
  if (mUseProxies) {
    auto settings = mProxySettings ? mProxySettings : ProxySettings::systemProxySettings();
    if (settings) {
      request.proxy = settings->proxyForURL(mRequestURL);
    }
  }

  detail::CurlTransfer transfer(request, mResponseData, nullptr);
  if (!transfer.valid()) {
    mStreamError = transfer.setupError().error;
    mStreamErrorText = transfer.setupError().errorText;
    return false;
  }
  const std::atomic<bool> neverAborted{false};
  transfer.open();
  detail::TransferOutcome outcome = transfer.run(neverAborted);
  mResponse = std::move(outcome.head);
  mStreamError = outcome.error;
  mStreamErrorText = std::move(outcome.errorText);
  if (outcome.end == detail::TransferEnd::Complete && mResponse) {
    mComplete = true;
    mResponseString = mResponseData;
  }
  return mComplete;
}

unsigned Transaction::statusCode() const {
  return mResponse ? static_cast<unsigned>(mResponse->statusCode()) : 0;
}

std::optional<std::string> Transaction::getResponseHeader(const std::string& name) const {
  return mResponse ? mResponse->header(name) : std::nullopt;
}

std::optional<std::string> Transaction::redirectURL() const {
  auto location = getResponseHeader("Location");
  if (!location || location->empty()) {
    return std::nullopt;
  }
  return makeAbsoluteURL(*location);
}

bool Transaction::metaRefresh(std::optional<std::string>& url, std::optional<std::string>* content) const {
  url.reset();
  if (content != nullptr) {
    content->reset();
  }
  if (!mResponseString) {
    return false;
  }
  // The first META tag with both HTTP-EQUIV and CONTENT whose HTTP-EQUIV is "refresh" in any case.
  const auto tags = strings::CannonicalHTMLTags(*mResponseString);
  const auto metas = tags.find("META");
  if (metas == tags.end()) {
    return false;
  }
  const std::string* refresh = nullptr;
  for (const auto& tag : metas->second) {
    auto equiv = tag.find("HTTP-EQUIV");
    auto tagContent = tag.find("CONTENT");
    if (equiv != tag.end() && tagContent != tag.end() && upperCase(equiv->second) == "REFRESH") {
      refresh = &tagContent->second;
      break;
    }
  }
  if (refresh == nullptr) {
    return false;
  }
  std::vector<std::string> parts = strings::componentsSeparatedByString(*refresh, "; ");
  if (parts.size() != 2) {
    return false;
  }
  std::string target = strings::replace(parts[1], "URL=", "");
  if (target.empty()) {
    return false;
  }
  auto absolute = makeAbsoluteURL(target);
  if (!absolute) {
    return false;
  }
  url = std::move(absolute);
  if (content != nullptr) {
    *content = parts[0];
  }
  return true;
}

std::optional<std::string> Transaction::makeAbsoluteURL(const std::string& link) const {
  detail::ensureCurlInitialised();
  {
    URLHandle candidate;
    if (candidate.set(link) && candidate.hasHost()) {
      return candidate.get(CURLUPART_URL);
    }
  }
  URLHandle base;
  if (!base.set(mRequestURL) || !base.hasHost()) {
    return std::nullopt;
  }
  auto scheme = base.get(CURLUPART_SCHEME);
  auto host = base.get(CURLUPART_HOST);
  auto port = base.get(CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (!scheme || !host || !port) {
    return std::nullopt;
  }

  if (link.rfind("//", 0) == 0) {
    URLHandle result;
    if (!result.set(*scheme + ":" + link) || !result.hasHost()) {
      return std::nullopt;
    }
    return result.get(CURLUPART_URL);
  }
  if (link.rfind('/', 0) == 0) {
    // The port is written out even when it is the scheme's default.
    std::string joined = *scheme + "://" + *host + ":" + *port + link;
    URLHandle result;
    if (!result.set(joined)) {
      return std::nullopt;
    }
    return joined;
  }
  // Any other relative reference: libcurl resolves it against the URL already in the handle.
  if (!base.set(link)) {
    return std::nullopt;
  }
  return base.get(CURLUPART_URL);
}

}  // namespace zavro
