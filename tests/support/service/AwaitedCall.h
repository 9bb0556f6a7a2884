#pragma once

#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "platform/Asio.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/desktop/RecordedDiagnostics.h"

namespace wrenly {

// What one awaited call gave: its value (true for a void call) or what it threw.
template <typename T>
struct CallOutcome {
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
  std::exception_ptr error;
  bool done = false;

  // "ok", or the error as the diagnostics log renders it.
  std::string code() const { return error ? Diagnostics::errorCode(error) : "ok"; }

  template <typename E>
  E errorAs() const {
    try {
      std::rethrow_exception(error ? error : std::make_exception_ptr(std::logic_error("none")));
    } catch (const E& e) {
      return e;
    } catch (...) {
      ADD_FAILURE() << "unexpected outcome: " << describe(std::current_exception());
      throw;
    }
  }
};

// Starts `call` on `loop`; `slot` can cancel it. The outcome fills in once the loop runs it to
// its end.
template <typename T>
std::shared_ptr<CallOutcome<T>> startCall(asio::io_context& loop, asio::awaitable<T> call,
                                          asio::cancellation_slot slot = {}) {
  auto outcome = std::make_shared<CallOutcome<T>>();
  auto completion = [outcome](std::exception_ptr error, auto... value) {
    outcome->error = std::move(error);
    if constexpr (sizeof...(value) == 0) {
      if (!outcome->error) outcome->value = true;
    } else {
      if (!outcome->error) outcome->value.emplace(std::move(value)...);
    }
    outcome->done = true;
  };
  asio::co_spawn(loop, std::move(call), asio::bind_cancellation_slot(slot, completion));
  return outcome;
}

// A main loop the test thread runs, a small pool for blocking work, a manual clock and the log:
// what every client under test is wired to. Fixtures join `pool` in their own destructor, so
// that posted completions run before the objects they point at go.
class CallHarness : public ::testing::Test {
 protected:
  // Starts `call` on the main loop; `cancel` can cancel it.
  template <typename T>
  std::shared_ptr<CallOutcome<T>> start(asio::awaitable<T> call) {
    return startCall(io, std::move(call), cancel.slot());
  }

  // Runs `call` to its end; the outcome moves to the caller, its one owner.
  template <typename T>
  CallOutcome<T> run(asio::awaitable<T> call) {
    auto outcome = start(std::move(call));
    loop.runUntil([&] { return outcome->done; });
    return std::move(*outcome);
  }

  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context io;
  // Waits only for network and pool work: timers move only when the test advances the clock.
  LoopDriver loop{io};
  asio::thread_pool pool{2};
  asio::cancellation_signal cancel;
  ManualClock clock{[this] { loop.settle(); }};
};

}  // namespace wrenly
