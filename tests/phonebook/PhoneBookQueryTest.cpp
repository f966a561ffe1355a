// PhoneBook queries: copies, filters, the POP order with its tie-breaks, name lists and getters.
#include <gtest/gtest.h>

#include <random>

#include "Records.h"

namespace zavro {
namespace {

using test::ids;
using test::loadBook;
using test::pop;

// A book narrowed to one country (no country index), ready to sort.
std::shared_ptr<PhoneBook> countryBook(const std::shared_ptr<PhoneBook>& master, const std::string& cc) {
  auto book = master->copyAccessType(kAccessAll);
  book->filterByCountryCode(cc);
  return book;
}

TEST(PhoneBookFilters, CountryFilterWorksOnceAndUnknownCodeEmpties) {
  test::TestEnvironment env;
  auto master = loadBook(
      env, {pop("US", "USNY", "A", "1", "4"), pop("GB", "GBENG", "B", "2", "4"), pop("US", "USCA", "C", "3", "4")});
  auto us = master->copyAccessType(kAccessAll);
  ASSERT_TRUE(us->hasCountryIndex());
  us->filterByCountryCode("US");
  EXPECT_EQ(ids(*us), (std::vector<std::string>{"1", "3"}));
  EXPECT_FALSE(us->hasCountryIndex());
  us->filterByCountryCode("GB");  // already narrowed: nothing happens
  EXPECT_EQ(ids(*us), (std::vector<std::string>{"1", "3"}));
  auto none = master->copyAccessType(kAccessAll);
  none->filterByCountryCode("QQ");
  EXPECT_EQ(none->count(), 0u);
  EXPECT_EQ(master->count(), 3u);  // copies never change their source
  EXPECT_EQ(us->copy()->hasCountryIndex(), false);
}

TEST(PhoneBookFilters, RegionAndCityKeepAllCityPOPs) {
  test::TestEnvironment env;
  auto master = loadBook(
      env, {pop("US", "USNY", "Albany", "1", "4"), pop("US", "USCA", "Fresno", "2", "4"),
            pop("US", "", "Nationwide", "3", "4", {{24, "1"}}), pop("US", "USCA", "Albany", "4", "4", {{24, "1x"}}),
            pop("US", "USCA", "Albany", "5", "4", {{3, "518"}})});
  auto region = countryBook(master, "US");
  region->filterByRegionCode("USNY");
  EXPECT_EQ(ids(*region), (std::vector<std::string>{"1", "3"}));
  auto city = countryBook(master, "US");
  city->filterByCity("Fresno");
  EXPECT_EQ(ids(*city), (std::vector<std::string>{"2", "3"}));  // "1x" is not an all-city flag here
  auto area = master->copyAccessType(kAccessAll);
  area->filterByAreaCode("518");
  EXPECT_FALSE(area->hasCountryIndex());
  EXPECT_EQ(ids(*area), (std::vector<std::string>{"5"}));
  auto field = countryBook(master, "US");
  field->filterByField(2, "Albany");
  EXPECT_EQ(ids(*field), (std::vector<std::string>{"1", "4", "5"}));
  EXPECT_TRUE(region->getAllCityForIndex(1));
  EXPECT_FALSE(region->getAllCityForIndex(0));
}

TEST(PhoneBookFilters, CopyAccessTypeAndCopy) {
  test::TestEnvironment env;
  auto master = loadBook(
      env,
      {pop("US", "USNY", "A", "1", "0x4"), pop("US", "USNY", "A", "2", "0x10"), pop("GB", "GBENG", "B", "3", "0x18")},
      {}, {"GI"});
  auto wireless = master->copyAccessType(kAccessWireless);
  EXPECT_EQ(ids(*wireless), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(wireless->accessType(), kAccessWireless);
  EXPECT_EQ(wireless->pop(0), master->pop(1));  // POPs are shared
  EXPECT_TRUE(wireless->authTypes().empty());
  auto same = master->copy();
  EXPECT_EQ(same->authTypes(), std::vector<std::string>{"GI"});
  same->filterByCountryCode("GB");
  EXPECT_EQ(ids(*same), std::vector<std::string>{"3"});
  EXPECT_EQ(master->count(), 3u);
  EXPECT_TRUE(master->hasCountryIndex());
  same->filterByAccessType(kAccessModem);  // dial-up: plug-in codes go, index rebuilt from records
  EXPECT_TRUE(same->authTypes().empty());
  EXPECT_EQ(ids(*same), std::vector<std::string>{"1"});
}

struct SortCase {
  const char* name;
  int field;
  signed char ascending;
  bool customerFirst;
  std::vector<std::string> expected;
};

TEST(PhoneBookSort, OrderAndTieBreaks) {
  test::TestEnvironment env;
  // Cities, rates, area code + phone and field 25 chosen so that every tie-break is needed somewhere.
  auto master =
      loadBook(env,
               {
                   pop("US", "USNY", "Boston", "s1", "4", {{3, "212"}, {4, "555-0002"}, {14, "1.25"}, {25, "2"}}),
                   pop("US", "USNY", "Boston", "s2", "4", {{3, "212"}, {4, "555-0001"}, {14, "3.5"}, {25, "1"}}),
                   pop("US", "USCA", "\xC3\x89vry", "s3", "4", {{3, "100"}, {4, "555-0009"}, {14, "1.25"}, {25, "3"}}),
                   pop("US", "USCA", "Albany", "s4", "4", {{3, "518"}, {4, "555-0003"}, {14, "0.5"}, {25, "0"}}),
               },
               {pop("US", "USNY", "Boston", "c1", "4", {{3, "212"}, {4, "555-0002"}, {14, "1.25"}, {25, "9"}})});
  const SortCase cases[] = {
      {"city_customer_first", 2, 1, true, {"s3", "s4", "c1", "s2", "s1"}},
      {"city_customer_last", 2, 1, false, {"s3", "s4", "s2", "s1", "c1"}},
      {"city_descending_customer_first", 2, 0, true, {"c1", "s2", "s1", "s4", "s3"}},
      {"rate_descending", 14, 0, false, {"s2", "s1", "s3", "c1", "s4"}},
      {"rate_ascending_customer_first", 14, 1, true, {"s4", "c1", "s1", "s3", "s2"}},
      {"phone", 4, 1, false, {"s3", "s2", "s1", "c1", "s4"}},
      {"phone_descending", 4, 0, true, {"s4", "c1", "s1", "s2", "s3"}},
      {"field_25", 25, 1, false, {"s4", "s2", "s1", "s3", "c1"}},
      {"default_region_then_city", -1, 0, false, {"s3", "s4", "s2", "s1", "c1"}},
  };
  for (const auto& c : cases) {
    auto book = countryBook(master, "US");
    book->setSortCustomerPOPsFirst(c.customerFirst);
    book->sortByField(c.field, c.ascending);
    EXPECT_EQ(ids(*book), c.expected) << c.name;
  }
}

TEST(PhoneBookSort, AllCityPlacementFollowsTheCountryTable) {
  test::TestEnvironment env;
  // US: all-city POPs first (order 0); GB: after the others (order 1).
  auto master = loadBook(env, {pop("US", "USNY", "Albany", "u1", "4"), pop("US", "", "Zzz", "u2", "4", {{24, "1"}}),
                               pop("US", "USCA", "Fresno", "u3", "4", {{24, "1x"}}),
                               pop("GB", "GBENG", "Leeds", "g1", "4"), pop("GB", "", "Aaa", "g2", "4", {{24, "1"}})});
  auto us = countryBook(master, "US");
  us->sortByField(-1, 1);
  // "1x" begins with 1: an all-city POP for the order even though the filters do not treat it so.
  EXPECT_EQ(ids(*us), (std::vector<std::string>{"u2", "u3", "u1"}));
  auto gb = countryBook(master, "GB");
  gb->sortByField(-1, 1);
  EXPECT_EQ(ids(*gb), (std::vector<std::string>{"g1", "g2"}));
}

TEST(PhoneBookSort, BookWithCountryIndexKeepsItsOrder) {
  test::TestEnvironment env;
  auto master = loadBook(env, {pop("US", "USNY", "Zed", "1", "4"), pop("US", "USNY", "Abe", "2", "4")});
  auto book = master->copyAccessType(kAccessAll);
  book->sortByField(2, 1);
  EXPECT_EQ(ids(*book), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(book->sortField(), 2);
  book->filterByAreaCode("");  // drops the country index: now it sorts
  book->sort();
  EXPECT_EQ(ids(*book), (std::vector<std::string>{"2", "1"}));
}

// The sort numbers the distinct values of each key field and compares their first sixteen bytes as
// numbers; it must give exactly the order of the plain field-by-field comparison. The values below
// meet at the eight- and sixteen-byte marks, differ only past them, hold 0x80 bytes where a missing
// byte would be (both read as zero in a prefix) and repeat often, so that every tie path is taken.
TEST(PhoneBookSort, MatchesTheComparisonFunctionOnRandomBooks) {
  test::TestEnvironment env;
  std::mt19937 rng(7);
  auto pick = [&](std::initializer_list<const char*> values) {
    return std::string(*(values.begin() + std::uniform_int_distribution<size_t>(0, values.size() - 1)(rng)));
  };
  std::vector<std::string> pbook, cbook;
  std::vector<std::string> twoRecordIDs;
  for (int i = 0; i < 400; ++i) {
    // Every ninth ID has a second record, so that a POP's current record can differ from its primary.
    const std::string id = std::to_string(i % 9 == 8 ? i - 1 : i);
    if (i % 9 == 8) {
      twoRecordIDs.push_back(id);
    }
    auto line = pop("US", pick({"USNY", "USCA", "", "\x80R"}),
                    pick({"Ab", "Abc", "ab", "\xE9t\xE9", "Abcdefghij", "", "Abcdefgh", "Abcdefgh\x80",
                          "Abcdefgh\x80\x80", "Abcdefgh\x7F", "Abcdefghijklmnop", "Abcdefghijklmnop\x80",
                          "Abcdefghijklmnopq", "Abcdefghijklmnop\xFFz", "Abcdefghijklmnopqrstuvwxyz"}),
                    id, "4",
                    {{3, pick({"1", "12", "2", "12345678", "12345678\x80"})},
                     {4, pick({"5", "55", "555-0101", "555-0101-2345-67", "555-0101-2345-678", "555-0101-2345-6\x80"})},
                     {14, pick({"1.25", "3.5", "1.250", "x", "-2", "1e999", "-1e999", "0", "-0", "0.0"})},
                     {15, pick({"56000", "9600", ""})},
                     {24, pick({"0", "1", "1x", ""})},
                     {25, pick({"1", "2", "10", "", "10000000000000001", "10000000000000002", "1000000000000000\x80"})},
                     {31, pick({"\"Hotel, Bay\"", "Cafe", "", "\"Kalo Hotel, Bayside Tower\"",
                                "\"Kalo Hotel, Bayside Towers\""})}});
    (i % 5 == 0 ? cbook : pbook).push_back(line);
  }
  auto master = loadBook(env, pbook, cbook);
  for (const std::string& id : twoRecordIDs) {
    if (POPRef p = master->popForID(id); p && p->count() > 1) {
      p->setCurrentLine(1);  // the rate is read from the current record
    }
  }
  for (int field : {-1, 2, 3, 4, 14, 15, 25, 31, 40}) {
    for (signed char ascending : {1, 0}) {
      for (bool customerFirst : {true, false}) {
        auto fast = countryBook(master, "US");
        fast->setSortCustomerPOPsFirst(customerFirst);
        auto plain = fast->copy();
        plain->setSortCustomerPOPsFirst(customerFirst);
        fast->sortByField(field, ascending);
        plain->sortByField(field, ascending);  // sets the key; then the reference order over the result
        plain->popIndex()->setPopEntries(countryBook(master, "US")->popIndex()->pops());
        plain->popIndex()->sortUsingFunction(&PhoneBook::comparePOPs, plain.get());
        ASSERT_EQ(ids(*fast), ids(*plain)) << field << " " << int(ascending) << " " << customerFirst;
      }
    }
  }
}

TEST(PhoneBookLists, NamesInByteOrder) {
  test::TestEnvironment env;
  auto master = loadBook(env, {pop("US", "USNY", "Troy", "1", "4"), pop("US", "USCA", "Fresno", "2", "4"),
                               pop("US", "USZZ", "Troy", "3", "4"), pop("QQ", "", "Nowhere", "4", "4"),
                               pop("GB", "GBENG", "Leeds", "5", "0x10"), pop("FR", "FRIDF", "Paris", "6", "4")});
  EXPECT_EQ(master->countryNames(), (std::vector<std::string>{"France", "United Kingdom", "United States"}));
  EXPECT_EQ(master->copyAccessType(kAccessModem)->countryNames(),
            (std::vector<std::string>{"France", "United States"}));
  auto us = countryBook(master, "US");
  EXPECT_TRUE(us->countryNames().empty());
  EXPECT_EQ(us->regionNames(), (std::vector<std::string>{"California", "New York"}));
  EXPECT_EQ(us->getCityNames(), (std::vector<std::string>{"Fresno", "Troy"}));
}

TEST(PhoneBookLists, PerPositionGettersAndNextPOP) {
  test::TestEnvironment env;
  auto master =
      loadBook(env, {pop("US", "USNY", "Troy", "1", "4",
                         {{3, "518"}, {4, "555-0101"}, {14, "0.25"}, {15, "56000"}, {31, "\"Inn, Main St\""}}),
                     pop("US", "USCA", "Fresno", "2", "4"), pop("US", "USNY", "Troy", "3", "4")});
  auto us = countryBook(master, "US");
  EXPECT_EQ(us->getRegionIDForIndex(0), "USNY");
  EXPECT_EQ(us->getRegionNameForIndex(0), "New York");
  EXPECT_EQ(us->getCityNameForIndex(0), "Troy");
  EXPECT_EQ(us->getAreaCodeForIndex(0), "518");
  EXPECT_EQ(us->getPhoneForIndex(0), "555-0101");
  EXPECT_EQ(us->getSpeedForIndex(0), "56000");
  EXPECT_DOUBLE_EQ(us->getRateForIndex(0), 0.25);
  EXPECT_EQ(us->getLocationForIndex(0), "Inn, Main St");
  EXPECT_EQ(us->getFieldAsInt(15, 0), 56000);
  EXPECT_EQ(us->getFieldAsString(2, 1), "Fresno");
  EXPECT_EQ(us->getCityNameForIndex(9), "");
  EXPECT_EQ(us->getRegionNameForIndex(9), std::nullopt);

  EXPECT_EQ(us->nextPOP(PhoneBook::kNotFound, "Troy")->popID(), "1");  // starts at position 0
  EXPECT_EQ(us->nextPOP(0, "Troy")->popID(), "3");
  EXPECT_EQ(us->nextPOP(2, "Troy"), nullptr);  // from the last position
  EXPECT_EQ(us->nextPOP(PhoneBook::kNotFound, "Nowhere"), nullptr);
}

}  // namespace
}  // namespace zavro
