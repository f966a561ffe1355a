// A scripted loopback HTTP/1.x (and HTTPS) server that tests start in-process; it records what it got.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TestCertificateAuthority.h"

namespace zavro::test {

// One request as the server received it.
struct HttpTestRequest {
  std::string method;
  std::string target;         // as on the request line: "/a?b" or, through a proxy, "http://host:port/a?b"
  std::string version;        // "HTTP/1.0", "HTTP/1.1"
  std::string path;           // the target's path without the query ("/a"), also for absolute targets
  std::string query;          // after "?", without it
  bool absoluteForm = false;  // the request line carried a full URL (the client took us for a proxy)
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
  std::string body;                                          // Content-Length bytes
  std::string head;  // request line and header lines exactly as received, up to the blank line

  std::string requestLine() const { return method + " " + target + " " + version; }
  // First header of that name (case-insensitive); empty when absent.
  std::optional<std::string> header(const std::string& name) const;
  // How many headers of that name arrived.
  size_t headerCount(const std::string& name) const;
};

// What to answer and how to pace it. Built fluently:
//   HttpTestResponse(200, "hello").header("X-A", "1").drip(4, 100ms)
// The head is "HTTP/1.1 <status> <reason>", the given headers, "Content-Length" (unless
// withoutContentLength(); the body's size unless declaredContentLength()), "Connection: close".
// Order of events: firstByteDelay, head, silenceAfterHead, the body (in drip chunks with the
// interval before each chunk but the first), then trickleForever chunks; the connection is closed
// at the end, or abruptly after closeAfterBodyBytes body bytes. A HEAD request gets the head only.
// Every pause ends early when the client goes away or the server stops.
class HttpTestResponse {
 public:
  static constexpr std::chrono::milliseconds kForever{std::chrono::hours(24)};

  explicit HttpTestResponse(int status = 200, std::string body = {});
  static HttpTestResponse ok(std::string body) { return HttpTestResponse(200, std::move(body)); }
  static HttpTestResponse redirect(int status, const std::string& location);

  HttpTestResponse& reason(std::string text);
  HttpTestResponse& header(std::string name, std::string value);
  HttpTestResponse& body(std::string bytes);
  HttpTestResponse& withoutContentLength();
  HttpTestResponse& declaredContentLength(uint64_t length);
  HttpTestResponse& firstByteDelay(std::chrono::milliseconds delay);
  // kForever: the head, then nothing until the client gives up.
  HttpTestResponse& silenceAfterHead(std::chrono::milliseconds silence);
  HttpTestResponse& drip(size_t bytesPerChunk, std::chrono::milliseconds interval);
  HttpTestResponse& closeAfterBodyBytes(size_t count);
  // After the body, `chunk` every `interval` until the client goes away.
  HttpTestResponse& trickleForever(std::string chunk, std::chrono::milliseconds interval);
  // Sent verbatim instead of the built head (for malformed or unusual heads); include the blank line.
  HttpTestResponse& rawHead(std::string head);

  int status() const { return mStatus; }
  const std::string& bodyBytes() const { return mBody; }

 private:
  friend class HttpTestServer;
  int mStatus;
  std::string mReason;
  std::vector<std::pair<std::string, std::string>> mHeaders;
  std::string mBody;
  bool mSendContentLength = true;
  std::optional<uint64_t> mDeclaredLength;
  std::chrono::milliseconds mFirstByteDelay{0};
  std::chrono::milliseconds mSilenceAfterHead{0};
  size_t mDripBytes = 0;
  std::chrono::milliseconds mDripInterval{0};
  std::optional<size_t> mCloseAfter;
  std::string mTrickleChunk;
  std::chrono::milliseconds mTrickleInterval{0};
  std::optional<std::string> mRawHead;
};

// Listens on 127.0.0.1 at a free port from construction until destruction, stop(), or the end of
// its lifetime (it then stops by itself, so a hung test cannot keep it alive). One request per
// connection, each on its own thread. Answers: the route of the request's path, else the handler,
// else 404. As a proxy: a request line with a full URL is routed by that URL's path and marked
// absoluteForm, so a test can tell proxied requests from direct ones.
// Note: starting a server ignores SIGPIPE in the test process (writes to a client that went away).
class HttpTestServer {
 public:
  struct Options {
    std::optional<TlsIdentity> tls;  // HTTPS with this certificate
    std::chrono::seconds lifetime{120};
  };
  using Handler = std::function<HttpTestResponse(const HttpTestRequest&)>;

  HttpTestServer() : HttpTestServer(Options{}) {}
  explicit HttpTestServer(Options options);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // False when the socket could not be set up (port() is then 0).
  bool running() const { return mListenFd >= 0; }
  uint16_t port() const { return mPort; }
  // "http://127.0.0.1:<port>" (https with TLS) + path.
  std::string url(const std::string& path = "/") const;
  // "127.0.0.1:<port>"
  std::string authority() const;

  // Answers requests for exactly this path (query ignored) with `response`.
  void route(const std::string& path, HttpTestResponse response);
  // Asked for every request no route matches.
  void setHandler(Handler handler);

  std::vector<HttpTestRequest> requests() const;
  size_t requestCount() const;
  // Accepted connections, whether or not a request followed.
  size_t connectionCount() const;
  // Waits until at least `count` requests have been received; false on timeout.
  bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;

  // Closes the listening socket and every connection, and waits for the connection threads.
  void stop();

 private:
  struct Connection;
  void acceptLoop();
  void serve(int fd);
  HttpTestResponse answerFor(const HttpTestRequest& request);
  bool pause(Connection& connection, std::chrono::milliseconds duration);

  Options mOptions;
  int mListenFd = -1;
  uint16_t mPort = 0;
  void* mTlsContext = nullptr;
  std::chrono::steady_clock::time_point mDeadline;

  mutable std::mutex mMutex;
  mutable std::condition_variable mChanged;
  bool mStopping = false;
  std::map<std::string, HttpTestResponse> mRoutes;
  Handler mHandler;
  std::vector<HttpTestRequest> mRequests;
  size_t mConnections = 0;
  std::vector<int> mLiveFds;
  std::vector<std::thread> mThreads;
  std::thread mAcceptThread;
};

}  // namespace zavro::test
