#include "base/SystemClock.h"

#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>

namespace wrenly {

Clock::Duration SystemClock::now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
}

std::chrono::system_clock::time_point SystemClock::wallTime() const {
  return std::chrono::system_clock::now();
}

namespace {

class SteadyTimer final : public Clock::Timer {
 public:
  struct State {
    State(asio::any_io_executor ex) : timer(std::move(ex)) {}
    asio::steady_timer timer;
    std::atomic<bool> cancelled{false};
  };

  explicit SteadyTimer(std::shared_ptr<State> state) : state_(std::move(state)) {}
  ~SteadyTimer() override { cancel(); }

  void cancel() override {
    if (state_->cancelled.exchange(true)) return;
    // Asio timers are not thread-safe: cancel on the timer's own executor.
    asio::post(state_->timer.get_executor(), [s = state_] { s->timer.cancel(); });
  }

 private:
  std::shared_ptr<State> state_;
};

}  // namespace

std::unique_ptr<Clock::Timer> SystemClock::after(asio::any_io_executor executor, Duration delay,
                                                 std::function<void()> callback) {
  auto state = std::make_shared<SteadyTimer::State>(executor);
  state->timer.expires_after(delay);
  state->timer.async_wait([state, cb = std::move(callback)](boost::system::error_code ec) {
    if (!ec && !state->cancelled.load()) cb();
  });
  return std::make_unique<SteadyTimer>(state);
}

}  // namespace wrenly
