// customerPOPsSortFirst: the CustomerPopSortFlag of config.ini, plain or scrambled.
#include <gtest/gtest.h>

#include "phonebook/AdminSettings.h"
#include "phonebook/PhoneBook.h"
#include "support/TestEnvironment.h"

namespace zavro {
namespace {

std::string scramble(std::string bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ (255 - (i % 256)));
  }
  return bytes;
}

TEST(AdminSettings, CustomerPopSortFlagTable) {
  struct Case {
    const char* name;
    std::optional<std::string> configIni;
    bool first;
  };
  const Case cases[] = {
      {"no_file", std::nullopt, true},
      {"no_key", "[Profile]\nCustomerID=7\n", true},
      {"last", "[Profile]\nCustomerPopSortFlag=last\n", false},
      {"first_upper", "[PROFILE]\r\ncustomerpopsortflag = First\r\n", true},
      {"zero", "[Profile]\nCustomerPopSortFlag=0\n", true},
      {"one", "[Profile]\nCustomerPopSortFlag=1\n", false},
      {"empty", "[Profile]\nCustomerPopSortFlag=\n", true},
      {"other_section", "[Zavro]\nCustomerPopSortFlag=last\n", true},
      {"later_line_wins", "[Profile]\nCustomerPopSortFlag=last\n[Other]\n[profile]\nCustomerPopSortFlag=f\n", true},
      {"comment", "[Profile]\n;CustomerPopSortFlag=last\n", true},
      {"scrambled_last", scramble("[Profile]\nCustomerPopSortFlag=last\n"), false},
  };
  for (const auto& c : cases) {
    test::TestEnvironment env;
    if (c.configIni) {
      env.writeConfig("config.ini", *c.configIni);
    }
    EXPECT_EQ(customerPOPsSortFirst(), c.first) << c.name;
    EXPECT_EQ(PhoneBook().sortCustomerPOPsFirst(), c.first) << c.name;
  }
}

}  // namespace
}  // namespace zavro
