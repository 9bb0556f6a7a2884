#include <gtest/gtest.h>

#include "text/VoiceLanguage.h"

using namespace wrenly;

TEST(VoiceLanguageTest, RawValuesRoundTripInOrder) {
  const char* raw[] = {"cantonese", "mandarin", "english", "auto"};
  const auto all = VoiceLanguage::allCases();
  ASSERT_EQ(all.size(), 4u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].rawValue(), raw[i]);
    EXPECT_EQ(all[i].id(), raw[i]);
    EXPECT_EQ(VoiceLanguage::fromRaw(raw[i]), all[i]);
  }
  EXPECT_EQ(VoiceLanguage(VoiceLanguage::automatic).rawValue(), "auto");
}

TEST(VoiceLanguageTest, UnknownRawValueIsNone) {
  EXPECT_EQ(VoiceLanguage::fromRaw("Auto"), std::nullopt);
  EXPECT_EQ(VoiceLanguage::fromRaw(""), std::nullopt);
  EXPECT_EQ(VoiceLanguage::fromRaw("automatic"), std::nullopt);
}
