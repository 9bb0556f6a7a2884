#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <vector>

#include "base/SystemClock.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"

using namespace wrenly;

namespace {

struct ManualClockTest : testing::Test {
  asio::io_context loop;
  LoopDriver driver{loop};
  ManualClock clock{[this] { driver.settle(); }};
};

// Sleepers wake in deadline order and only when due; sleeps that woken work schedules fire
// within the same advance.
TEST_F(ManualClockTest, WakesSleepersInDeadlineOrderAndOnlyWhenDue) {
  std::vector<int> woke;
  auto sleeper = [&](double seconds, int id, int times) -> asio::awaitable<void> {
    for (int i = 0; i < times; ++i)
      co_await clock.sleep(
          std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds)));
    woke.push_back(id);
  };
  asio::co_spawn(loop, sleeper(0.5, 2, 1), asio::detached);
  asio::co_spawn(loop, sleeper(0.12, 1, 3), asio::detached);
  asio::co_spawn(loop, sleeper(3.0, 3, 1), asio::detached);
  driver.settle();

  clock.advanceSeconds(0.35);
  EXPECT_TRUE(woke.empty());
  clock.advanceSeconds(0.15);  // 0.36 and 0.5 both pass
  EXPECT_EQ(woke, (std::vector<int>{1, 2}));
  clock.advanceSeconds(2.5);
  EXPECT_EQ(woke, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

// A cancelled sleep ends at once; a destroyed timer never runs.
TEST_F(ManualClockTest, CancelledSleepsAndDestroyedTimersAreGone) {
  asio::cancellation_signal signal;
  bool aborted = false;
  asio::co_spawn(
      loop,
      [&]() -> asio::awaitable<void> {
        try {
          co_await clock.sleep(std::chrono::seconds(10));
        } catch (const boost::system::system_error& e) {
          aborted = e.code() == asio::error::operation_aborted;
        }
      },
      asio::bind_cancellation_slot(signal.slot(), asio::detached));
  driver.settle();
  signal.emit(asio::cancellation_type::terminal);
  driver.settle();
  EXPECT_TRUE(aborted);
  bool ran = false;
  clock.after(loop.get_executor(), std::chrono::seconds(1), [&] { ran = true; }).reset();
  EXPECT_EQ(clock.pendingTimers(), 0u);
  clock.advanceSeconds(2);
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
