#include <gtest/gtest.h>

#include "messages/Messages.h"
#include "triggerkey/TriggerKey.h"

using namespace wrenly;

namespace {

using enum KeySide;

TEST(TriggerKeyTest, NineKeysWithTheirStoredNamesPhysicalKeysAndTitlesAndNoOthers) {
  struct Row {
    TriggerKey key;
    const char* rawValue;
    const char* title;
    std::optional<Key> physical;
    KeySide side;
  };
  const Row rows[] = {
      {TriggerKey::rightAlt, "rightOption", Messages::rightAltTitle, Key::alt, right},
      {TriggerKey::leftAlt, "leftOption", Messages::leftAltTitle, Key::alt, left},
      {TriggerKey::rightShift, "rightShift", Messages::rightShiftTitle, Key::shift, right},
      {TriggerKey::leftShift, "leftShift", Messages::leftShiftTitle, Key::shift, left},
      {TriggerKey::rightControl, "rightControl", Messages::rightControlTitle, Key::control, right},
      {TriggerKey::leftControl, "leftControl", Messages::leftControlTitle, Key::control, left},
      {TriggerKey::rightCommand, "rightCommand", Messages::rightSuperTitle, Key::super, right},
      {TriggerKey::leftCommand, "leftCommand", Messages::leftSuperTitle, Key::super, left},
      {TriggerKey::optionCommandR, "optionCommandR", Messages::altSuperRTitle, std::nullopt,
       unknown},
  };
  ASSERT_EQ(TriggerKey::allCases().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.rawValue);
    EXPECT_EQ(TriggerKey::allCases()[i], row.key);
    EXPECT_EQ(row.key.rawValue(), row.rawValue);
    EXPECT_EQ(row.key.title(), row.title);
    EXPECT_EQ(row.key.key(), row.physical);
    EXPECT_EQ(row.key.side(), row.side);
    EXPECT_EQ(TriggerKey::fromRawValue(row.rawValue), row.key);
    if (row.physical) {
      EXPECT_EQ(TriggerKey::fromModifierKey(*row.physical, row.side), row.key);
    }
  }
  // Unknown names and keys give none; the chord is no modifier key.
  for (const char* name : {"", "RightOption", "rightAlt"}) {
    EXPECT_FALSE(TriggerKey::fromRawValue(name));
  }
  for (auto [key, side] : {std::pair{Key::alt, unknown},
                           {Key::r, unknown},
                           {Key::capsLock, left},
                           {Key::other, right}}) {
    EXPECT_FALSE(TriggerKey::fromModifierKey(key, side));
  }
  EXPECT_STREQ(TriggerKey::preference, "recordingShortcut");
}

}  // namespace
