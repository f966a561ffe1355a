// thruput: argument rules, usage and statuses, every option's effect on the shared record, the upload.
#include <gtest/gtest.h>

#include <set>

#include "runtime/Process.h"
#include "sqm/SqmRecord.h"
#include "sqm/SqmStore.h"
#include "support/HttpTestServer.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using test::HttpTestResponse;
using test::HttpTestServer;

const std::string kThruput = std::string(ZAVRO_STAGE_DIR) + "/bin/thruput";
const std::string kChild = std::string(ZAVRO_TEST_BIN_DIR) + "/sqm_test_child";

class Thruput : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out;
  };

  Result run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    ProcessOptions options;
    options.extraEnvironment = env.childEnvironment();
    options.extraEnvironment.insert(options.extraEnvironment.end(), extraEnv.begin(), extraEnv.end());
    Result r;
    r.status = Process::runCapturing(kThruput, args, "", r.out, options);
    return r;
  }

  std::map<std::string, std::string> record() {
    std::map<std::string, std::string> fields;
    readSqmStore(storePath(), fields);
    return fields;
  }
  std::string storePath() { return SqmRecord::sqmPath(0, "SqmRecord.plist"); }
  std::string dataPath() { return SqmRecord::sqmPath(0, "SqmData.txt"); }

  // A current record that may be uploaded, and collected lines waiting for it.
  void prepareUpload(bool allowed, const std::string& lines) {
    writeSqmStore(storePath(), {{"SendDataToServer", allowed ? "Yes" : "No"}});
    test::writeFile(dataPath(), lines);
  }

  test::TestEnvironment env;
};

std::string usage() {
  return "Usage: thruput [-b|-n|-h <URL> -e <error_code> -u <user> ...]\n\nwhere\n"
         "    -b records the dial start time\n    -n records modem negotiated time\n"
         "    -u records the stop time and user name\n    -c the user cancelled the operation\n"
         "    -h URL of the SQM servlet (could be multiple)\n    -e error code\n    -a access procedure\n"
         "    -f full username\n    -d the DUN entry name (N/A for Mac OS X)\n"
         "    -l location (\"country code,region code,city\")\n    -m modem phone\n    -p pop type\n"
         "    -o pop ID\n    -i profile ID\n    -s location ID\n    -t dial string\n    -v dialer version\n"
         "    -g dialer language\n    -r disconnect reason code\n\n"
         "Note: -b, -n, and -u are exclusive; -u must be followed by the user name\n\nExample:\n"
         "    thruput -b    or\n    thruput -n    or\n";
}

TEST_F(Thruput, ValidityRuleAndUsage) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"-b", "-n"}, 1},
      {{"-u"}, 1},
      {{"-u="}, 1},
      {{}, 1},
      {{"-e", "12"}, 1},
      {{"-b", "-u", "x"}, 1},
      {{"ignored", "-x"}, 1},
      {{"-b", "-?"}, 0},
      {{"-u", "ann", "-?"}, 0},
  };
  for (const auto& c : cases) {
    auto r = run(c.args);
    EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
    ASSERT_EQ(r.out.rfind(usage(), 0), 0u) << r.out;
    // The last line is the example call, with no line feed after it.
    std::string last = r.out.substr(usage().size());
    EXPECT_EQ(last.find('\n'), std::string::npos);
    EXPECT_EQ(last.rfind("    thruput -h ", 0), 0u) << last;
    EXPECT_NE(last.find(":8080/servlet/SqmServlet -u\""), std::string::npos) << last;
  }
  EXPECT_FALSE(test::fileExists(storePath()));  // nothing written by any of them
}

TEST_F(Thruput, EventsFollowTheWriteOnceRule) {
  ASSERT_EQ(run({"-b"}).status, 0);
  auto first = record();
  ASSERT_FALSE(first["DialStartTime"].empty());
  EXPECT_EQ(first["ToolUsed"], "MacOS 4.21");
  ASSERT_EQ(run({"-b"}).status, 0);
  EXPECT_EQ(record()["DialStartTime"], first["DialStartTime"]);

  ASSERT_EQ(run({"-e", "12", "-b"}).status, 0);
  EXPECT_EQ(record()["ErrorCode"], "12");
  ASSERT_EQ(run({"-n"}).status, 0);
  auto afterN = record();
  EXPECT_EQ(afterN["ErrorCode"], "0");
  EXPECT_FALSE(afterN["ModemNegotiateTime"].empty());
  EXPECT_EQ(afterN["DisconnectReason"], "100");

  ASSERT_EQ(run({"-u", "ann@corp"}).status, 0);
  auto afterU = record();
  EXPECT_EQ(afterU["UserID"], "ann@corp");
  EXPECT_FALSE(afterU["DialStopTime"].empty());
  EXPECT_GE(std::stod(afterU["TimeToConnect"]), 0.0);
  ASSERT_EQ(run({"-r", "5", "-u", "ann@corp"}).status, 0);
  auto afterR = record();
  EXPECT_EQ(afterR["DisconnectReason"], "5");
  EXPECT_GT(std::stod(afterR["SessionLength"]), 0.0);
}

TEST_F(Thruput, OptionValues) {
  ASSERT_EQ(run({"before",
                 "-b",
                 "-l",
                 "\"US,CA,\"San Jose, CA\"\"",
                 "-a=GI",
                 "-f",
                 "\"ann/corp\"",
                 "-m",
                 "408/5550100",
                 "-p",
                 "hotspot",
                 "-o",
                 "1001",
                 "-i",
                 "77",
                 "-s",
                 "LOC-9",
                 "-t",
                 "1 408 5550100",
                 "-v",
                 "1.0",
                 "-g",
                 "English",
                 "-c",
                 "-d",
                 "dun",
                 "-o",
                 "1002",
                 "extra"})
                .status,
            0);
  auto r = record();
  EXPECT_EQ(r["PopCountryCode"], "US");
  EXPECT_EQ(r["PopRegionCode"], "CA");
  EXPECT_EQ(r["PopCity"], "San Jose, CA");
  EXPECT_EQ(r["AccessProcedure"], "GI");
  EXPECT_EQ(r["FullUserLogin"], "ann/corp");
  EXPECT_EQ(r["ModemPhoneNumber"], "408/5550100");
  EXPECT_EQ(r["PopType"], "hotspot");
  EXPECT_EQ(r["PopID"], "1002");  // a repeated letter starts afresh; of several values the first counts
  EXPECT_EQ(r["ProfileID"], "77");
  EXPECT_EQ(r["LocationID"], "LOC-9");
  EXPECT_EQ(r["DestinationPhoneNumber"], "1 408 5550100");
  EXPECT_EQ(r["DialerVersion"], "1.0");
  EXPECT_EQ(r["DialerLanguage"], "English");
  EXPECT_EQ(r["UserCanceled"], "Yes");
  // A location of fewer than three parts sets what it has.
  ASSERT_EQ(run({"-n", "-l", "FR"}).status, 0);
  r = record();
  EXPECT_EQ(r["PopCountryCode"], "FR");
  EXPECT_EQ(r["PopCity"], "San Jose, CA");
}

TEST_F(Thruput, UploadToOneOfSeveralServers) {
  HttpTestServer a;
  HttpTestServer b;
  a.route("/sqm", HttpTestResponse(200, "ok"));
  b.route("/sqm", HttpTestResponse(200, "ok"));
  const std::string lines = "\"a\",\"b\"\n\"c\",\"d\"\n";
  std::set<std::string> chosen;
  for (int i = 0; i < 6 && chosen.size() < 2; ++i) {
    prepareUpload(true, lines);
    ASSERT_EQ(run({"-h", a.authority() + "/sqm", b.authority() + "/sqm", "-u", "ann"}).status, 0);
    auto r = record();
    EXPECT_EQ(r["UserID"], "ann");
    chosen.insert(r["ServerURL"]);
    EXPECT_FALSE(test::fileExists(dataPath()));
  }
  EXPECT_GE(chosen.size(), 1u);
  for (const auto& server : chosen) {
    EXPECT_TRUE(server == a.authority() + "/sqm" || server == b.authority() + "/sqm") << server;
  }
  // Plain servers: the https attempt fails at the handshake, the http one carries the exact bytes.
  auto requests = a.requests();
  auto more = b.requests();
  requests.insert(requests.end(), more.begin(), more.end());
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().method, "POST");
  EXPECT_EQ(requests.front().version, "HTTP/1.0");
  EXPECT_EQ(requests.front().body, lines);
}

TEST_F(Thruput, UploadOutcomes) {
  const std::string lines = "\"x\"\n";
  {
    HttpTestServer server;
    server.route("/loader", HttpTestResponse(200));
    prepareUpload(false, lines);  // the administrator does not allow sending
    ASSERT_EQ(run({"-h", server.authority() + "/loader", "-b"}).status, 0);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(test::readFile(dataPath()), lines);
  }
  {
    HttpTestServer server;
    server.route("/loader", HttpTestResponse(500, "busy"));
    prepareUpload(true, lines);
    ASSERT_EQ(run({"-h", server.authority() + "/loader", "-b"}).status, 0);
    EXPECT_EQ(server.requestCount(), 1u);  // the https attempt never got past the handshake
    EXPECT_EQ(test::readFile(dataPath()), lines);
  }
  {
    HttpTestServer server;
    server.route("/servlet/SqmServlet", HttpTestResponse(204));
    prepareUpload(true, lines);
    ASSERT_EQ(run({"-h", server.authority() + "/servlet/SqmServlet", "-n"}).status, 0);
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/servlet/SqmServlet");
    EXPECT_FALSE(test::fileExists(dataPath()));
  }
  {
    // -h without an address: the server of an earlier run is not used.
    HttpTestServer server;
    server.route("/x", HttpTestResponse(200));
    writeSqmStore(storePath(), {{"SendDataToServer", "Yes"}, {"ServerURL", server.authority() + "/x"}});
    test::writeFile(dataPath(), lines);
    ASSERT_EQ(run({"-n", "-h"}).status, 0);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(test::readFile(dataPath()), lines);
  }
  {
    HttpTestServer server;
    server.route("/x", HttpTestResponse(200));
    prepareUpload(true, "");  // nothing collected
    ASSERT_EQ(run({"-h", server.authority() + "/x", "-n"}).status, 0);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_TRUE(test::fileExists(dataPath()));
  }
}

TEST_F(Thruput, SecureUploadWithATrustedCertificate) {
  test::TestCertificateAuthority ca;
  HttpTestServer::Options options;
  options.tls = ca.issue();
  HttpTestServer server(options);
  server.route("/loader", HttpTestResponse(201));
  std::string bundle = ca.writeCertificate(env.root().file("ca.pem"));
  prepareUpload(true, "\"secure\"\n");
  ASSERT_EQ(run({"-h", server.authority() + "/loader", "-b"}, {"SSL_CERT_FILE=" + bundle}).status, 0);
  ASSERT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(server.requests()[0].body, "\"secure\"\n");
  EXPECT_FALSE(test::fileExists(dataPath()));

  // Without trusting the CA both attempts fail (the http one cannot talk to a TLS server): kept.
  prepareUpload(true, "\"secure\"\n");
  ASSERT_EQ(run({"-h", server.authority() + "/loader", "-b"}).status, 0);
  EXPECT_EQ(test::readFile(dataPath()), "\"secure\"\n");
}

TEST_F(Thruput, RunsBesideAnotherProcessWithoutLosingUpdates) {
  ProcessOptions options;
  options.extraEnvironment = env.childEnvironment();
  auto child = Process::start(kChild, {"increment", "60"}, options);
  ASSERT_TRUE(child);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(run({"-n", "-o", std::to_string(i)}).status, 0);
  }
  EXPECT_EQ(child->wait(), 0);
  auto r = record();
  EXPECT_EQ(r["Counter"], "60");
  EXPECT_EQ(r["PopID"], "9");
}

}  // namespace
}  // namespace zavro
