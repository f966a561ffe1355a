// Transaction against loopback servers: the request, the overall time bound, redirect and refresh targets.
#include <gtest/gtest.h>

#include "NetTestFixture.h"
#include "net/Transaction.h"
#include "support/HttpTestServer.h"

namespace zavro::test {
namespace {

class TransactionTest : public NetTest {
 protected:
  HttpTestServer mServer;
};

TEST_F(TransactionTest, SendsHTTP10WithMethodHeadersAndBodyAndKeepsTheResponse) {
  mServer.route("/login", HttpTestResponse(201, "<html>welcome</html>").header("X-Session", "42"));
  auto transaction = Transaction::transactionWithMethod("POST", mServer.url("/login?x=1"), "ZavroConnect/1.0");
  transaction->addHeader("Content-Type", "application/x-www-form-urlencoded");
  transaction->addHeader("X-Bad", "a\r\nX-Injected: 1");
  EXPECT_FALSE(transaction->responseString());
  ASSERT_TRUE(transaction->performTransactionWithBody(std::string("user=a&pass=b")));

  HttpTestRequest request = mServer.requests().back();
  EXPECT_EQ(request.requestLine(), "POST /login?x=1 HTTP/1.0");
  EXPECT_EQ(request.header("User-Agent"), "ZavroConnect/1.0");
  EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_FALSE(request.header("X-Injected"));
  EXPECT_EQ(request.body, "user=a&pass=b");

  EXPECT_TRUE(transaction->complete());
  EXPECT_EQ(transaction->statusCode(), 201u);
  EXPECT_EQ(transaction->getResponseHeader("x-session"), "42");
  EXPECT_EQ(transaction->getResponseHeader("X-None"), std::nullopt);
  EXPECT_EQ(transaction->responseString(), "<html>welcome</html>");

  auto get = Transaction::transactionWithMethod("GET", mServer.url("/login"));
  ASSERT_TRUE(get->performTransactionWithBody());
  EXPECT_EQ(mServer.requests().back().requestLine(), "GET /login HTTP/1.0");
  EXPECT_EQ(mServer.requests().back().body, "");
}

TEST_F(TransactionTest, RedirectsAreReportedNotFollowed) {
  struct Row {
    const char* location;
    std::optional<std::string> expected;  // with {base} for the server's own origin
  };
  const std::string origin = "http://" + mServer.authority();
  const Row rows[] = {
      {"/login?from=x", origin + "/login?from=x"},
      {"http://gateway.example:8080/portal", "http://gateway.example:8080/portal"},
      {"https://gateway.example/p", "https://gateway.example/p"},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.location);
    mServer.route("/start", HttpTestResponse::redirect(302, row.location));
    auto transaction = Transaction::transactionWithMethod("GET", mServer.url("/start"));
    ASSERT_TRUE(transaction->performTransactionWithBody());
    EXPECT_EQ(transaction->statusCode(), 302u);
    EXPECT_EQ(transaction->redirectURL(), row.expected);
  }
  auto plain = Transaction::transactionWithMethod("GET", mServer.url("/none"));
  EXPECT_EQ(plain->redirectURL(), std::nullopt);  // before any response
  ASSERT_TRUE(plain->performTransactionWithBody());
  EXPECT_EQ(plain->redirectURL(), std::nullopt);  // a 404 without Location
  for (const auto& request : mServer.requests()) EXPECT_EQ(request.path.rfind("/login", 0), std::string::npos);
}

TEST_F(TransactionTest, MakeAbsoluteURLUsesTheRequestsSchemeHostAndPort) {
  struct Row {
    const char* request;
    const char* link;
    std::optional<std::string> expected;
  };
  const Row rows[] = {
      {"http://h/dir/page", "/login", "http://h:80/login"},
      {"https://h/dir/page", "/login", "https://h:443/login"},
      {"http://h:8080/x", "/p?a=b", "http://h:8080/p?a=b"},
      {"http://h/x", "http://other:81/a?b", "http://other:81/a?b"},
      {"http://h/x", "https://other", "https://other/"},
      {"https://h/x", "//other/a", "https://other/a"},
      // Relative references a gateway page may use, resolved as a browser would.
      {"http://h/dir/page", "next.html", "http://h/dir/next.html"},
      {"http://h/dir/page?x", "?step=2", "http://h/dir/page?step=2"},
      {"not a url", "/login", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.request) + " + " + row.link);
    Transaction transaction("GET", row.request);
    EXPECT_EQ(transaction.makeAbsoluteURL(row.link), row.expected);
  }
}

TEST_F(TransactionTest, MetaRefreshNeedsSemicolonSpaceAndATarget) {
  struct Row {
    const char* name;
    std::string page;
    bool found;
    std::string url;  // path on the server
    std::string content;
  };
  const Row rows[] = {
      {"plain", R"(<html><head><meta http-equiv="refresh" content="5; URL=/portal"></head></html>)", true, "/portal",
       "5"},
      {"without the space", R"(<meta http-equiv="refresh" content="5;URL=/portal">)", false, "", ""},
      {"upper-case tag and equiv", R"(<META HTTP-EQUIV="Refresh" CONTENT="0; URL=/next?a=1">)", true, "/next?a=1", "0"},
      {"first refresh wins",
       R"(<meta name="x" content="y"><meta http-equiv="refresh" content="1; URL=/one">)"
       R"(<meta http-equiv="refresh" content="2; URL=/two">)",
       true, "/one", "1"},
      {"empty target", R"(<meta http-equiv="refresh" content="3; URL=">)", false, "", ""},
      {"three parts", R"(<meta http-equiv="refresh" content="3; URL=/a; b">)", false, "", ""},
      {"not a refresh", R"(<meta http-equiv="content-type" content="text/html; charset=utf-8">)", false, "", ""},
      {"no meta", "<html><body>hello</body></html>", false, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    mServer.route("/page", HttpTestResponse::ok(row.page));
    auto transaction = Transaction::transactionWithMethod("GET", mServer.url("/page"));
    ASSERT_TRUE(transaction->performTransactionWithBody());
    std::optional<std::string> url = "stale";
    std::optional<std::string> content = "stale";
    EXPECT_EQ(transaction->metaRefresh(url, &content), row.found);
    if (row.found) {
      EXPECT_EQ(url, "http://" + mServer.authority() + row.url);
      EXPECT_EQ(content, row.content);
      std::optional<std::string> again;
      EXPECT_TRUE(transaction->metaRefresh(again));  // the content may be left out
      EXPECT_EQ(again, url);
    } else {
      EXPECT_EQ(url, std::nullopt);
      EXPECT_EQ(content, std::nullopt);
    }
  }
}

TEST_F(TransactionTest, TheWholeExchangeIsBoundedEvenWhileDataKeepsComing) {
  // A trickle re-arms any silence timer; only a bound on the whole exchange ends this.
  mServer.route("/", HttpTestResponse::ok("start").withoutContentLength().trickleForever("tick", 100ms));
  auto transaction = Transaction::transactionWithMethod("GET", mServer.url());
  EXPECT_EQ(transaction->getTimeLimit(), std::chrono::milliseconds(60s));
  transaction->setTimeLimit(1500ms);
  Stopwatch watch;
  EXPECT_FALSE(transaction->performTransactionWithBody());
  EXPECT_GE(watch.elapsed(), 1400ms);
  EXPECT_LT(watch.elapsed(), 10s);
  EXPECT_FALSE(transaction->complete());
  EXPECT_FALSE(transaction->responseString());
  EXPECT_EQ(transaction->statusCode(), 200u);  // the head had arrived
}

TEST_F(TransactionTest, ServerThatNeverAnswersOrFailuresGiveFalse) {
  mServer.route("/silent", HttpTestResponse::ok("x").firstByteDelay(HttpTestResponse::kForever));
  mServer.route("/short", HttpTestResponse::ok(std::string(100, 's')).closeAfterBodyBytes(10));
  mServer.route("/big", HttpTestResponse::ok(std::string(5000, 'b')));

  auto silent = Transaction::transactionWithMethod("GET", mServer.url("/silent"));
  silent->setTimeLimit(1s);
  EXPECT_FALSE(silent->performTransactionWithBody());
  EXPECT_EQ(silent->statusCode(), 0u);

  auto shortBody = Transaction::transactionWithMethod("GET", mServer.url("/short"));
  EXPECT_FALSE(shortBody->performTransactionWithBody());
  EXPECT_FALSE(shortBody->complete());

  auto big = Transaction::transactionWithMethod("GET", mServer.url("/big"));
  big->setMaxBodyBytes(1000);
  EXPECT_FALSE(big->performTransactionWithBody());
  EXPECT_EQ(big->responseData().size(), 1000u);

  const std::string url = mServer.url("/");
  mServer.stop();
  auto refused = Transaction::transactionWithMethod("GET", url);
  EXPECT_FALSE(refused->performTransactionWithBody());
  EXPECT_FALSE(refused->complete());
  EXPECT_EQ(refused->statusCode(), 0u);
  EXPECT_EQ(refused->getResponseHeader("Location"), std::nullopt);
}

}  // namespace
}  // namespace zavro::test
