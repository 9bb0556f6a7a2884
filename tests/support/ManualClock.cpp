#include "support/ManualClock.h"

#include <boost/asio/post.hpp>

namespace wrenly {

class ManualTimer final : public Clock::Timer {
 public:
  ManualTimer(ManualClock& clock, ManualClock::Key key) : clock_(clock), key_(key) {}
  ~ManualTimer() override { cancel(); }
  void cancel() override { clock_.cancel(key_); }

 private:
  ManualClock& clock_;
  ManualClock::Key key_;
};

ManualClock::ManualClock(std::function<void()> drain)
    : now_(std::chrono::seconds(1000)),
      wallStart_(std::chrono::sys_days{std::chrono::year{2026} / 3 / 5} + std::chrono::hours{14}),
      drain_(std::move(drain)) {}

ManualClock::~ManualClock() {
  // A callback may own the timer that holds it (a sleep nobody ended, after a test failed):
  // dropping it cancels that timer, which must find the map whole, not half destroyed.
  std::map<Key, Entry> pending;
  std::lock_guard lock(mutex_);
  pending.swap(timers_);
}

Clock::Duration ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

std::chrono::system_clock::time_point ManualClock::wallTime() const {
  std::lock_guard lock(mutex_);
  return wallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(now_);
}

std::unique_ptr<Clock::Timer> ManualClock::after(asio::any_io_executor executor, Duration delay,
                                                 std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  Key key{now_ + std::max(delay, Duration::zero()), sequence_++};
  timers_.emplace(key, Entry{std::move(executor), std::move(callback)});
  return std::make_unique<ManualTimer>(*this, key);
}

void ManualClock::cancel(Key key) {
  std::function<void()> released;
  {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(key);
    if (it == timers_.end()) return;
    released = std::move(it->second.callback);  // destroyed outside the lock
    timers_.erase(it);
  }
}

void ManualClock::advance(Duration delta) {
  Duration target;
  {
    std::lock_guard lock(mutex_);
    target = now_ + delta;
  }
  for (;;) {
    Entry entry;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.begin();
      if (it == timers_.end() || it->first.first > target) break;
      now_ = std::max(now_, it->first.first);
      entry = std::move(it->second);
      timers_.erase(it);
    }
    asio::post(entry.executor, std::move(entry.callback));
    if (drain_) drain_();
  }
  {
    std::lock_guard lock(mutex_);
    now_ = std::max(now_, target);
  }
  if (drain_) drain_();
}

size_t ManualClock::pendingTimers() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

bool ManualClock::advanceToNextTimer(Duration limit) {
  Duration delta;
  {
    std::lock_guard lock(mutex_);
    auto it = timers_.begin();
    if (it == timers_.end() || it->first.first > now_ + limit) return false;
    delta = std::max(it->first.first - now_, Duration::zero());
  }
  advance(delta);
  return true;
}

}  // namespace wrenly
