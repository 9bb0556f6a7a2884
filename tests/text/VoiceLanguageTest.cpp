#include <gtest/gtest.h>

#include "text/VoiceLanguage.h"

using namespace wrenly;

TEST(VoiceLanguageTest, RawValuesRoundTripInOrderAndOthersAreNone) {
  const char* raw[] = {"cantonese", "mandarin", "english", "auto"};
  const auto all = VoiceLanguage::allCases();
  ASSERT_EQ(all.size(), 4u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].rawValue(), raw[i]);
    EXPECT_EQ(VoiceLanguage::fromRaw(raw[i]), all[i]);
  }
  for (const char* other : {"Auto", "", "automatic"}) {
    EXPECT_EQ(VoiceLanguage::fromRaw(other), std::nullopt);
  }
}
