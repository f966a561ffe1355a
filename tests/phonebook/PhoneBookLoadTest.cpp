// PhoneBook loading: the merge by ID, the access and plug-in tests, customer POPs, tables, accessors.
#include <gtest/gtest.h>

#include <random>

#include "Records.h"
#include "phonebook/FieldScan.h"
#include "phonebook/POPIndex.h"

namespace zavro {
namespace {

using test::ids;
using test::loadBook;
using test::pop;
using test::record;

TEST(PhoneBookLoad, EqualIDsFoldIntoOnePOPWithFileOrderAndPrimaryRecord) {
  test::TestEnvironment env;
  auto book = loadBook(env,
                       {pop("US", "USNY", "New York", "200", "0x4", {{4, "555-0200"}}),
                        pop("US", "USNY", "New York", "100", "0x4", {{4, "555-0101"}, {26, "MODEM"}}),
                        pop("US", "USNY", "New York", "100", "0x3", {{4, "555-0102"}, {26, "ISDN"}})},
                       {pop("US", "USNY", "New York", "100", "0x10", {{4, "555-0103"}, {26, "BROADBAND"}}),
                        pop("US", "USCA", "Fresno", "300", "4")});
  ASSERT_EQ(ids(*book), (std::vector<std::string>{"100", "200", "300"}));
  POPRef p100 = book->popForID("100");
  ASSERT_EQ(p100->count(), 3u);
  EXPECT_EQ(p100->phone(), "555-0101");  // primary record: the first in file order
  EXPECT_EQ(p100->accessType(), 0x4u);   // from the primary record only
  EXPECT_FALSE(p100->isCustomerPOP());
  p100->setCurrentLine(2);
  EXPECT_EQ(p100->phone(), "555-0103");
  EXPECT_TRUE(book->popForID("300")->isCustomerPOP());
  EXPECT_EQ(book->indexForID("300"), 2u);
  EXPECT_EQ(book->indexForID("999"), PhoneBook::kNotFound);
  EXPECT_EQ(book->pop(-1), nullptr);
  EXPECT_EQ(book->pop(3), nullptr);
  EXPECT_EQ(book->getFields(1)[5], "200");
  // The filter by access type works on the cached bits of the primary record.
  EXPECT_EQ(ids(*book->copyAccessType(kAccessBroadband)), std::vector<std::string>{});
  EXPECT_EQ(ids(*book->copyAccessType(kAccessISDN)), std::vector<std::string>{});
}

TEST(PhoneBookLoad, RebuildingForAnAccessTypeTakesRecordsNotPOPs) {
  test::TestEnvironment env;
  auto book = loadBook(env, {pop("US", "USNY", "New York", "100", "0x4", {{4, "555-0101"}}),
                             pop("US", "USNY", "New York", "100", "0x10", {{4, "555-0102"}})});
  book->filterByAccessType(kAccessWireless);
  ASSERT_EQ(book->count(), 1u);
  EXPECT_EQ(book->pop(0)->phone(), "555-0102");
  EXPECT_EQ(book->pop(0)->accessType(), 0x10u);
}

TEST(PhoneBookLoad, PluginCodeExclusionTable) {
  const std::vector<std::string> lines = {
      pop("US", "USNY", "A", "1", "0x10", {{29, "NX.bundle"}}),
      pop("US", "USNY", "A", "2", "0x10", {{29, "GI.bundle"}}),
      pop("US", "USNY", "A", "3", "0x10", {{29, "GI"}}),
      pop("US", "USNY", "A", "4", "0x10"),
      pop("US", "USNY", "A", "5", "0x10", {{29, "WY.a.b"}}),
      pop("US", "USNY", "A", "6", "0x10", {{29, ".so"}}),
      pop("US", "USNY", "A", "7", "0x10", {{29, "gi"}}),
  };
  struct Case {
    const char* name;
    std::vector<std::string> codes;
    std::vector<std::string> taken;
  };
  const Case cases[] = {
      {"gi_and_wy", {"GI", "WY"}, {"2", "3", "4", "6"}},
      {"no_codes", {}, {"1", "2", "3", "4", "5", "6", "7"}},
      {"wy_a", {"WY.a"}, {"4", "5", "6"}},
  };
  for (const auto& c : cases) {
    test::TestEnvironment env;
    EXPECT_EQ(ids(*loadBook(env, lines, {}, c.codes)), c.taken) << c.name;
  }
}

TEST(PhoneBookLoad, AccessFieldMustHaveABitOfTheMask) {
  test::TestEnvironment env;
  auto book = loadBook(env, {
                                pop("US", "USNY", "A", "zero", "0"),
                                pop("US", "USNY", "A", "empty", ""),
                                pop("US", "USNY", "A", "word", "modem"),
                                "US,USNY,A,,,missing",
                                pop("US", "USNY", "A", "hex", "0x10"),
                                pop("US", "USNY", "A", "octal", "010"),
                                pop("US", "USNY", "A", "decimal", "12abc"),
                                "",
                            });
  EXPECT_EQ(ids(*book), (std::vector<std::string>{"decimal", "hex", "octal"}));
  EXPECT_EQ(book->popForID("octal")->accessType(), 8u);
  EXPECT_EQ(book->popForID("decimal")->accessType(), 12u);
}

TEST(PhoneBookLoad, CustomerBookAloneIsBlockZeroAndNotCustomer) {
  struct Case {
    const char* name;
    std::optional<std::string> pbook;
    bool customer;
  };
  // Only a missing or empty service book uses no block number; one with only comments still does.
  const Case cases[] = {{"missing", std::nullopt, false}, {"empty", "", false}, {"comments_only", "#VER 3\n", true}};
  for (const auto& c : cases) {
    test::TestEnvironment env;
    if (c.pbook) {
      env.writeConfig("pbook.txt", *c.pbook);
    }
    auto book = loadBook(env, {}, {"#VER 9", pop("US", "USNY", "A", "1", "4")});
    ASSERT_EQ(book->count(), 1u) << c.name;
    EXPECT_EQ(book->pop(0)->isCustomerPOP(), c.customer) << c.name;
    EXPECT_EQ(book->version(), c.pbook == "#VER 3\n" ? 3u : 9u) << c.name;
  }
}

TEST(PhoneBookLoad, VersionPrefersTheServiceBook) {
  test::TestEnvironment env;
  auto book =
      loadBook(env, {"#VER 12", pop("US", "USNY", "A", "1", "4")}, {"#VER 9", pop("US", "USNY", "A", "2", "4")});
  EXPECT_EQ(book->version(), 12u);
}

TEST(PhoneBookLoad, NamesAndLocationWithUnknownRegionOrCountry) {
  test::TestEnvironment env;
  auto book = loadBook(env, {pop("US", "USZZ", "Albany", "1", "4"), pop("ZZ", "USNY", "Nowhere", "2", "4"),
                             pop("US", "USNY", "Albany", "3", "4")});
  auto unknownRegion = book->popForID("1");
  EXPECT_EQ(unknownRegion->regionName(), std::nullopt);
  EXPECT_EQ(unknownRegion->location(), "Albany, , United States");
  EXPECT_EQ(book->popForID("2")->countryName(), std::nullopt);
  EXPECT_EQ(book->popForID("2")->location(), "Nowhere, New York, ");
  EXPECT_EQ(book->popForID("3")->location(), "Albany, New York, United States");
}

TEST(PhoneBookLoad, SSIDAndWEPTables) {
  test::TestEnvironment env;
  env.writeConfig("pop_ssid.txt", "#VER 1\nW1,Harbor\nW2,Quay\nshort\n");
  env.writeConfig("cust_pop_ssid.txt", "W2,QuayCorp\n");
  env.writeConfig("pop_wep.txt", "W1,0A1B2C\nW9,FFFF\n");
  env.writeConfig("cust_pop_wep.txt", "W2,C0DE\n");
  auto book = loadBook(env, {pop("US", "USNY", "A", "W1", "0x10"), pop("US", "USNY", "A", "W2", "0x10"),
                             pop("US", "USNY", "A", "W9", "0x10")});
  EXPECT_EQ(book->popForID("W1")->ssidString(), "Harbor");
  EXPECT_EQ(book->popForID("W1")->wepKey(), "0A1B2C");
  EXPECT_EQ(book->popForID("W2")->ssidString(), "QuayCorp");  // the customer row replaces the service row
  EXPECT_EQ(book->popForID("W2")->wepKey(), "C0DE");
  // A WEP row without an SSID row has no effect.
  EXPECT_EQ(book->popForID("W9")->ssidString(), std::nullopt);
  EXPECT_EQ(book->popForID("W9")->wepKey(), std::nullopt);
  EXPECT_EQ(PhoneBook::getSSID("W9"), nullptr);
  EXPECT_EQ(PhoneBook::getSSID("short"), nullptr);  // a row with one field is skipped
}

TEST(PhoneBookLoad, WEPFilesAloneGiveNoSSIDs) {
  test::TestEnvironment env;
  env.writeConfig("pop_wep.txt", "W1,0A1B2C\n");
  loadBook(env, {pop("US", "USNY", "A", "W1", "0x10")});
  EXPECT_EQ(PhoneBook::getSSID("W1"), nullptr);
}

TEST(PhoneBookLoad, MediaTypeSelectsTheRecordOrKeepsTheCurrentOne) {
  test::TestEnvironment env;
  auto book = loadBook(env, {pop("US", "USNY", "A", "1", "4", {{4, "m"}, {26, "MODEM"}}),
                             pop("US", "USNY", "A", "1", "3", {{4, "i"}, {26, "ISDN"}})});
  POPRef p = book->pop(0);
  EXPECT_TRUE(p->setLineWithMediaType("ISDN"));
  EXPECT_EQ(p->phone(), "i");
  EXPECT_FALSE(p->setLineWithMediaType("PHS"));
  EXPECT_EQ(p->currentLine(), 1u);
  EXPECT_EQ(p->phone(), "i");
  p->setCurrentLine(7);  // past the records: ignored
  EXPECT_EQ(p->currentLine(), 1u);
  // A copy has its own records and starts at the primary record.
  auto c = p->copy();
  EXPECT_EQ(c->phone(), "m");
  EXPECT_EQ(c->popID(), "1");
}

TEST(PhoneBookLoad, DNSFieldForms) {
  struct Case {
    const char* field;
    bool needsDNS;
    const char* address;
  };
  const Case cases[] = {
      {"1", true, ""},
      {"0", false, ""},
      {"", false, ""},
      {"192.0.2.53", true, "192.0.2.53"},
      {"0.0.0.0", true, "0.0.0.0"},
      {"256.1.1.1", false, ""},
      {"10.0.0", false, ""},
      {"10.0.0.1.5", false, ""},
      {"010.0.0.1", false, ""},
      {"1.2.3.4 ", false, ""},
      {"yes", false, ""},
  };
  test::TestEnvironment env;
  std::vector<std::string> lines;
  for (size_t i = 0; i < std::size(cases); ++i) {
    lines.push_back(pop("US", "USNY", "A", std::to_string(i), "4", {{20, cases[i].field}}));
  }
  auto book = loadBook(env, lines);
  for (size_t i = 0; i < std::size(cases); ++i) {
    POPRef p = book->popForID(std::to_string(i));
    EXPECT_EQ(p->requiresDNS(), cases[i].needsDNS) << cases[i].field;
    EXPECT_EQ(p->DNSAddress(), cases[i].address) << cases[i].field;
  }
}

TEST(PhoneBookTables, RowsLookupsAndShortRowsSkipped) {
  test::TestEnvironment env;
  env.writeConfig("country.txt",
                  "US,1,United States,0\nXX,99\nGB,44,United Kingdom,  2x\nAA,7,Aland\n\nZZ,1,Aland,1\n");
  env.writeConfig("region.txt", "US,USNY,New York\nUS,USCA,California\nUS,USC2,California\nGB,GBENG\n");
  PhoneBook::create()->load({});
  EXPECT_EQ(PhoneBook::countryCount(), 4);
  EXPECT_EQ(PhoneBook::countryTableNames(),
            (std::vector<std::string>{"Aland", "Aland", "United Kingdom", "United States"}));
  EXPECT_EQ(PhoneBook::countryNameForCode("XX"), std::nullopt);
  EXPECT_EQ(PhoneBook::countryCodeForName("Aland"), "ZZ");  // a later row wins the name
  EXPECT_EQ(PhoneBook::countryTAPICode("GB"), "44");
  EXPECT_EQ(PhoneBook::countryAllCitySortOrderForCode("GB"), 2);
  EXPECT_EQ(PhoneBook::countryAllCitySortOrderForCode("AA"), 0);  // no field 3
  EXPECT_EQ(PhoneBook::countryAllCitySortOrderForCode("QQ"), 0);
  EXPECT_EQ(PhoneBook::countRegionsForCountryCode("US"), 3);
  EXPECT_EQ(PhoneBook::countRegionsForCountryCode("GB"), 0);
  EXPECT_EQ(PhoneBook::regionNamesForCountryCode("US"), (std::vector<std::string>{"California", "New York"}));
  EXPECT_EQ(PhoneBook::regionNamesForCountryName("United States").size(), 2u);
  EXPECT_EQ(PhoneBook::regionCodeForName("California"), "USC2");
  EXPECT_EQ(PhoneBook::regionNameForCode("USCA"), "California");
}

TEST(PhoneBookTables, BuiltOncePerEnvironment) {
  {
    test::TestEnvironment env;
    env.writeConfig("country.txt", "US,1,United States,0\n");
    PhoneBook::create()->load({});
    env.writeConfig("country.txt", "US,1,Changed,0\n");
    PhoneBook::create()->load({});
    EXPECT_EQ(PhoneBook::countryNameForCode("US"), "United States");
  }
  test::TestEnvironment fresh;
  EXPECT_EQ(PhoneBook::countryCount(), 0);  // nothing built yet in this environment
  fresh.writeConfig("country.txt", "US,1,Changed,0\n");
  PhoneBook::create()->load({});
  EXPECT_EQ(PhoneBook::countryNameForCode("US"), "Changed");
}

TEST(PhoneBookLoad, DescriptionOfAPOP) {
  test::TestEnvironment env;
  env.writeConfig("pop_ssid.txt", "7,Net\n");
  auto book = loadBook(env, {pop("US", "USZZ", "Albany", "7", "0x10",
                                 {{3, "518"},
                                  {4, "555-0107"},
                                  {14, "0.10"},
                                  {15, "56000"},
                                  {26, "BROADBAND"},
                                  {27, "B1"},
                                  {29, "GI"},
                                  {30, "11000"}})});
  EXPECT_EQ(book->pop(0)->description(),
            "POP: 7\n"
            "United States, (null), Albany, 518, 555-0107\n"
            "Billing: B1, Pricing: BROADBAND, Rate: 0.10\n"
            "Modem: 56000, Access: 0x0010, BBSpeed: 11000, Access: GI, SSID: Net\n");
}

TEST(POPIndexAPI, AddWithAndWithoutMergeThenMerge) {
  test::TestEnvironment env;
  auto book = loadBook(env, {});
  auto file = CSVFile::fileWithData(
      test::joinLines({pop("US", "USNY", "A", "b", "4", {{4, "1"}}), pop("US", "USNY", "A", "a", "4", {{4, "2"}}),
                       pop("US", "USNY", "A", "b", "8", {{4, "3"}})}));
  book->loadWithPhoneFile(file, {});
  auto index = POPIndex::popIndex(book);
  auto first = index->addPop("b", file->getLine(0), false);
  index->addPop("a", file->getLine(1), true);
  index->addPop("b", file->getLine(2), false);
  ASSERT_EQ(index->count(), 3u);
  index->merge();
  ASSERT_EQ(index->count(), 2u);
  EXPECT_EQ(index->popAtIndex(0)->popID(), "a");
  EXPECT_EQ(index->popAtIndex(1), first);
  EXPECT_EQ(first->count(), 2u);
  EXPECT_EQ(first->accessType(), 4u);
  EXPECT_EQ(index->addPop("a", file->getLine(2), true)->count(), 2u);
  EXPECT_EQ(index->indexForID("zz"), 0x7FFFFFFFu);
  EXPECT_EQ(index->popAtIndex(5), nullptr);
}

TEST(POPIndexAPI, LongIDsCompareInFull) {
  test::TestEnvironment env;
  const std::string base(70, 'x');
  auto book = loadBook(env, {pop("US", "USNY", "A", base + "1", "4"), pop("US", "USNY", "A", base + "2", "4"),
                             pop("US", "USNY", "A", base + "1", "4")});
  ASSERT_EQ(book->count(), 2u);
  EXPECT_EQ(book->pop(0)->popID(), base + "1");
  EXPECT_EQ(book->pop(0)->count(), 2u);
}

TEST(POPIndexAPI, IDOrderIsByteOrderAcrossPrefixLengths) {
  test::TestEnvironment env;
  const std::vector<std::string> order = {"1",
                                          "12345678",
                                          "123456780",
                                          "1234567800000000",
                                          "12345678000000000",
                                          "123456780000000001",
                                          "123456780000000002",
                                          "1234567801",
                                          "9",
                                          "\x80"};
  std::vector<std::string> lines;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    lines.push_back(pop("US", "USNY", "A", *it, "4"));
    lines.push_back(pop("US", "USNY", "A", *it, "4"));
  }
  auto book = loadBook(env, lines);
  EXPECT_EQ(ids(*book), order);
  for (unsigned i = 0; i < book->count(); ++i) {
    EXPECT_EQ(book->pop(static_cast<int>(i))->count(), 2u) << i;
  }
}

// The one-pass record scanner works on 64-byte masks: lines long enough to cross several of them,
// with quotes, blanks and commas at every position (also at the ends of the masks), must give the
// fields CSVFile::field finds one by one.
TEST(PhoneBookLoad, RecordScannerAgreesWithTheFieldReader) {
  std::mt19937 rng(11);
  const char kBytes[] = {'a', 'b', ',', ',', ',', '"', ' ', '\t', '\x80', '7'};
  for (int round = 0; round < 3000; ++round) {
    std::string line(std::uniform_int_distribution<size_t>(0, 260)(rng), 'x');
    for (char& c : line) {
      c = kBytes[std::uniform_int_distribution<size_t>(0, sizeof kBytes - 1)(rng)];
    }
    auto file = CSVFile::fileWithData(line + "\n");
    if (file->count() == 0) {
      continue;
    }
    const LineEntry& entry = file->getLine(0);
    FieldRef fields[200];
    const int limit = std::uniform_int_distribution<int>(1, 200)(rng);
    const int n = phonebook_detail::scanFields(entry, fields, limit);
    for (int i = 0; i < limit; ++i) {
      const FieldRef expected = CSVFile::field(i, entry);
      ASSERT_EQ(i < n, expected.present()) << line << " field " << i;
      if (i < n) {
        ASSERT_EQ(fields[i].data, expected.data) << line << " field " << i;
        ASSERT_EQ(fields[i].length, expected.length) << line << " field " << i;
      }
    }
  }
}

TEST(PhoneBookLoad, POPsOutliveTheirBook) {
  test::TestEnvironment env;
  POPRef kept;
  std::weak_ptr<PhoneBook> weak;
  {
    auto book = loadBook(env, {pop("US", "USNY", "Albany", "1", "4")});
    kept = book->pop(0);
    weak = book;
    EXPECT_EQ(kept->phoneBook(), book);
  }
  EXPECT_TRUE(weak.expired());  // POPs do not keep their book alive
  EXPECT_EQ(kept->city(), "Albany");
  EXPECT_EQ(kept->copy()->city(), "Albany");
}

}  // namespace
}  // namespace zavro
