#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/Asio.h"

namespace wrenly {

// Time as the program sees it: a monotonic reading for durations and deadlines, the wall clock
// for time stamps only, and timers. Tests drive a manual clock instead of waiting.
class Clock {
 public:
  using Duration = std::chrono::nanoseconds;

  // A scheduled callback; destroying or cancelling it means the callback will not run, provided
  // that happens on the executor the callback was scheduled on.
  class Timer {
   public:
    virtual ~Timer() = default;
    virtual void cancel() = 0;
  };

  virtual ~Clock() = default;

  // Time since an arbitrary fixed point; never goes backwards.
  virtual Duration now() const = 0;
  virtual std::chrono::system_clock::time_point wallTime() const = 0;

  // Posts `callback` to `executor` once `delay` has passed on this clock.
  [[nodiscard]] virtual std::unique_ptr<Timer> after(asio::any_io_executor executor, Duration delay,
                                                     std::function<void()> callback) = 0;

  // Suspends the calling coroutine for `delay`. Cancelling the coroutine (its cancellation slot)
  // ends the wait at once with asio::error::operation_aborted.
  asio::awaitable<void> sleep(Duration delay);
};

// How a pause ended.
enum class PauseEnd { elapsed, cancelled };

// The one way the program waits: sleeps for `delay` on `clock`, where a cancelled wait is not a
// failure but ends the pause early, so the caller goes on with checks that read the world
// afresh. Other failures propagate.
asio::awaitable<PauseEnd> pause(Clock& clock, Clock::Duration delay);

}  // namespace wrenly
