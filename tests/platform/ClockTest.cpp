#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <vector>

#include "support/ManualClock.h"

using namespace wrenly;

namespace {

struct ManualClockTest : testing::Test {
  asio::io_context loop;
  ManualClock clock{[this] {
    loop.poll();
    loop.restart();
  }};
};

TEST_F(ManualClockTest, WakesSleepersInDeadlineOrderAndOnlyWhenDue) {
  std::vector<int> woke;
  auto sleeper = [&](double seconds, int id) -> asio::awaitable<void> {
    co_await clock.sleep(
        std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds)));
    woke.push_back(id);
  };
  asio::co_spawn(loop, sleeper(0.5, 2), asio::detached);
  asio::co_spawn(loop, sleeper(0.12, 1), asio::detached);
  asio::co_spawn(loop, sleeper(3.0, 3), asio::detached);
  loop.poll();

  clock.advanceSeconds(0.1);
  EXPECT_TRUE(woke.empty());
  clock.advanceSeconds(0.5);
  EXPECT_EQ(woke, (std::vector<int>{1, 2}));
  clock.advanceSeconds(2.4);
  EXPECT_EQ(woke, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(ManualClockTest, SleepsScheduledByWokenWorkFireWithinTheSameAdvance) {
  double wokeAt = 0;
  asio::co_spawn(
      loop,
      [&]() -> asio::awaitable<void> {
        for (int i = 0; i < 3; ++i) co_await clock.sleep(std::chrono::milliseconds(120));
        wokeAt = clock.uptime();
      },
      asio::detached);
  loop.poll();
  const double start = clock.uptime();
  clock.advanceSeconds(1.0);
  EXPECT_NEAR(wokeAt - start, 0.36, 1e-9);
}

TEST_F(ManualClockTest, CancellingTheCoroutineEndsTheSleepAtOnce) {
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
  loop.poll();
  signal.emit(asio::cancellation_type::terminal);
  loop.poll();
  EXPECT_TRUE(aborted);
  EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST_F(ManualClockTest, DestroyedTimerNeverRuns) {
  bool ran = false;
  auto timer = clock.after(loop.get_executor(), std::chrono::seconds(1), [&] { ran = true; });
  timer.reset();
  clock.advanceSeconds(2);
  EXPECT_FALSE(ran);
}

TEST(SystemClockTest, UptimeIsMonotonicAndTimersFire) {
  SystemClock clock;
  asio::io_context loop;
  const double before = clock.uptime();
  bool fired = false;
  auto timer =
      clock.after(loop.get_executor(), std::chrono::milliseconds(1), [&] { fired = true; });
  loop.run_one();  // the timer completing is the event awaited, not a fixed sleep
  EXPECT_TRUE(fired);
  EXPECT_GE(clock.uptime(), before);
}

}  // namespace
