#include "platform/Clock.h"

#include <atomic>
#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

namespace wrenly {

namespace {

// Completes exactly once: either the timer fires or the slot cancels, whichever comes first on
// the coroutine's executor.
template <typename Handler>
struct SleepState {
  explicit SleepState(Handler&& h) : handler(std::move(h)) {}
  Handler handler;
  std::unique_ptr<Clock::Timer> timer;
  bool done = false;

  void complete(boost::system::error_code ec) {
    if (done) return;
    done = true;
    if (timer) timer->cancel();
    auto h = std::move(handler);
    std::move(h)(ec);
  }
};

}  // namespace

asio::awaitable<void> Clock::sleep(Duration delay) {
  auto executor = co_await asio::this_coro::executor;
  co_await asio::async_initiate<decltype(asio::use_awaitable), void(boost::system::error_code)>(
      [this, executor, delay](auto handler) {
        using H = std::decay_t<decltype(handler)>;
        auto slot = asio::get_associated_cancellation_slot(handler);
        auto state = std::make_shared<SleepState<H>>(std::move(handler));
        if (slot.is_connected()) {
          slot.assign([weak = std::weak_ptr(state), executor](asio::cancellation_type) {
            // The slot may be emitted from another thread: finish on the coroutine's executor.
            asio::post(executor, [weak] {
              if (auto s = weak.lock()) s->complete(asio::error::operation_aborted);
            });
          });
        }
        state->timer = after(executor, delay, [state] { state->complete({}); });
      },
      asio::use_awaitable);
}

asio::awaitable<PauseEnd> pause(Clock& clock, Clock::Duration delay) {
  try {
    co_await clock.sleep(delay);
  } catch (const boost::system::system_error& error) {
    if (error.code() != asio::error::operation_aborted) throw;
    co_return PauseEnd::cancelled;
  }
  co_return PauseEnd::elapsed;
}

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
