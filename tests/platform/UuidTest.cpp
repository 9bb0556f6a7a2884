#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "base/Uuid.h"

using namespace wrenly;

TEST(UuidTest, UpperCaseVersionFourAndUnique) {
  const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    auto id = makeUuid();
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200u);
}
