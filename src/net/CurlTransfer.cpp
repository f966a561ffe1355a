// The libcurl engine: request set-up, the poll loop with its silence watchdog and time limit, aborts.
#include "net/CurlTransfer.h"

#include <openssl/x509_vfy.h>
#include <strings.h>

#include <algorithm>
#include <mutex>

namespace zavro::detail {

namespace {

using Clock = std::chrono::steady_clock;

// Longest single wait in the loop; the deadlines and wakeup() cut it short, this only bounds the
// damage of a clock surprise.
constexpr std::chrono::milliseconds kMaxPoll{1000};

bool isTokenChar(char c) {
  if (c >= 'a' && c <= 'z') return true;
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= '0' && c <= '9') return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool hasHeader(const std::vector<std::pair<std::string, std::string>>& headers, const char* name) {
  return std::any_of(headers.begin(), headers.end(),
                     [name](const auto& header) { return strcasecmp(header.first.c_str(), name) == 0; });
}

}  // namespace

void ensureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isHTTPToken(const std::string& method) {
  return !method.empty() && std::all_of(method.begin(), method.end(), isTokenChar);
}

bool isSafeHeader(const std::string& name, const std::string& value) {
  return isHTTPToken(name) && value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

CurlTransfer::CurlTransfer(const TransferRequest& request, std::string& body, ChunkCallback afterChunk)
    : mBody(body),
      mAfterChunk(std::move(afterChunk)),
      mRequestBody(request.body),
      mSilenceTimeout(request.silenceTimeout),
      mTimeLimit(request.timeLimit),
      mMaxBodyBytes(request.maxBodyBytes) {
  ensureCurlInitialised();
  mEasy = curl_easy_init();
  mMulti = curl_multi_init();
  if (mEasy == nullptr || mMulti == nullptr) {
    mSetupError.error = {kStreamErrorDomainTransport, CURLE_FAILED_INIT};
    mSetupError.errorText = "cannot create a transfer";
    return;
  }

  for (const auto& [name, value] : request.headers) {
    if (!isSafeHeader(name, value)) {
      continue;
    }
    // "Name;" is libcurl's way of sending a header with an empty value ("Name:" would remove it).
    std::string line = value.empty() ? name + ";" : name + ": " + value;
    mHeaderList = curl_slist_append(mHeaderList, line.c_str());
  }
  // Without this libcurl labels every body as a form; the request carries only the caller's headers.
  if (mRequestBody && !hasHeader(request.headers, "Content-Type")) {
    mHeaderList = curl_slist_append(mHeaderList, "Content-Type:");
  }

  CURLcode code = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (code == CURLE_OK) {
      code = curl_easy_setopt(mEasy, option, value);
    }
  };
  set(CURLOPT_ERRORBUFFER, mErrorBuffer);
  set(CURLOPT_URL, request.url.c_str());
  // Only the web: a Location or refresh target taken from a page must never open a local file.
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_NOSIGNAL, 1L);
  // An empty string also stops libcurl from taking http_proxy and friends from the environment.
  set(CURLOPT_PROXY, request.proxy.c_str());
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (!request.caCertificatesFile.empty()) {
    set(CURLOPT_CAINFO, request.caCertificatesFile.c_str());
  }
  set(CURLOPT_BUFFERSIZE, 8192L);
  set(CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
  set(CURLOPT_HEADERDATA, this);
  set(CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_HTTPHEADER, mHeaderList);

  if (request.method == "HEAD") {
    set(CURLOPT_NOBODY, 1L);
  } else if (request.method == "GET" && !mRequestBody) {
    set(CURLOPT_HTTPGET, 1L);
  }
  if (mRequestBody) {
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(mRequestBody->size()));
    set(CURLOPT_POSTFIELDS, mRequestBody->data());
  }
  if (request.method != "GET" && request.method != "HEAD" && !(request.method == "POST" && mRequestBody)) {
    set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
  } else if (request.method == "GET" && mRequestBody) {
    set(CURLOPT_CUSTOMREQUEST, "GET");
  }
  if (code != CURLE_OK) {
    mSetupError.error = {kStreamErrorDomainTransport, code};
    mSetupError.errorText = curl_easy_strerror(code);
    return;
  }
  mValid = true;
}

CurlTransfer::~CurlTransfer() {
  if (mAdded) {
    curl_multi_remove_handle(mMulti, mEasy);
  }
  if (mEasy != nullptr) {
    curl_easy_cleanup(mEasy);
  }
  if (mMulti != nullptr) {
    curl_multi_cleanup(mMulti);
  }
  curl_slist_free_all(mHeaderList);
}

void CurlTransfer::open() {
  if (mValid && !mAdded) {
    mLastActivity = Clock::now();
    mAdded = curl_multi_add_handle(mMulti, mEasy) == CURLM_OK;
  }
}

void CurlTransfer::wakeup() {
  if (mMulti != nullptr) {
    curl_multi_wakeup(mMulti);
  }
}

size_t CurlTransfer::onHeader(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  size_t length = size * count;
  transfer->mLastActivity = Clock::now();
  std::string line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  if (line.rfind("HTTP/", 0) == 0) {
    // A new head (after an interim 1xx one) replaces what came before.
    transfer->mPendingHead = HTTPResponseHead::fromStatusLine(line);
  } else if (line.empty()) {
    if (transfer->mPendingHead) {
      transfer->mHead = std::move(transfer->mPendingHead);
      transfer->mPendingHead.reset();
    }
  } else if (transfer->mPendingHead) {
    transfer->mPendingHead->addHeaderLine(line);
  }
  return length;
}

size_t CurlTransfer::onBody(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  size_t length = size * count;
  if (length == 0) {
    return 0;
  }
  transfer->mLastActivity = Clock::now();
  if (transfer->mMaxBodyBytes != 0 && transfer->mBody.size() + length > transfer->mMaxBodyBytes) {
    transfer->mBody.append(data, transfer->mMaxBodyBytes - transfer->mBody.size());
    transfer->mStoppedBy = TransferEnd::BodyLimit;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer->mBody.append(data, length);
  if (transfer->mAfterChunk && !transfer->mAfterChunk(length)) {
    transfer->mStoppedBy = TransferEnd::StoppedByReceiver;
    return CURL_WRITEFUNC_ERROR;
  }
  return length;
}

StreamError CurlTransfer::mapError(CURLcode code) const {
  if (code == CURLE_PEER_FAILED_VERIFICATION) {
    long verify = X509_V_OK;
    curl_easy_getinfo(mEasy, CURLINFO_SSL_VERIFYRESULT, &verify);
    switch (verify) {
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return {kStreamErrorDomainSSL, kStreamErrorSSLNoRootCert};
      default:
        break;
    }
  }
  if (code == CURLE_COULDNT_CONNECT) {
    long osErrno = 0;
    if (curl_easy_getinfo(mEasy, CURLINFO_OS_ERRNO, &osErrno) == CURLE_OK && osErrno != 0) {
      return {kStreamErrorDomainPOSIX, static_cast<int32_t>(osErrno)};
    }
  }
  return {kStreamErrorDomainTransport, static_cast<int32_t>(code)};
}

TransferOutcome CurlTransfer::run(const std::atomic<bool>& abortFlag) {
  TransferOutcome outcome;
  if (!mValid) {
    return mSetupError;
  }
  if (!mAdded) {
    outcome.end = TransferEnd::Failed;
    outcome.error = {kStreamErrorDomainTransport, CURLE_FAILED_INIT};
    outcome.errorText = "cannot start the transfer";
    return outcome;
  }
  const Clock::time_point start = Clock::now();
  std::optional<TransferEnd> end;
  while (!end) {
    if (abortFlag.load()) {
      end = TransferEnd::Aborted;
      break;
    }
    int running = 0;
    CURLMcode multiCode = curl_multi_perform(mMulti, &running);
    if (multiCode != CURLM_OK) {
      end = TransferEnd::Failed;
      outcome.error = {kStreamErrorDomainTransport, CURLE_FAILED_INIT};
      outcome.errorText = curl_multi_strerror(multiCode);
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(mMulti, &queued)) {
      if (message->msg != CURLMSG_DONE) {
        continue;
      }
      CURLcode result = message->data.result;
      if (mStoppedBy) {
        end = mStoppedBy;
      } else if (result == CURLE_OK) {
        end = TransferEnd::Complete;
      } else {
        end = TransferEnd::Failed;
        outcome.error = mapError(result);
        outcome.errorText = mErrorBuffer[0] != '\0' ? mErrorBuffer : curl_easy_strerror(result);
      }
    }
    if (end) {
      break;
    }
    if (abortFlag.load()) {
      end = TransferEnd::Aborted;
      break;
    }

    const Clock::time_point now = Clock::now();
    Clock::time_point deadline = now + kMaxPoll;
    if (mSilenceTimeout.count() > 0) {
      const Clock::time_point silenceEnd = mLastActivity + mSilenceTimeout;
      if (now >= silenceEnd) {
        end = TransferEnd::SilenceTimeout;
        break;
      }
      deadline = std::min(deadline, silenceEnd);
    }
    if (mTimeLimit.count() > 0) {
      const Clock::time_point limitEnd = start + mTimeLimit;
      if (now >= limitEnd) {
        end = TransferEnd::TimeLimit;
        break;
      }
      deadline = std::min(deadline, limitEnd);
    }
    // Round up so that the loop does not spin through the last millisecond before a deadline.
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    curl_multi_poll(mMulti, nullptr, 0, static_cast<int>(std::max<int64_t>(wait.count(), 1)), nullptr);
  }
  outcome.end = *end;
  outcome.head = mHead;
  return outcome;
}

}  // namespace zavro::detail
