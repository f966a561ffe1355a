// Preferences: conversions, defaults, the section marker, copies, and what reaches the domain.
#include <gtest/gtest.h>

#include <clocale>
#include <thread>

#include "settings/Preferences.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

using Dict = PropertyList::Dictionary;
using Array = PropertyList::Array;

class PreferencesTest : public ::testing::Test {
 protected:
  std::shared_ptr<PersistentDomain> freshDomain() { return std::make_shared<PersistentDomain>(path); }

  test::TestEnvironment env;
  std::string path = env.env().preferencesFile();
};

TEST(PreferencesConversions, ScalarsAreStoredAsStringsAndReadBack) {
  struct BoolRow {
    const char* stored;
    bool expected;
  };
  const BoolRow bools[] = {{"YES", true},   {"yes", true},  {"Yes", true}, {"1", true},  {"-1", true},
                           {"12abc", true}, {"2", true},    {"NO", false}, {"0", false}, {"", false},
                           {"true", false}, {"abc", false}, {" 7", true}};
  for (const auto& row : bools) {
    EXPECT_EQ(Preferences::boolFromObject(PropertyList(row.stored)), row.expected) << '"' << row.stored << '"';
  }
  EXPECT_FALSE(Preferences::boolFromObject(std::nullopt));
  EXPECT_FALSE(Preferences::boolFromObject(PropertyList(Array{PropertyList("YES")})));

  EXPECT_EQ(*Preferences::objectFromInteger(-5).string(), "-5");
  EXPECT_EQ(*Preferences::objectFromFloat(0.5f).string(), "0.500000");
  EXPECT_EQ(*Preferences::objectFromFloat(2.5f).string(), "2.500000");
  EXPECT_EQ(*Preferences::objectFromBool(true).string(), "YES");
  EXPECT_EQ(*Preferences::objectFromBool(false).string(), "NO");

  EXPECT_EQ(Preferences::integerFromObject(PropertyList("12abc")), 12);
  EXPECT_EQ(Preferences::integerFromObject(PropertyList("  -7")), -7);
  EXPECT_EQ(Preferences::integerFromObject(PropertyList("abc")), 0);
  EXPECT_EQ(Preferences::integerFromObject(PropertyList(Array{PropertyList("3")})), 0);
  EXPECT_EQ(Preferences::integerFromObject(PropertyList::data("3")), 0);
  EXPECT_FLOAT_EQ(Preferences::floatFromObject(PropertyList("2.500000")), 2.5f);
  EXPECT_FLOAT_EQ(Preferences::floatFromObject(PropertyList("x")), 0.0f);
}

TEST(PreferencesConversions, FloatsIgnoreTheProcessLocale) {
  // A desktop program takes LC_NUMERIC from the environment; stored numbers must not follow it.
  const char* old = setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(*Preferences::objectFromFloat(2.5f).string(), "2.500000");
  EXPECT_FLOAT_EQ(Preferences::floatFromObject(PropertyList("2.5")), 2.5f);
  setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(PreferencesTest, FreshUserReadsDefaultsAndWritesOnlyWhatWasSet) {
  Preferences prefs(freshDomain());
  prefs.setDefaultBool(false, "SmartRedial", "Connect");
  prefs.setDefaultInteger(120, "DialTimeout", "Connect");
  prefs.setDefaultObject(PropertyList("US"), "FromCountryCode", "Prefix");
  EXPECT_FALSE(prefs.boolForKey("SmartRedial", "Connect"));
  EXPECT_EQ(prefs.integerForKey("DialTimeout", "Connect"), 120);
  EXPECT_EQ(prefs.stringForKey("FromCountryCode", "Prefix"), "US");
  EXPECT_EQ(prefs.dictionaryForSection("Connect"), nullptr);

  prefs.setBool(true, "SmartRedial", "Connect");
  ASSERT_TRUE(prefs.synchronize());

  Dict written = PersistentDomain(path).persistentDomain();
  EXPECT_EQ(written.size(), 1u);  // nothing for "Prefix", which only has defaults
  EXPECT_EQ(written.at("Connect"), PropertyList(Dict{{"SmartRedial", "YES"}, {"Sectional_Lw38lUNn8", "YES"}}));
  // The live map carries the marker from now on.
  EXPECT_EQ(prefs.stringForKey("Sectional_Lw38lUNn8", "Connect"), "YES");
}

TEST_F(PreferencesTest, OnlyMarkedMapsAreLoadedAndOthersAreLeftAlone) {
  struct Row {
    const char* name;
    std::optional<PropertyList> marker;
    bool loaded;
  };
  const Row rows[] = {
      {"Yes1", PropertyList("yes"), true},
      {"One", PropertyList("1"), true},
      {"UpperNo", PropertyList("NO"), false},
      {"Zero", PropertyList("0"), false},
      {"Missing", std::nullopt, false},
      {"Empty", PropertyList(""), false},
      {"NotText", PropertyList(Array{PropertyList("YES")}), false},
  };
  PersistentDomain seed(path);
  for (const auto& row : rows) {
    Dict map{{"k", row.name}};
    if (row.marker) map["Sectional_Lw38lUNn8"] = *row.marker;
    seed.setObject(row.name, map);
  }
  seed.setObject("NSWindow Frame", PropertyList("0 0 10 10"));
  seed.setObject("ListWithMarker", Array{PropertyList("Sectional_Lw38lUNn8")});
  ASSERT_TRUE(seed.synchronize());

  Preferences prefs(freshDomain());
  for (const auto& row : rows) {
    EXPECT_EQ(prefs.dictionaryForSection(row.name) != nullptr, row.loaded) << row.name;
    if (row.loaded) {
      EXPECT_EQ(prefs.stringForKey("k", row.name), row.name);
    }
  }
  prefs.setObject(PropertyList("v"), "k", "Yes1");
  ASSERT_TRUE(prefs.synchronize());
  Dict after = PersistentDomain(path).persistentDomain();
  EXPECT_EQ(after.at("NSWindow Frame"), PropertyList("0 0 10 10"));
  EXPECT_EQ(after.at("UpperNo"), seed.persistentDomain().at("UpperNo"));
  EXPECT_EQ(after.at("Missing"), seed.persistentDomain().at("Missing"));
  EXPECT_EQ(*after.at("Yes1").find("k")->string(), "v");
}

TEST_F(PreferencesTest, UserValueComesFirstEvenOfTheWrongKind) {
  Preferences prefs(freshDomain());
  prefs.setDefaultObject(PropertyList("default"), "Name", "S");
  EXPECT_EQ(prefs.stringForKey("Name", "S"), "default");
  prefs.setObject(PropertyList(Array{PropertyList("a")}), "Name", "S");
  EXPECT_EQ(prefs.stringForKey("Name", "S"), std::nullopt);  // the list hides the default string
  EXPECT_EQ(prefs.integerForKey("Name", "S"), 0);
  EXPECT_EQ(prefs.arrayForKey("Name", "S")->size(), 1u);

  // A null object changes nothing; removal brings the default back.
  prefs.setObject(PropertyList("mine"), "Name", "S");
  prefs.setObject(std::nullopt, "Name", "S");
  EXPECT_EQ(prefs.stringForKey("Name", "S"), "mine");
  prefs.removeObjectForKey("Name", "S");
  EXPECT_EQ(prefs.stringForKey("Name", "S"), "default");

  // Even a null object creates the section.
  prefs.setObject(std::nullopt, "k", "Brand new");
  ASSERT_NE(prefs.dictionaryForSection("Brand new"), nullptr);
  EXPECT_TRUE(prefs.dictionaryForSection("Brand new")->empty());
  // A null default still creates the default map.
  prefs.setDefaultObject(std::nullopt, "k", "Defaults only");
  ASSERT_NE(prefs.defaultDictionaryForSection("Defaults only"), nullptr);
}

TEST_F(PreferencesTest, StoredValuesAreCopies) {
  Preferences prefs(freshDomain());
  Array list{PropertyList("a")};
  prefs.setObject(PropertyList(list), "List", "S");
  list.push_back(PropertyList("b"));
  EXPECT_EQ(prefs.arrayForKey("List", "S")->size(), 1u);

  auto read = prefs.arrayForKey("List", "S");
  read->push_back(PropertyList("c"));
  EXPECT_EQ(prefs.arrayForKey("List", "S")->size(), 1u);

  Array holder;
  Dict item{{"k", "v"}};
  prefs.addObject(PropertyList(item), &holder);
  item["k"] = PropertyList("changed");
  EXPECT_EQ(*prefs.dictionaryAtIndex(0, &holder)->at("k").string(), "v");
}

TEST_F(PreferencesTest, SectionsAreLiveMaps) {
  Preferences prefs(freshDomain());
  auto map = prefs.newSection("Live");
  prefs.setInteger(3, "n", map.get());
  EXPECT_EQ(prefs.integerForKey("n", "Live"), 3);

  auto replaced = std::make_shared<Dict>(Dict{{"n", "4"}});
  prefs.setDictionary(replaced, "Live");
  EXPECT_EQ(prefs.dictionaryForSection("Live"), replaced);
  EXPECT_EQ(prefs.integerForKey("n", "Live"), 4);

  // The Dictionaries operations on a null map read as absent and change nothing.
  EXPECT_EQ(prefs.objectForKey("n", static_cast<const Dict*>(nullptr)), std::nullopt);
  prefs.setObject(PropertyList("x"), "n", static_cast<Dict*>(nullptr));
  prefs.removeObjectForKey("n", static_cast<Dict*>(nullptr));
  EXPECT_FALSE(prefs.boolForKey("n", static_cast<const Dict*>(nullptr)));
}

TEST_F(PreferencesTest, ArrayOperationsIgnoreIndexesPastTheEnd) {
  Preferences prefs(freshDomain());
  Array list{PropertyList("a"), PropertyList("7")};
  EXPECT_EQ(prefs.objectsInArray(&list), 2u);
  EXPECT_EQ(prefs.objectAtIndex(2, &list), std::nullopt);
  prefs.setObject(PropertyList("z"), 2, &list);
  prefs.removeObjectAtIndex(2, &list);
  EXPECT_EQ(list, (Array{PropertyList("a"), PropertyList("7")}));
  EXPECT_EQ(prefs.integerAtIndex(1, &list), 7);
  prefs.setBool(true, 0, &list);
  EXPECT_EQ(prefs.stringAtIndex(0, &list), "YES");
  prefs.removeObjectAtIndex(0, &list);
  EXPECT_EQ(prefs.objectsInArray(&list), 1u);

  EXPECT_EQ(prefs.objectsInArray(nullptr), 0u);
  EXPECT_EQ(prefs.objectAtIndex(0, nullptr), std::nullopt);
  prefs.addObject(PropertyList("x"), nullptr);
  prefs.addObject(std::nullopt, &list);
  EXPECT_EQ(prefs.objectsInArray(&list), 1u);
}

TEST_F(PreferencesTest, RemovedSectionKeepsItsLastWrittenCopy) {
  {
    Preferences prefs(freshDomain());
    prefs.setObject(PropertyList("1"), "k", "Gone");
    ASSERT_TRUE(prefs.synchronize());
    prefs.removeSection("Gone");
    EXPECT_EQ(prefs.dictionaryForSection("Gone"), nullptr);
    prefs.setObject(PropertyList("2"), "k", "Other");
    ASSERT_TRUE(prefs.synchronize());
  }
  Preferences next(freshDomain());
  EXPECT_EQ(next.stringForKey("k", "Gone"), "1");
  EXPECT_EQ(next.stringForKey("k", "Other"), "2");
}

TEST_F(PreferencesTest, KeysRemovedFromASectionAreGoneAfterTheNextWrite) {
  {
    Preferences prefs(freshDomain());
    prefs.setObject(PropertyList("1"), "a", "S");
    prefs.setObject(PropertyList("2"), "b", "S");
    ASSERT_TRUE(prefs.synchronize());
    prefs.removeObjectForKey("a", "S");
    ASSERT_TRUE(prefs.synchronize());
  }
  Preferences next(freshDomain());
  EXPECT_EQ(next.stringForKey("a", "S"), std::nullopt);
  EXPECT_EQ(next.stringForKey("b", "S"), "2");
}

TEST_F(PreferencesTest, ManyThreadsAtOnce) {
  Preferences prefs(freshDomain());
  auto shared = prefs.newSection("Shared");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Array mine;
      for (int i = 0; i < 500; ++i) {
        prefs.setInteger(i, "k" + std::to_string(t), "Shared");
        prefs.setInteger(i, "d" + std::to_string(t), shared.get());
        prefs.addObject(PropertyList("x"), &mine);
        (void)prefs.integerForKey("k0", "Shared");
        if (i % 100 == 0) prefs.synchronize();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(prefs.integerForKey("k" + std::to_string(t), "Shared"), 499);
    EXPECT_EQ(prefs.integerForKey("d" + std::to_string(t), "Shared"), 499);
  }
}

}  // namespace
}  // namespace zavro
