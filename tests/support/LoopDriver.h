#pragma once

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "platform/Asio.h"
#include "support/ManualClock.h"

namespace wrenly {

// Drives a test's main loop: the one way tests run queued work, wait for network or pool work,
// and run a coroutine to its end. Timers move only through the manual clock, when the test
// says so or when `runUntil` is told to let idle moments pass.
class LoopDriver {
 public:
  // `clock` may be null for loops that have no timers of their own.
  explicit LoopDriver(asio::io_context& loop, ManualClock* clock = nullptr)
      : loop_(loop), clock_(clock) {}

  // Runs everything that is ready now, including what that work posts.
  void settle() {
    loop_.poll();
    loop_.restart();
  }

  // Runs the loop until `until` holds. Waits for network, pool and other threads' work; with
  // `advanceTimers`, an idle moment moves the manual clock 10 ms (for short pauses on the way).
  // The wall-clock bound only keeps a broken build from hanging.
  bool runUntil(const std::function<bool()>& until, bool advanceTimers = false) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      settle();
      if (until()) return true;
      if (std::chrono::steady_clock::now() > limit) break;
      const auto ran = loop_.run_one_for(std::chrono::milliseconds(1));
      loop_.restart();
      if (ran == 0 && advanceTimers && clock_ && clock_->pendingTimers() > 0) {
        clock_->advance(std::chrono::milliseconds(10));
      }
    }
    ADD_FAILURE() << "the condition never held";
    return false;
  }

  // Runs `work` to its end, letting idle moments pass on the manual clock; rethrows what it
  // threw.
  template <typename T>
  T finish(asio::awaitable<T> work) {
    // Shared with the completion handler: a coroutine given up on may still end later, at the
    // fixture's teardown, and must not write into this frame then.
    struct Outcome {
      std::optional<T> result;
      std::exception_ptr failure;
      bool done = false;
    };
    auto outcome = std::make_shared<Outcome>();
    asio::co_spawn(loop_, std::move(work), [outcome](std::exception_ptr error, T value) {
      outcome->done = true;
      outcome->failure = error;
      if (!error) outcome->result = std::move(value);
    });
    if (!runUntil([&] { return outcome->done; }, true))
      throw std::runtime_error("the coroutine never finished");
    if (outcome->failure) std::rethrow_exception(outcome->failure);
    return std::move(*outcome->result);
  }
  void finish(asio::awaitable<void> work) {
    finish([](asio::awaitable<void> inner) -> asio::awaitable<bool> {
      co_await std::move(inner);
      co_return true;
    }(std::move(work)));
  }

 private:
  asio::io_context& loop_;
  ManualClock* clock_;
};

}  // namespace wrenly
