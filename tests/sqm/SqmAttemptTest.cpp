// A new attempt's record from a real POP of the demo phonebook and the user's settings.
#include <gtest/gtest.h>

#include "phonebook/POP.h"
#include "phonebook/PhoneBook.h"
#include "settings/UserPrefs.h"
#include "sqm/SqmRecord.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

TEST(SqmAttempt, NewRecordFromPOPAndSettings) {
  test::TestEnvironment env;
  env.useDemoConfiguration();
  env.writeConfig("config.ini", "[Profile]\nProfileID=4711\n");
  env.apply();
  auto user = UserPrefs::userPrefs();
  user->setDomain("corp.example");
  user->setDialDevice("Modem Port");

  auto book = std::make_shared<PhoneBook>();
  book->load({"GI", "WY", "NX", "IT"});
  auto modem = book->popForID("100101");
  ASSERT_TRUE(modem);
  auto record = SqmRecord::newRecordWithPOP(*modem, 0x4, "");
  EXPECT_TRUE(record->lockIsHeld());
  EXPECT_EQ(record->accessType(), "D");
  EXPECT_TRUE(record->isDialup());
  EXPECT_EQ(record->popID(), "user");  // the dial string used differs from the computed one
  EXPECT_EQ(record->popCountryCode(), "US");
  EXPECT_EQ(record->popCity(), "San Francisco");
  EXPECT_EQ(record->modemPhoneNumber(), "415/555-0134");
  EXPECT_EQ(record->popScript(), "ZavroModem");
  EXPECT_EQ(record->deviceName(), "Modem Port");
  EXPECT_EQ(record->profileID(), "4711");
  EXPECT_EQ(record->userID(), "@corp.example");
  EXPECT_FALSE(record->dialerVersion().empty());
  EXPECT_FALSE(record->serverURL().empty());
  record->preConnect();
  EXPECT_TRUE(test::fileExists(SqmRecord::sqmPath(0, "SqmRecord.plist")));

  auto hotspot = book->popForID("200101");
  ASSERT_TRUE(hotspot);
  auto bb = SqmRecord::newRecordWithPOP(*hotspot, 0x78, "");
  EXPECT_FALSE(bb->isDialup());
  EXPECT_EQ(bb->accessType(), "W");
  EXPECT_EQ(bb->popID(), "200101");
  EXPECT_EQ(bb->accessProcedure(), "GI");
  bb->releaseSharedLock(false);
  // The dial-up attempt was exported when the broadband one started.
  EXPECT_NE(test::readFile(SqmRecord::sqmPath(0, "SqmData.txt")).find("\"San Francisco\""), std::string::npos);
}

}  // namespace
}  // namespace zavro
