// Proxies on and off, seen by a loopback server that plays the proxy and records absolute request lines.
#include <gtest/gtest.h>

#include <cstdlib>

#include "NetTestFixture.h"
#include "net/HTTPTransaction.h"
#include "net/Transaction.h"
#include "platform/ProxySettings.h"
#include "support/HttpTestServer.h"

namespace zavro::test {
namespace {

// Sets proxy variables for one test and puts the old values back.
class ScopedEnvironment {
 public:
  void set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    mSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    for (auto it = mSaved.rbegin(); it != mSaved.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> mSaved;
};

class ProxyTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    mOrigin.route("/page", HttpTestResponse::ok("direct"));
    mProxy.route("/page", HttpTestResponse::ok("proxied"));
    // Whatever the variables say must not matter when proxies are off, nor reach libcurl directly.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY"}) {
      mVariables.set(name, "http://" + mProxy.authority());
    }
    for (const char* name : {"no_proxy", "NO_PROXY"}) mVariables.set(name, "");
  }

  void expectProxied(const std::string& body) {
    EXPECT_EQ(body, "proxied");
    ASSERT_EQ(mProxy.requestCount(), 1u);
    EXPECT_EQ(mProxy.requests().back().requestLine(), "GET " + mOrigin.url("/page") + " HTTP/1.0");
    EXPECT_TRUE(mProxy.requests().back().absoluteForm);
    EXPECT_EQ(mOrigin.requestCount(), 0u);
  }
  void expectDirect(const std::string& body) {
    EXPECT_EQ(body, "direct");
    EXPECT_EQ(mProxy.connectionCount(), 0u);
    ASSERT_EQ(mOrigin.requestCount(), 1u);
    EXPECT_EQ(mOrigin.requests().back().requestLine(), "GET /page HTTP/1.0");
  }

  ScopedEnvironment mVariables;
  HttpTestServer mOrigin;
  HttpTestServer mProxy;
};

TEST_F(ProxyTest, WithProxiesTheSettingsProxyCarriesTheRequest) {
  auto transaction = HTTPTransaction::transactionForURL(mOrigin.url("/page"), "GET");
  transaction->setProxySettings(std::make_shared<FixedProxySettings>("http://" + mProxy.authority()));
  ASSERT_EQ(transaction->performTransaction(true), 200);
  expectProxied(transaction->getResponseBody());
}

TEST_F(ProxyTest, WithProxiesOffNothingIsProxiedNotEvenFromTheEnvironment) {
  auto transaction = HTTPTransaction::transactionForURL(mOrigin.url("/page"), "GET");
  transaction->setProxySettings(std::make_shared<FixedProxySettings>("http://" + mProxy.authority()));
  ASSERT_EQ(transaction->performTransaction(false), 200);
  expectDirect(transaction->getResponseBody());
}

TEST_F(ProxyTest, SettingsAnsweringDirectMeanNoProxyDespiteTheEnvironment) {
  auto transaction = HTTPTransaction::transactionForURL(mOrigin.url("/page"), "GET");
  transaction->setProxySettings(std::make_shared<FixedProxySettings>());
  ASSERT_EQ(transaction->performTransaction(true), 200);
  expectDirect(transaction->getResponseBody());
}

TEST_F(ProxyTest, LibproxyBackendGivesTheConfiguredProxy) {
  // Without desktop settings libproxy reads the variables set above.
  auto settings = std::make_shared<LibproxyProxySettings>();
  EXPECT_EQ(settings->proxyForURL(mOrigin.url("/page")), "http://" + mProxy.authority());
  auto transaction = HTTPTransaction::transactionForURL(mOrigin.url("/page"), "GET");
  transaction->setProxySettings(settings);
  ASSERT_EQ(transaction->performTransaction(true), 200);
  expectProxied(transaction->getResponseBody());
}

TEST_F(ProxyTest, LibproxyBackendHonoursNoProxy) {
  mVariables.set("no_proxy", "127.0.0.1");
  auto settings = std::make_shared<LibproxyProxySettings>();
  EXPECT_EQ(settings->proxyForURL(mOrigin.url("/page")), "");
}

TEST_F(ProxyTest, TransactionUsesProxiesUnlessTheCallerTurnsThemOff) {
  auto proxied = Transaction::transactionWithMethod("GET", mOrigin.url("/page"));
  proxied->setProxySettings(std::make_shared<FixedProxySettings>("http://" + mProxy.authority()));
  ASSERT_TRUE(proxied->performTransactionWithBody());
  expectProxied(proxied->responseData());

  auto direct = Transaction::transactionWithMethod("GET", mOrigin.url("/page"));
  direct->setProxySettings(std::make_shared<FixedProxySettings>("http://" + mProxy.authority()));
  direct->setUseProxies(false);
  ASSERT_TRUE(direct->performTransactionWithBody());
  EXPECT_EQ(direct->responseData(), "direct");
  EXPECT_EQ(mOrigin.requestCount(), 1u);
  EXPECT_EQ(mProxy.requestCount(), 1u);
}

TEST(ChooseProxyTest, TakesTheFirstEntryLibcurlCanUse) {
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"direct://"}, ""},
      {{}, ""},
      {{"http://p:3128", "direct://"}, "http://p:3128"},
      {{"direct://", "http://p:3128"}, ""},
      {{"socks://s:1080"}, "socks5://s:1080"},
      {{"wpad://x", "ftp://f:21", "https://p:443"}, "https://p:443"},
      {{"socks4://s:1080"}, "socks4://s:1080"},
      {{"http://"}, ""},
  };
  for (const auto& [candidates, expected] : rows) {
    EXPECT_EQ(chooseProxy(candidates), expected) << (candidates.empty() ? "(none)" : candidates.front());
  }
}

}  // namespace
}  // namespace zavro::test
