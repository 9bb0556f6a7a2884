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

}  // namespace wrenly
