#pragma once

#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>

#include "diagnostics/ReportableError.h"
#include "service/SpeechServiceClient.h"
#include "support/ManualClock.h"
#include "support/MemorySettings.h"
#include "support/desktop/RecordedDiagnostics.h"
#include "support/service/ContractServer.h"
#include "support/service/MemorySecretStore.h"

namespace wrenly {

// A client wired to a loopback contract server: the test thread runs the main loop, blocking
// calls go to a small pool, and time is a manual clock.
class ServiceHarness : public ::testing::Test {
 protected:
  ServiceHarness() {
    platform.mainLoop = io.get_executor();
    platform.background = pool.get_executor();
    platform.clock = &clock;
    platform.settings = &settings;
    platform.secrets = &secrets;
  }
  ~ServiceHarness() override { pool.join(); }

  SpeechServiceClient makeService(std::string baseURL = {}) const {
    if (baseURL.empty()) baseURL = server.baseURL();
    return SpeechServiceClient(platform, ServiceConfiguration{baseURL, server.certificateFile()});
  }
  void signIn(const std::string& token = "token-1", std::string baseURL = {}) {
    if (baseURL.empty()) baseURL = server.baseURL();
    server.addAccount(token);
    secrets.store(SpeechServiceClient::credentialService, baseURL, token);
    settings.setBool("active." + baseURL, true);
  }

  // What one awaited call gave: its value (true for a void call) or what it threw.
  template <typename T>
  struct Outcome {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    bool done = false;

    template <typename E>
    E errorAs() const {
      try {
        std::rethrow_exception(error ? error : std::make_exception_ptr(std::logic_error("none")));
      } catch (const E& e) {
        return e;
      } catch (...) {
        ADD_FAILURE() << "unexpected outcome: " << localizedDescriptionOf(std::current_exception());
        throw;
      }
    }
  };

  // Starts `call` on the main loop; the fixture's `cancel` signal can cancel it.
  template <typename T>
  std::shared_ptr<Outcome<T>> start(asio::awaitable<T> call) {
    auto outcome = std::make_shared<Outcome<T>>();
    auto completion = [outcome](std::exception_ptr error, auto... value) {
      outcome->error = error;
      if constexpr (sizeof...(value) == 0) {
        if (!error) outcome->value = true;
      } else {
        if (!error) outcome->value.emplace(std::move(value)...);
      }
      outcome->done = true;
    };
    asio::co_spawn(io, std::move(call), asio::bind_cancellation_slot(cancel.slot(), completion));
    return outcome;
  }

  // Runs the main loop until `until` holds. Waits only for network and pool work, never for a
  // timer: timers move only when the test advances the clock.
  void runUntil(const std::function<bool()>& until) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!until()) {
      ASSERT_LT(std::chrono::steady_clock::now(), limit) << "the call did not finish";
      io.run_one_for(std::chrono::milliseconds(5));
      if (io.stopped()) io.restart();
    }
  }

  template <typename T>
  Outcome<T> run(asio::awaitable<T> call) {
    auto outcome = start(std::move(call));
    runUntil([&] { return outcome->done; });
    return *outcome;
  }

  std::vector<std::string> logLines() const { return log.lines(); }

  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context io;
  asio::thread_pool pool{2};
  asio::cancellation_signal cancel;
  ManualClock clock{[this] { io.poll(); }};
  MemorySettings settings;
  MemorySecretStore secrets;
  Platform platform;
  ContractServer server;
};

}  // namespace wrenly
