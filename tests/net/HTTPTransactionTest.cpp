// HTTPTransaction against scripted loopback servers: requests, results, watchdog, aborts, hook, body limit.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

#include "NetTestFixture.h"
#include "net/HTTPTransaction.h"
#include "support/HttpTestServer.h"

namespace zavro::test {
namespace {

class HTTPTransactionTest : public NetTest {
 protected:
  HttpTestServer mServer;
};

TEST_F(HTTPTransactionTest, SendsHTTP10WithTheCallersMethodHeadersAndBodyOnly) {
  struct Row {
    const char* method;
    std::optional<std::string> body;
  };
  const Row rows[] = {
      {"GET", std::nullopt},    {"POST", "a=1&b=two"},     {"PUT", std::string("\0bin\r\n", 6)},
      {"DELETE", std::nullopt}, {"OPTIONS", std::nullopt}, {"GET", "odd but allowed"},
  };
  mServer.route("/echo", HttpTestResponse::ok("fine"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    auto transaction = HTTPTransaction::transactionForURL(mServer.url("/echo?q=1"), row.method);
    transaction->setRequestHeader("X-Probe", "first");
    transaction->setRequestHeader("x-probe", "replaced");
    transaction->setRequestHeader("X-Empty", "");
    if (row.body) transaction->setRequestBody(*row.body);
    ASSERT_EQ(transaction->performTransaction(false), 200);

    HttpTestRequest request = mServer.requests().back();
    EXPECT_EQ(request.method, row.method);
    EXPECT_EQ(request.target, "/echo?q=1");
    EXPECT_EQ(request.version, "HTTP/1.0");
    EXPECT_EQ(request.headerCount("X-Probe"), 1u);
    EXPECT_EQ(request.header("X-Probe"), "replaced");
    EXPECT_EQ(request.header("X-Empty"), "");
    EXPECT_EQ(request.body, row.body.value_or(""));
    // Only the caller labels the body.
    EXPECT_FALSE(request.header("Content-Type"));
    EXPECT_FALSE(request.header("Expect"));
  }
}

TEST_F(HTTPTransactionTest, HeadersThatCouldInjectRequestLinesAreRefused) {
  mServer.route("/", HttpTestResponse::ok("x"));
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
  transaction->setRequestHeader("X-Good", "1");
  transaction->setRequestHeader("X-Bad", "1\r\nX-Injected: yes");
  transaction->setRequestHeader("Bad Name", "1");
  ASSERT_EQ(transaction->performTransaction(false), 200);
  HttpTestRequest request = mServer.requests().back();
  EXPECT_EQ(request.header("X-Good"), "1");
  EXPECT_FALSE(request.header("X-Bad"));
  EXPECT_FALSE(request.header("X-Injected"));
  EXPECT_EQ(request.head.find("Bad Name"), std::string::npos);
}

TEST_F(HTTPTransactionTest, SetupStartsAFreshRequestAndRejectsWhatCannotBeSent) {
  mServer.route("/", HttpTestResponse::ok("x"));
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "POST");
  transaction->setRequestHeader("X-Old", "1");
  transaction->setRequestBody("old body");
  ASSERT_TRUE(transaction->setupRequestForURL(mServer.url(), "GET"));
  ASSERT_EQ(transaction->performTransaction(false), 200);
  HttpTestRequest request = mServer.requests().back();
  EXPECT_FALSE(request.header("X-Old"));
  EXPECT_EQ(request.body, "");

  for (const auto& [url, method] :
       std::vector<std::pair<std::string, std::string>>{{"file:///etc/passwd", "GET"},
                                                        {"ftp://127.0.0.1/x", "GET"},
                                                        {"", "GET"},
                                                        {"not a url", "GET"},
                                                        {mServer.url(), "GET /x HTTP/1.1\r\n"},
                                                        {mServer.url(), ""}}) {
    SCOPED_TRACE(url + " " + method);
    EXPECT_FALSE(transaction->setupRequestForURL(url, method));
    EXPECT_EQ(transaction->performTransaction(false), -1);
  }
  EXPECT_EQ(mServer.requestCount(), 1u);
}

TEST_F(HTTPTransactionTest, ErrorStatusesAndRedirectsAreOrdinaryResultsWithTheirBodies) {
  mServer.route("/missing", HttpTestResponse(404, "no such page").header("X-Why", "gone"));
  mServer.route("/broken", HttpTestResponse(500, "oops"));
  mServer.route("/a", HttpTestResponse::redirect(302, "/b"));
  mServer.route("/b", HttpTestResponse::redirect(301, mServer.url("/c")));
  mServer.route("/c", HttpTestResponse::ok("end of chain"));

  auto transaction = HTTPTransaction::transactionForURL(mServer.url("/missing"), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 404);
  EXPECT_EQ(transaction->getResponseStatusLine(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(transaction->getResponseBody(), "no such page");
  EXPECT_EQ(transaction->getResponseHeader("x-why"), "gone");
  EXPECT_EQ(transaction->getResponseHeader("X-Absent"), std::nullopt);
  EXPECT_FALSE(transaction->wasPartialTransaction());

  transaction->setupRequestForURL(mServer.url("/broken"), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 500);
  EXPECT_EQ(transaction->getResponseBody(), "oops");

  transaction->setupRequestForURL(mServer.url("/a"), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 302);
  EXPECT_EQ(transaction->getResponseHeader("Location"), "/b");
  transaction->setupRequestForURL(mServer.url("/b"), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 301);
  EXPECT_EQ(transaction->getResponseHeader("Location"), mServer.url("/c"));
  for (const auto& request : mServer.requests()) EXPECT_NE(request.path, "/c");
}

TEST_F(HTTPTransactionTest, RepeatedHeadersAreJoinedAndFoldedLinesContinue) {
  mServer.route(
      "/",
      HttpTestResponse()
          .rawHead("HTTP/1.0 200 Fine Thanks\r\nSet-Cookie: a=1\r\nX-Long: one\r\n  two\r\nset-cookie: b=2\r\n\r\n")
          .withoutContentLength()
          .body("body"));
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 200);
  EXPECT_EQ(transaction->getResponseStatusLine(), "HTTP/1.0 200 Fine Thanks");
  EXPECT_EQ(transaction->getResponseHeader("Set-Cookie"), "a=1, b=2");
  EXPECT_EQ(transaction->getResponseHeader("X-Long"), "one two");
  EXPECT_EQ(transaction->getResponseBody(), "body");
}

TEST_F(HTTPTransactionTest, WithoutAResponseTheAccessorsGiveTheirEmptyValues) {
  auto fresh = HTTPTransaction::transaction();
  EXPECT_EQ(fresh->getResponseStatusLine(), "");
  EXPECT_EQ(fresh->getResponseStatusCode(), -1);
  EXPECT_EQ(fresh->getResponseHeader("Location"), "");
  EXPECT_EQ(fresh->getResponseBody(), "");
  EXPECT_EQ(fresh->getTimeout(), 60u);
  EXPECT_FALSE(fresh->getAllowPartialTransaction());
  EXPECT_EQ(fresh->performTransaction(false), -1);  // never set up

  const std::string url = mServer.url("/");
  mServer.stop();  // nothing listens there any more
  auto refused = HTTPTransaction::transactionForURL(url, "GET");
  EXPECT_EQ(refused->performTransaction(false), -1);
  EXPECT_EQ(refused->getResponseStatusLine(), "");
  EXPECT_EQ(refused->getResponseStatusCode(), -1);
  EXPECT_EQ(refused->getResponseHeader("Location"), "");
  EXPECT_EQ(refused->getResponseBody(), "");
  EXPECT_EQ(refused->getCFStreamError(), (StreamError{kStreamErrorDomainPOSIX, ECONNREFUSED}));
  EXPECT_FALSE(refused->getStreamErrorText().empty());
}

TEST_F(HTTPTransactionTest, SilenceAfterTheHeadEndsTheTransactionAsPartial) {
  mServer.route("/", HttpTestResponse::ok("never sent").silenceAfterHead(HttpTestResponse::kForever));
  for (bool allowPartial : {false, true}) {
    SCOPED_TRACE(allowPartial);
    auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
    transaction->setTimeout(1);
    transaction->setAllowPartialTransaction(allowPartial);
    Stopwatch watch;
    long result = transaction->performTransaction(false);
    EXPECT_GE(watch.elapsed(), 900ms);
    EXPECT_LT(watch.elapsed(), 10s);
    EXPECT_EQ(result, allowPartial ? 200 : -1);
    EXPECT_TRUE(transaction->wasPartialTransaction());
    EXPECT_EQ(transaction->getResponseStatusCode(), 200);
    EXPECT_EQ(transaction->getCFStreamError(), StreamError{});
  }
}

TEST_F(HTTPTransactionTest, ADripSlowerThanItsChunksButInsideTheTimeoutIsNeverCut) {
  // Five chunks 700 ms apart: 2.8 s in all, far past the 1.5 s watchdog, which each chunk re-arms.
  mServer.route("/", HttpTestResponse::ok("abcde").drip(1, 700ms).firstByteDelay(700ms));
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
  transaction->setTimeoutInterval(1500ms);
  Stopwatch watch;
  EXPECT_EQ(transaction->performTransaction(false), 200);
  EXPECT_GE(watch.elapsed(), 2800ms);
  EXPECT_EQ(transaction->getResponseBody(), "abcde");
  EXPECT_FALSE(transaction->wasPartialTransaction());
}

TEST_F(HTTPTransactionTest, AConnectionClosedMidBodyIsPartial) {
  mServer.route("/", HttpTestResponse::ok(std::string(100, 'x')).closeAfterBodyBytes(40));
  for (bool allowPartial : {false, true}) {
    SCOPED_TRACE(allowPartial);
    auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
    transaction->setAllowPartialTransaction(allowPartial);
    EXPECT_EQ(transaction->performTransaction(false), allowPartial ? 200 : -1);
    EXPECT_TRUE(transaction->wasPartialTransaction());
    EXPECT_EQ(transaction->getResponseBody(), std::string(40, 'x'));
    EXPECT_EQ(transaction->getCFStreamError(), (StreamError{kStreamErrorDomainTransport, CURLE_PARTIAL_FILE}));
  }
}

TEST_F(HTTPTransactionTest, ABodyWithoutLengthEndsWithTheConnection) {
  mServer.route("/", HttpTestResponse::ok("until close").withoutContentLength().drip(3, 50ms));
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 200);
  EXPECT_EQ(transaction->getResponseBody(), "until close");
  EXPECT_FALSE(transaction->wasPartialTransaction());
}

// Proxy settings that hold the performing thread until released, to abort while nothing is open yet.
class BlockingProxySettings : public ProxySettings {
 public:
  std::string proxyForURL(const std::string&) override {
    mEntered.set_value();
    mRelease.get_future().wait();
    return "";
  }
  std::promise<void> mEntered;
  std::promise<void> mRelease;
};

TEST_F(HTTPTransactionTest, AnAbortBeforeTheStreamOpensNeverConnects) {
  mServer.route("/", HttpTestResponse::ok("x"));
  auto blocking = std::make_shared<BlockingProxySettings>();
  auto transaction = HTTPTransaction::transactionForURL(mServer.url(), "GET");
  transaction->setProxySettings(blocking);
  auto result = std::async(std::launch::async, [&] { return transaction->performTransaction(true); });
  blocking->mEntered.get_future().wait();
  std::thread([&] { transaction->abortTransaction(); }).join();
  blocking->mRelease.set_value();
  EXPECT_EQ(result.get(), -2);
  EXPECT_EQ(mServer.connectionCount(), 0u);

  // An abort between set-up and perform counts too; a new set-up clears it.
  transaction->setupRequestForURL(mServer.url(), "GET");
  std::thread([&] { transaction->abortTransaction(); }).join();
  EXPECT_EQ(transaction->performTransaction(false), -2);
  EXPECT_EQ(mServer.connectionCount(), 0u);
  transaction->setupRequestForURL(mServer.url(), "GET");
  EXPECT_EQ(transaction->performTransaction(false), 200);
}

// Reports the first chunk and answers the hook with a fixed value.
class ObservedTransaction : public HTTPTransaction {
 public:
  explicit ObservedTransaction(bool answer) : mAnswer(answer) {}
  bool continueStreaming(size_t byteCount) override {
    mChunks.push_back(byteCount);
    if (mChunks.size() == 1) mFirstChunk.set_value();
    return mAnswer;
  }
  bool mAnswer;
  std::vector<size_t> mChunks;
  std::promise<void> mFirstChunk;
};

TEST_F(HTTPTransactionTest, AnAbortMidTransferEndsItPromptly) {
  mServer.route("/", HttpTestResponse::ok("start").withoutContentLength().trickleForever("more", 50ms));
  ObservedTransaction transaction(true);
  transaction.setupRequestForURL(mServer.url(), "GET");
  std::chrono::steady_clock::time_point abortedAt;
  std::thread aborter([&] {
    transaction.mFirstChunk.get_future().wait();
    std::this_thread::sleep_for(200ms);
    abortedAt = std::chrono::steady_clock::now();
    transaction.abortTransaction();
  });
  long result = transaction.performTransaction(false);
  auto returnedAt = std::chrono::steady_clock::now();
  aborter.join();
  EXPECT_EQ(result, -2);
  EXPECT_TRUE(transaction.wasPartialTransaction());
  // Generous for a loaded machine; the bench measures the real figure.
  EXPECT_LT(returnedAt - abortedAt, 1s);
}

TEST_F(HTTPTransactionTest, AHookAnsweringFalseKeepsExactlyTheFirstChunk) {
  mServer.route("/", HttpTestResponse::ok("first-chunk|second-chunk").drip(12, 300ms));
  ObservedTransaction transaction(false);
  transaction.setupRequestForURL(mServer.url(), "GET");
  EXPECT_EQ(transaction.performTransaction(false), -1);
  ASSERT_EQ(transaction.mChunks.size(), 1u);
  EXPECT_EQ(transaction.getResponseBody(), "first-chunk|");
  EXPECT_TRUE(transaction.wasPartialTransaction());
  EXPECT_EQ(transaction.getCFStreamError(), StreamError{});

  transaction.setupRequestForURL(mServer.url(), "GET");
  transaction.setAllowPartialTransaction(true);
  EXPECT_EQ(transaction.performTransaction(false), 200);
}

TEST_F(HTTPTransactionTest, ABodyPastTheLimitIsCutThereAsPartial) {
  mServer.route("/big", HttpTestResponse::ok(std::string(50000, 'b')));
  mServer.route("/endless",
                HttpTestResponse::ok("x").withoutContentLength().trickleForever(std::string(4096, 'e'), 1ms));
  mServer.route("/exact", HttpTestResponse::ok(std::string(1000, 'x')));
  struct Row {
    const char* path;
    bool allowPartial;
    long result;
    bool partial;
    size_t size;
  };
  const Row rows[] = {
      {"/big", false, -1, true, 1000},
      {"/big", true, 200, true, 1000},
      {"/endless", false, -1, true, 1000},
      {"/exact", false, 200, false, 1000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    auto transaction = HTTPTransaction::transactionForURL(mServer.url(row.path), "GET");
    transaction->setMaxBodyBytes(1000);
    transaction->setAllowPartialTransaction(row.allowPartial);
    EXPECT_EQ(transaction->performTransaction(false), row.result);
    EXPECT_EQ(transaction->wasPartialTransaction(), row.partial);
    EXPECT_EQ(transaction->getResponseBody().size(), row.size);
  }
  EXPECT_EQ(HTTPTransaction::transaction()->getMaxBodyBytes(), 64u * 1024 * 1024);
}

TEST_F(HTTPTransactionTest, ContentLengthOfURLCountsOnlyA200WithANumber) {
  mServer.route("/moved", HttpTestResponse::redirect(302, "/file").header("X-Pad", "1"));
  mServer.route("/missing", HttpTestResponse(404, "not here"));
  mServer.route("/nolength", HttpTestResponse::ok("abc").withoutContentLength());
  mServer.route("/garbage", HttpTestResponse::ok("abc").withoutContentLength().header("Content-Length", "lots"));
  mServer.route("/file", HttpTestResponse::ok(std::string(1234, 'f')));
  const std::pair<const char*, uint64_t> rows[] = {
      {"/moved", 0}, {"/missing", 0}, {"/nolength", 0}, {"/garbage", 0}, {"/file", 1234},
  };
  for (const auto& [path, length] : rows) {
    SCOPED_TRACE(path);
    EXPECT_EQ(HTTPTransaction::contentLengthOfURL(mServer.url(path)), length);
    HttpTestRequest request = mServer.requests().back();
    EXPECT_EQ(request.method, "HEAD");
    EXPECT_EQ(request.path, path);
  }
}

}  // namespace
}  // namespace zavro::test
