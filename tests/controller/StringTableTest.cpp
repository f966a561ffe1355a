// String tables: the default text when no table has the key, entries of Resources/<table>.strings otherwise.
#include <gtest/gtest.h>

#include "common/StringTable.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

TEST(StringTableTest, LooksUpTheNamedTableAndFallsBackToTheDefault) {
  test::TestEnvironment env;
  env.root().write("install/Resources/Error.strings",
                   "/* alerts */\n\"DidNotConnect\" = \"Keine Verbindung.\";\n"
                   "// a broken line, then one with escapes\n\"Broken\" = ;\n\"Quote\" = \"a \\\"b\\\"\\n\";\n");
  EXPECT_EQ(localizedString("DidNotConnect", "Dialing timed out.", "Error"), "Keine Verbindung.");
  EXPECT_EQ(localizedString("Quote", "x", "Error"), "a \"b\"\n");
  EXPECT_EQ(localizedString("Broken", "fallback", "Error"), "fallback");
  EXPECT_EQ(localizedString("Missing", "Missing text", "Error"), "Missing text");
  EXPECT_EQ(localizedString("DidNotConnect", "Dialing timed out.", "Status"), "Dialing timed out.");  // no such file
}

}  // namespace
}  // namespace zavro
