#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include "base/SystemClock.h"
#include "support/ManualClock.h"

using namespace wrenly;

namespace {

// The program cancels a timer by letting it go. (The manual clock's order and the program's
// sleeps and their cancellation are exercised by every timed test: delivery's reactivation
// checks and cancelled preparation, the controller's notices and reconnections, the requests'
// cancelled busy wait.)
TEST(ManualClockTest, DestroyedTimersNeverRun) {
  asio::io_context loop;
  ManualClock clock;
  bool ran = false;
  clock.after(loop.get_executor(), std::chrono::seconds(1), [&] { ran = true; }).reset();
  EXPECT_EQ(clock.pendingTimers(), 0u);
  clock.advanceSeconds(2);
  loop.poll();
  EXPECT_FALSE(ran);
}

TEST(SystemClockTest, ReadingsAreMonotonicAndTimersFire) {
  SystemClock clock;
  asio::io_context loop;
  const Clock::Duration before = clock.now();
  bool fired = false;
  auto timer =
      clock.after(loop.get_executor(), std::chrono::milliseconds(1), [&] { fired = true; });
  loop.run_one();  // the timer completing is the event awaited, not a fixed sleep
  EXPECT_TRUE(fired);
  EXPECT_GE(clock.now(), before);
}

}  // namespace
