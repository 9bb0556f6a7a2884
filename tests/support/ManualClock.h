#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/Clock.h"

namespace wrenly {

// A clock that only moves when the test says so. Timers fire in deadline order (ties in the
// order they were scheduled); after each firing the `drain` hook runs (normally polling the
// test's io_context), so work a callback schedules inside the advanced window fires too.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::function<void()> drain = {});
  ~ManualClock() override;

  Duration now() const override;
  std::chrono::system_clock::time_point wallTime() const override;
  std::unique_ptr<Timer> after(asio::any_io_executor executor, Duration delay,
                               std::function<void()> callback) override;

  // Moves time forward by `delta`, firing every timer that falls due on the way.
  void advance(Duration delta);
  void advanceSeconds(double seconds) {
    advance(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds)));
  }
  size_t pendingTimers() const;
  // Moves time to the earliest pending timer, when it falls due within `limit`, and fires it (and
  // any due with it). False, with time unchanged, when none does. For loops that let every
  // pause pass at once while still waiting for real work.
  bool advanceToNextTimer(Duration limit);

 private:
  struct Entry {
    asio::any_io_executor executor;
    std::function<void()> callback;
  };
  using Key = std::pair<Duration, uint64_t>;

  mutable std::mutex mutex_;
  Duration now_;
  uint64_t sequence_ = 0;
  std::map<Key, Entry> timers_;
  std::chrono::system_clock::time_point wallStart_;
  std::function<void()> drain_;

  friend class ManualTimer;
  void cancel(Key key);
};

}  // namespace wrenly
