// The scripted loopback HTTP(S) server: accept loop, request parsing, paced answers, TLS.
#include "support/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace zavro::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{20};
constexpr size_t kMaxHead = 64 * 1024;

const char* reasonFor(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 408:
      return "Request Timeout";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::optional<std::string> HttpTestRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

size_t HttpTestRequest::headerCount(const std::string& name) const {
  return static_cast<size_t>(std::count_if(headers.begin(), headers.end(), [&](const auto& header) {
    return strcasecmp(header.first.c_str(), name.c_str()) == 0;
  }));
}

HttpTestResponse::HttpTestResponse(int status, std::string body) : mStatus(status), mBody(std::move(body)) {}

HttpTestResponse HttpTestResponse::redirect(int status, const std::string& location) {
  HttpTestResponse response(status, "moved");
  response.header("Location", location);
  return response;
}

HttpTestResponse& HttpTestResponse::reason(std::string text) {
  mReason = std::move(text);
  return *this;
}
HttpTestResponse& HttpTestResponse::header(std::string name, std::string value) {
  mHeaders.emplace_back(std::move(name), std::move(value));
  return *this;
}
HttpTestResponse& HttpTestResponse::body(std::string bytes) {
  mBody = std::move(bytes);
  return *this;
}
HttpTestResponse& HttpTestResponse::withoutContentLength() {
  mSendContentLength = false;
  return *this;
}
HttpTestResponse& HttpTestResponse::declaredContentLength(uint64_t length) {
  mDeclaredLength = length;
  return *this;
}
HttpTestResponse& HttpTestResponse::firstByteDelay(std::chrono::milliseconds delay) {
  mFirstByteDelay = delay;
  return *this;
}
HttpTestResponse& HttpTestResponse::silenceAfterHead(std::chrono::milliseconds silence) {
  mSilenceAfterHead = silence;
  return *this;
}
HttpTestResponse& HttpTestResponse::drip(size_t bytesPerChunk, std::chrono::milliseconds interval) {
  mDripBytes = bytesPerChunk;
  mDripInterval = interval;
  return *this;
}
HttpTestResponse& HttpTestResponse::closeAfterBodyBytes(size_t count) {
  mCloseAfter = count;
  return *this;
}
HttpTestResponse& HttpTestResponse::trickleForever(std::string chunk, std::chrono::milliseconds interval) {
  mTrickleChunk = std::move(chunk);
  mTrickleInterval = interval;
  return *this;
}
HttpTestResponse& HttpTestResponse::rawHead(std::string head) {
  mRawHead = std::move(head);
  return *this;
}

// One accepted connection, plain or TLS.
struct HttpTestServer::Connection {
  int fd = -1;
  SSL* ssl = nullptr;

  ~Connection() {
    if (ssl != nullptr) SSL_free(ssl);
  }
  // Bytes read, 0 at the end, negative on error.
  long read(char* buffer, size_t size) {
    if (ssl != nullptr) return SSL_read(ssl, buffer, static_cast<int>(size));
    return ::recv(fd, buffer, size, 0);
  }
  bool write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      long n = ssl != nullptr ? SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done))
                              : ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
};

HttpTestServer::HttpTestServer(Options options) : mOptions(std::move(options)) {
  std::signal(SIGPIPE, SIG_IGN);
  mDeadline = Clock::now() + mOptions.lifetime;

  if (mOptions.tls) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* certificateBio =
        BIO_new_mem_buf(mOptions.tls->certificatePem.data(), static_cast<int>(mOptions.tls->certificatePem.size()));
    BIO* keyBio =
        BIO_new_mem_buf(mOptions.tls->privateKeyPem.data(), static_cast<int>(mOptions.tls->privateKeyPem.size()));
    X509* certificate = PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    bool ok = context != nullptr && certificate != nullptr && key != nullptr &&
              SSL_CTX_use_certificate(context, certificate) == 1 && SSL_CTX_use_PrivateKey(context, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    BIO_free(certificateBio);
    BIO_free(keyBio);
    if (!ok) {
      SSL_CTX_free(context);
      return;
    }
    mTlsContext = context;
  }

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return;
  }
  mListenFd = fd;
  mPort = ntohs(address.sin_port);
  mAcceptThread = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  stop();
  if (mTlsContext != nullptr) SSL_CTX_free(static_cast<SSL_CTX*>(mTlsContext));
}

std::string HttpTestServer::authority() const {
  return "127.0.0.1:" + std::to_string(mPort);
}

std::string HttpTestServer::url(const std::string& path) const {
  return std::string(mOptions.tls ? "https://" : "http://") + authority() + path;
}

void HttpTestServer::route(const std::string& path, HttpTestResponse response) {
  std::lock_guard lock(mMutex);
  mRoutes.insert_or_assign(path, std::move(response));
}

void HttpTestServer::setHandler(Handler handler) {
  std::lock_guard lock(mMutex);
  mHandler = std::move(handler);
}

std::vector<HttpTestRequest> HttpTestServer::requests() const {
  std::lock_guard lock(mMutex);
  return mRequests;
}

size_t HttpTestServer::requestCount() const {
  std::lock_guard lock(mMutex);
  return mRequests.size();
}

size_t HttpTestServer::connectionCount() const {
  std::lock_guard lock(mMutex);
  return mConnections;
}

bool HttpTestServer::waitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mMutex);
  return mChanged.wait_for(lock, timeout, [&] { return mRequests.size() >= count; });
}

void HttpTestServer::stop() {
  {
    std::lock_guard lock(mMutex);
    mStopping = true;
    for (int fd : mLiveFds) ::shutdown(fd, SHUT_RDWR);
  }
  mChanged.notify_all();
  if (mAcceptThread.joinable()) mAcceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mMutex);
    threads.swap(mThreads);
  }
  for (auto& thread : threads) thread.join();
  if (mListenFd >= 0) {
    ::close(mListenFd);
    mListenFd = -1;
  }
}

void HttpTestServer::acceptLoop() {
  for (;;) {
    {
      std::lock_guard lock(mMutex);
      if (mStopping) return;
    }
    if (Clock::now() >= mDeadline) {
      // The end of the lifetime: behave as stop() would, minus the joins (done by stop() later).
      std::lock_guard lock(mMutex);
      mStopping = true;
      for (int fd : mLiveFds) ::shutdown(fd, SHUT_RDWR);
      return;
    }
    pollfd entry{mListenFd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(kSlice.count())) <= 0) continue;
    int fd = ::accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mMutex);
    ++mConnections;
    mLiveFds.push_back(fd);
    mThreads.emplace_back([this, fd] { serve(fd); });
  }
}

bool HttpTestServer::pause(Connection& connection, std::chrono::milliseconds duration) {
  const Clock::time_point end = Clock::now() + duration;
  for (;;) {
    {
      std::lock_guard lock(mMutex);
      if (mStopping) return false;
    }
    const Clock::time_point now = Clock::now();
    if (now >= end) return true;
    auto slice = std::min<std::chrono::milliseconds>(kSlice, std::chrono::ceil<std::chrono::milliseconds>(end - now));
    pollfd entry{connection.fd, POLLRDHUP, 0};
    if (::poll(&entry, 1, static_cast<int>(slice.count())) > 0 &&
        (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
      return false;  // the client went away
    }
  }
}

HttpTestResponse HttpTestServer::answerFor(const HttpTestRequest& request) {
  Handler handler;
  {
    std::lock_guard lock(mMutex);
    auto route = mRoutes.find(request.path);
    if (route != mRoutes.end()) return route->second;
    handler = mHandler;
  }
  if (handler) return handler(request);
  return HttpTestResponse(404, "not found");
}

void HttpTestServer::serve(int fd) {
  Connection connection;
  connection.fd = fd;
  auto finish = [&] {
    std::lock_guard lock(mMutex);
    mLiveFds.erase(std::remove(mLiveFds.begin(), mLiveFds.end(), fd), mLiveFds.end());
    ::close(fd);
  };

  if (mTlsContext != nullptr) {
    connection.ssl = SSL_new(static_cast<SSL_CTX*>(mTlsContext));
    SSL_set_fd(connection.ssl, fd);
    if (SSL_accept(connection.ssl) != 1) {
      ERR_clear_error();
      finish();
      return;
    }
  }

  // The head, then Content-Length bytes of body.
  std::string received;
  char buffer[4096];
  size_t headEnd = std::string::npos;
  while ((headEnd = received.find("\r\n\r\n")) == std::string::npos && received.size() < kMaxHead) {
    long n = connection.read(buffer, sizeof buffer);
    if (n <= 0) {
      finish();
      return;
    }
    received.append(buffer, static_cast<size_t>(n));
    // A TLS handshake sent to a plain server: answer as an ordinary web server does, at once,
    // instead of waiting for a request head that never comes.
    if (mTlsContext == nullptr && static_cast<unsigned char>(received[0]) == 0x16) {
      connection.write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
      finish();
      return;
    }
  }
  if (headEnd == std::string::npos) {
    finish();
    return;
  }

  HttpTestRequest request;
  request.head = received.substr(0, headEnd);
  size_t lineEnd = request.head.find("\r\n");
  std::string requestLine = request.head.substr(0, lineEnd);
  size_t firstSpace = requestLine.find(' ');
  size_t lastSpace = requestLine.rfind(' ');
  if (firstSpace != std::string::npos && lastSpace > firstSpace) {
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = requestLine.substr(lastSpace + 1);
  }
  size_t position = lineEnd == std::string::npos ? request.head.size() : lineEnd + 2;
  while (position < request.head.size()) {
    size_t end = request.head.find("\r\n", position);
    if (end == std::string::npos) end = request.head.size();
    std::string line = request.head.substr(position, end - position);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
    position = end + 2;
  }
  std::string pathAndQuery = request.target;
  size_t schemeEnd = pathAndQuery.find("://");
  if (schemeEnd != std::string::npos && pathAndQuery.find('/') > schemeEnd) {
    request.absoluteForm = true;
    size_t pathStart = pathAndQuery.find('/', schemeEnd + 3);
    pathAndQuery = pathStart == std::string::npos ? "/" : pathAndQuery.substr(pathStart);
  }
  size_t question = pathAndQuery.find('?');
  request.path = pathAndQuery.substr(0, question);
  if (question != std::string::npos) request.query = pathAndQuery.substr(question + 1);

  request.body = received.substr(headEnd + 4);
  size_t wanted = 0;
  if (auto length = request.header("Content-Length")) wanted = std::strtoul(length->c_str(), nullptr, 10);
  while (request.body.size() < wanted) {
    long n = connection.read(buffer, sizeof buffer);
    if (n <= 0) break;
    request.body.append(buffer, static_cast<size_t>(n));
  }

  {
    std::lock_guard lock(mMutex);
    mRequests.push_back(request);
  }
  mChanged.notify_all();

  const HttpTestResponse response = answerFor(request);
  auto send = [&] {
    if (response.mFirstByteDelay.count() > 0 && !pause(connection, response.mFirstByteDelay)) return false;
    std::string head;
    if (response.mRawHead) {
      head = *response.mRawHead;
    } else {
      head = "HTTP/1.1 " + std::to_string(response.mStatus) + " " +
             (response.mReason.empty() ? reasonFor(response.mStatus) : response.mReason) + "\r\n";
      for (const auto& [name, value] : response.mHeaders) head += name + ": " + value + "\r\n";
      if (response.mSendContentLength) {
        head += "Content-Length: " + std::to_string(response.mDeclaredLength.value_or(response.mBody.size())) + "\r\n";
      }
      head += "Connection: close\r\n\r\n";
    }
    if (!connection.write(head)) return false;
    if (response.mSilenceAfterHead.count() > 0 && !pause(connection, response.mSilenceAfterHead)) return false;
    if (request.method == "HEAD") return true;

    std::string body = response.mBody;
    if (response.mCloseAfter && *response.mCloseAfter < body.size()) body.resize(*response.mCloseAfter);
    size_t chunk = response.mDripBytes == 0 ? std::max<size_t>(body.size(), 1) : response.mDripBytes;
    for (size_t offset = 0; offset < body.size(); offset += chunk) {
      if (offset > 0 && !pause(connection, response.mDripInterval)) return false;
      if (!connection.write(body.substr(offset, chunk))) return false;
    }
    if (response.mCloseAfter) return false;  // abrupt end: no orderly TLS close either
    if (!response.mTrickleChunk.empty()) {
      for (;;) {
        if (!pause(connection, response.mTrickleInterval)) return false;
        if (!connection.write(response.mTrickleChunk)) return false;
      }
    }
    return true;
  };
  if (send() && connection.ssl != nullptr) {
    SSL_shutdown(connection.ssl);
  }
  ::shutdown(fd, SHUT_WR);
  // Let the client read to the end before the socket goes (a close with unread input would reset it).
  pause(connection, std::chrono::milliseconds(2000));
  finish();
}

}  // namespace zavro::test
