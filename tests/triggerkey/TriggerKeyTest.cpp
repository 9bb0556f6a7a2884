#include <gtest/gtest.h>

#include "triggerkey/TriggerKey.h"

using namespace wrenly;

namespace {

using Key = TriggerKey;

TEST(TriggerKeyTest, NineKeysWithTheirStoredNamesCodesBitsAndTitlesAndNoOthers) {
  struct Row {
    Key key;
    const char* rawValue;
    const char* title;
    std::optional<uint16_t> keyCode;
    uint64_t family;
    uint64_t device;
  };
  const Row rows[] = {
      {Key::rightAlt, "rightOption", "右 Alt", 61, 0x80000, 0x40},
      {Key::leftAlt, "leftOption", "左 Alt", 58, 0x80000, 0x20},
      {Key::rightShift, "rightShift", "右 Shift", 60, 0x20000, 0x04},
      {Key::leftShift, "leftShift", "左 Shift", 56, 0x20000, 0x02},
      {Key::rightControl, "rightControl", "右 Control", 62, 0x40000, 0x2000},
      {Key::leftControl, "leftControl", "左 Control", 59, 0x40000, 0x01},
      {Key::rightCommand, "rightCommand", "右 Super", 54, 0x100000, 0x10},
      {Key::leftCommand, "leftCommand", "左 Super", 55, 0x100000, 0x08},
      {Key::optionCommandR, "optionCommandR", "Alt+Super+R", std::nullopt, 0x80000, 0},
  };
  ASSERT_EQ(Key::allCases().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.rawValue);
    EXPECT_EQ(Key::allCases()[i], row.key);
    EXPECT_EQ(row.key.rawValue(), row.rawValue);
    EXPECT_EQ(row.key.title(), row.title);
    EXPECT_EQ(row.key.keyCode(), row.keyCode);
    EXPECT_EQ(row.key.familyFlag(), row.family);
    EXPECT_EQ(row.key.deviceFlagMask(), row.device);
    EXPECT_EQ(Key::fromRawValue(row.rawValue), row.key);
    if (row.keyCode) {
      EXPECT_EQ(Key::fromModifierKeyCode(*row.keyCode), row.key);
    }
  }
  // Unknown names and codes give none; the chord has no code.
  for (const char* name : {"", "RightOption", "rightAlt"}) EXPECT_FALSE(Key::fromRawValue(name));
  for (uint16_t code : {0, 15, 57, 63, 0xFFFF}) EXPECT_FALSE(Key::fromModifierKeyCode(code));
  EXPECT_STREQ(Key::preference, "recordingShortcut");
}

}  // namespace
