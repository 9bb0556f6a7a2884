#include <gtest/gtest.h>

#include "support/ManualClock.h"
#include "triggerkey/HoldGesture.h"

using namespace wrenly;

namespace {

using enum TriggerPress;
using enum HoldAction;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

// Each row: what the key does, after how long, and what the hold asks for each time.
struct Step {
  milliseconds after;
  TriggerPress press;
  HoldAction action;
};

TEST(HoldGesture, AHoldFinishesOnlyWhenLongAndAlone) {
  const std::vector<std::pair<const char*, std::vector<Step>>> rows = {
      {"held long", {{0ms, began, start}, {2000ms, released, finish}}},
      {"exactly the shortest", {{0ms, began, start}, {300ms, released, finish}}},
      {"a tap", {{0ms, began, start}, {299ms, released, cancel}}},
      {"a letter or a click while held", {{0ms, began, start}, {900ms, combined, cancel}}},
      {"release after a cancel",
       {{0ms, began, start}, {50ms, combined, cancel}, {900ms, released, none}}},
      {"release never seen pressed", {{0ms, released, none}, {0ms, combined, none}}},
      {"a press whose release went unseen",
       {{0ms, began, start}, {5000ms, began, start}, {100ms, released, cancel}}},
  };
  for (const auto& [name, steps] : rows) {
    SCOPED_TRACE(name);
    ManualClock clock;
    HoldGesture hold(clock);
    for (const Step& step : steps) {
      clock.advance(step.after);
      EXPECT_EQ(hold.on(step.press), step.action) << step.after.count();
    }
  }
}

}  // namespace
