#pragma once

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/system/system_error.hpp>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/BrowserSession.h"

namespace wrenly {

// Waits on the main loop until woken; a timer that never runs out, cancelled by `wake`.
class Wakeup {
 public:
  asio::awaitable<void> wait() {
    asio::steady_timer timer(co_await asio::this_coro::executor,
                             asio::steady_timer::time_point::max());
    timer_ = &timer;
    co_await timer.async_wait(asio::as_tuple(asio::use_awaitable));
    timer_ = nullptr;
  }
  bool waiting() const { return timer_ != nullptr; }
  void wake() {
    if (timer_) timer_->cancel();
  }

 private:
  asio::steady_timer* timer_ = nullptr;
};

// A browser the test answers: it records the page it was asked to show (as "SCHEME URL") and
// answers with `respond` when set, or else waits until the test hands it a callback URL (or the
// sign-in gives up on it).
class ScriptedBrowser final : public BrowserSession {
 public:
  asio::awaitable<std::string> authenticate(std::string url, std::string scheme) override {
    shownPages.push_back(scheme + " " + url);
    if (refuseToStart) throw BrowserSessionError(BrowserSessionFailure::startRefused);
    if (respond) co_return respond();
    co_await wakeup_.wait();
    if (!answer_) throw boost::system::system_error(asio::error::operation_aborted);
    co_return *std::exchange(answer_, std::nullopt);
  }
  bool waiting() const { return wakeup_.waiting(); }
  void answer(std::string callback) {
    answer_ = std::move(callback);
    wakeup_.wake();
  }

  std::function<std::string()> respond;
  std::vector<std::string> shownPages;
  bool refuseToStart = false;

 private:
  Wakeup wakeup_;
  std::optional<std::string> answer_;
};

}  // namespace wrenly
