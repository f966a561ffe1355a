// HTTPS against loopback servers with certificates made at test time: trust, and how failures read.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "NetTestFixture.h"
#include "net/HTTPTransaction.h"
#include "net/Transaction.h"
#include "support/HttpTestServer.h"
#include "support/TestCertificateAuthority.h"

namespace zavro::test {
namespace {

class TlsTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    mTrustedFile = mTrusted.writeCertificate(mEnvironment.root().file("trusted-ca.pem"));
  }

  TestCertificateAuthority mTrusted{"Zavro Trusted Test CA"};
  TestCertificateAuthority mUnknown{"Zavro Unknown Test CA"};
  std::string mTrustedFile;
};

TEST_F(TlsTest, TrustedCASucceedsAndUntrustedRootsReadAsNoRootCertificate) {
  struct Row {
    const char* name;
    TlsIdentity identity;
    long result;
    StreamError error;
  };
  const Row rows[] = {
      {"issued by the trusted CA", mTrusted.issue(), 200, {}},
      {"issued by an unknown CA", mUnknown.issue(), -1, {kStreamErrorDomainSSL, kStreamErrorSSLNoRootCert}},
      {"self-signed", TestCertificateAuthority::selfSigned(), -1, {kStreamErrorDomainSSL, kStreamErrorSSLNoRootCert}},
      // Trusted, but for another host: a failure of its own, not an untrusted root.
      {"for another name",
       mTrusted.issue({"elsewhere.example"}, {"10.9.8.7"}),
       -1,
       {kStreamErrorDomainTransport, CURLE_PEER_FAILED_VERIFICATION}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HttpTestServer server({.tls = row.identity});
    ASSERT_TRUE(server.running());
    server.route("/secure", HttpTestResponse::ok("secret"));

    auto transaction = HTTPTransaction::transactionForURL(server.url("/secure"), "GET");
    transaction->setCACertificatesFile(mTrustedFile);
    EXPECT_EQ(transaction->performTransaction(false), row.result);
    EXPECT_EQ(transaction->getCFStreamError(), row.error);
    EXPECT_EQ(transaction->getResponseBody(), row.result == 200 ? "secret" : "");
    EXPECT_EQ(server.requestCount(), row.result == 200 ? 1u : 0u);
  }
}

TEST_F(TlsTest, TransactionTakesTheTrustedCAsFromTheDefaults) {
  TransportDefaults defaults = TransportDefaults::current();
  defaults.caCertificatesFile = mTrustedFile;
  TransportDefaults::setCurrent(defaults);

  HttpTestServer trusted({.tls = mTrusted.issue()});
  trusted.route("/", HttpTestResponse::ok("hello"));
  auto good = Transaction::transactionWithMethod("GET", trusted.url());
  EXPECT_TRUE(good->performTransactionWithBody());
  EXPECT_EQ(good->responseString(), "hello");
  EXPECT_EQ(trusted.requests().back().version, "HTTP/1.0");

  HttpTestServer unknown({.tls = mUnknown.issue()});
  unknown.route("/", HttpTestResponse::ok("hello"));
  auto bad = Transaction::transactionWithMethod("GET", unknown.url());
  EXPECT_FALSE(bad->performTransactionWithBody());
  EXPECT_EQ(bad->statusCode(), 0u);
  EXPECT_EQ(bad->getStreamError(), (StreamError{kStreamErrorDomainSSL, kStreamErrorSSLNoRootCert}));
}

}  // namespace
}  // namespace zavro::test
