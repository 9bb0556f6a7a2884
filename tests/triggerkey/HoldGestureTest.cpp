#include <gtest/gtest.h>

#include <tuple>

#include "support/ManualClock.h"
#include "triggerkey/HoldGesture.h"

using namespace wrenly;

namespace {

TEST(HoldGesture, AHoldFinishesOnlyWhenLongAndAlone) {
  using enum TriggerPress;
  using enum HoldAction;
  // Each step: milliseconds waited, what the key did, what the hold asks for. A hold of at
  // least the shortest; a tap; a key or click while held; a release or a key with no press; a
  // second press after a release went unseen.
  const std::vector<std::vector<std::tuple<int, TriggerPress, HoldAction>>> rows = {
      {{0, began, start}, {300, released, finish}},
      {{0, began, start}, {299, released, cancel}},
      {{0, began, start}, {900, combined, cancel}, {900, released, none}},
      {{0, released, none}, {0, combined, none}},
      {{0, began, start}, {5000, began, start}, {100, released, cancel}},
  };
  for (size_t row = 0; row < rows.size(); ++row) {
    ManualClock clock;
    HoldGesture hold(clock);
    for (auto [wait, press, action] : rows[row]) {
      clock.advance(std::chrono::milliseconds(wait));
      EXPECT_EQ(hold.on(press), action) << "row " << row << " after " << wait;
    }
  }
}

}  // namespace
