#pragma once

#include "platform/Clock.h"

namespace wrenly {

// The real clock: steady_clock for readings and Asio timers for waits.
class SystemClock final : public Clock {
 public:
  Duration now() const override;
  std::chrono::system_clock::time_point wallTime() const override;
  std::unique_ptr<Timer> after(asio::any_io_executor executor, Duration delay,
                               std::function<void()> callback) override;
};

}  // namespace wrenly
