// zavroctl end to end: command lines against a fixture installation, output and exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/Process.h"
#include "support/TempDir.h"

namespace zavro {
namespace {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

Result runZavroctl(const std::vector<std::string>& args) {
  Process::Options options;
  options.pipeStdout = true;
  options.pipeStderr = true;
  auto process = Process::start(std::string(ZAVRO_STAGE_DIR) + "/bin/zavroctl", args, options);
  Result r;
  if (!process) {
    return r;
  }
  r.out = process->readAllStdout();
  r.err = process->readAllStderr();
  r.status = process->wait();
  return r;
}

// An installation with the fixture configuration and one installed plug-in, GI.
class Zavroctl : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy(std::string(ZAVRO_TEST_DATA_DIR) + "/phonebook/config", mInstall.mkdir("Configuration"),
                          std::filesystem::copy_options::recursive);
    mInstall.write("PlugIns/AuthenticatorGI.so", "");
    mInstall.write("PlugIns/NotAPlugin.so", "");
    mInstall.write("PlugIns/Authenticator.so", "");
  }
  std::vector<std::string> withInstall(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--install-dir", mInstall.path()});
    return args;
  }
  test::TempDir mInstall;
};

const char* kAllPops =
    "1001\tUS\tUSNY\tAlbany\t518\t555-0101\t0x4\t0\n"
    "1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n"
    "1003\tUS\t\tNationwide\t800\t555-0100\t0x4\t0\n"
    "2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n"
    "3001\tGB\tGBENG\tLeeds\t113\t496 0001\t0x4\t0\n"
    "4001\tZZ\t\tNowhere\t1\t555\t0x4\t0\n"
    "9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n";

TEST_F(Zavroctl, CommandTable) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {"all_pops_plugin_filter_from_folder", {"pops"}, kAllPops},
      {"no_plugin_codes_exclude_nothing",
       {"--plugins", "", "pops", "--access", "0x10"},
       "2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n2002\tUS\tUSNY\tAlbany\t\t\t0x10\t0\n"},
      {"explicit_plugin_codes", {"--plugins=NX,WY", "pops", "--access=16"}, "2002\tUS\tUSNY\tAlbany\t\t\t0x10\t0\n"},
      {"access_is_the_primary_records", {"pops", "--access", "3"}, ""},
      {"region_keeps_all_city",
       {"pops", "--country-code", "US", "--region-code", "USCA"},
       "1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n1003\tUS\t\tNationwide\t800\t555-0100\t0x4\t0\n"
       "2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n"},
      {"city_sorted_by_phone",
       {"pops", "--country-code", "US", "--city", "Fresno", "--sort", "phone"},
       "2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n"
       "9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n1003\tUS\t\tNationwide\t800\t555-0100\t0x4\t0\n"},
      {"city_descending_customer_first_by_default",
       {"pops", "--country-code", "US", "--sort", "city", "--descending"},
       "1003\tUS\t\tNationwide\t800\t555-0100\t0x4\t0\n9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n"
       "1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n"
       "1001\tUS\tUSNY\tAlbany\t518\t555-0101\t0x4\t0\n"},
      {"several_countries_keep_index_order", {"pops", "--sort", "city"}, kAllPops},
      {"descending_without_sort_changes_nothing", {"pops", "--descending"}, kAllPops},
      {"area_code_then_rate",
       {"pops", "--area-code", "559", "--sort", "rate"},
       "9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n"},
      {"sort_by_field_number",
       {"pops", "--country-code", "US", "--sort", "15"},
       "2001\tUS\tUSCA\tFresno\t\t\t0x10\t0\n1002\tUS\tUSCA\tFresno\t559\t555-0103\t0x4\t0\n"
       "9001\tUS\tUSCA\tFresno\t559\t555-0199\t0x4\t1\n1001\tUS\tUSNY\tAlbany\t518\t555-0101\t0x4\t0\n"
       "1003\tUS\t\tNationwide\t800\t555-0100\t0x4\t0\n"},
      {"json",
       {"pops", "--access", "0x10", "--json"},
       "[\n  {\"id\": \"2001\", \"country\": \"US\", \"region\": \"USCA\", \"city\": \"Fresno\", \"areaCode\": \"\", "
       "\"phone\": \"\", \"accessType\": 16, \"customer\": false}\n]\n"},
      {"json_empty", {"pops", "--access", "0x100", "--json"}, "[]\n"},
      {"countries_leave_out_unknown_codes", {"countries"}, "United Kingdom\nUnited States\n"},
      {"countries_by_access", {"countries", "--access", "0x10"}, "United States\n"},
      {"regions", {"regions", "US"}, "California\nNew York\n"},
      {"regions_unknown_country", {"regions", "QQ"}, ""},
      {"cities", {"cities", "US"}, "Albany\nFresno\nNationwide\n"},
      {"cities_of_region", {"cities", "US", "USNY"}, "Albany\nNationwide\n"},
      {"pop_description",
       {"pop", "1001"},
       "POP: 1001\n"
       "United States, New York, Albany, 518, 555-0101\n"
       "Billing: D1, Pricing: MODEM, Rate: 0.10\n"
       "Modem: 56000, Access: 0x0004, BBSpeed: , Access: , SSID: (null)\n"
       "United States, New York, Albany, 518, 555-0102\n"
       "Billing: D2, Pricing: ISDN, Rate: 0.20\n"
       "Modem: 64000, Access: 0x0004, BBSpeed: , Access: , SSID: (null)\n"},
  };
  for (const auto& c : cases) {
    Result r = runZavroctl(withInstall(c.args));
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
  }
}

TEST_F(Zavroctl, BadUsageAndUnknownIDs) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"--bogus", "pops"},
      {"pops", "--bogus"},
      {"pops", "extra"},
      {"pops", "--access", "zz"},
      {"pops", "--access", "0x100000000"},
      {"pops", "--access"},
      {"pops", "--sort", "name"},
      {"countries", "US"},
      {"regions"},
      {"regions", "US", "GB"},
      {"cities"},
      {"cities", "US", "USNY", "x"},
      {"pop"},
      {"pop", "2002"},  // excluded by the installed plug-ins
      {"pop", "nope"},
  };
  for (const auto& args : cases) {
    std::string line;
    for (const auto& a : args) {
      line += a + " ";
    }
    Result r = runZavroctl(withInstall(args));
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(r.out, "") << line;
    EXPECT_EQ(r.err.rfind("zavroctl: ", 0), 0u) << line << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << line << r.err;
  }
  EXPECT_EQ(runZavroctl({"--install-dir"}).status, 2);
}

TEST_F(Zavroctl, ConfigFolderOptionAndMissingFiles) {
  test::TempDir other;
  other.write("pbook.txt", "GB,GBENG,York,1904,555,7,,,,,,,,,,,,,,,,,,,,,,,4\n");
  other.write("country.txt", "GB,44,United Kingdom\n");
  Result r = runZavroctl(withInstall({"--config", other.path(), "pops"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "7\tGB\tGBENG\tYork\t1904\t555\t0x4\t0\n");
  // A folder with no phonebook at all is an empty book, not an error.
  test::TempDir empty;
  r = runZavroctl(withInstall({"--config", empty.path(), "countries"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST(ZavroctlHelp, ListsTheCommands) {
  Result r = runZavroctl({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* command :
       {"zavroctl pops", "zavroctl countries", "zavroctl regions CC", "zavroctl cities CC [RC]", "zavroctl pop ID"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace zavro
