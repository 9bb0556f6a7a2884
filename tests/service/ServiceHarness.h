#pragma once

#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <exception>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "diagnostics/MacDiagnostics.h"
#include "platform/Platform.h"
#include "service/MacVoiceService.h"
#include "support/ManualClock.h"
#include "support/MemorySettings.h"
#include "support/service/ContractServer.h"
#include "support/service/MemorySecretStore.h"

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
    logStart = logText().size();
  }
  ~ServiceHarness() override { pool.join(); }

  ServiceConfiguration trusted() const {
    return ServiceConfiguration{server.baseURL(), server.certificateFile()};
  }
  MacVoiceService makeService() const { return MacVoiceService(platform, trusted()); }

  void signIn(const std::string& token = "token-1") {
    server.addAccount(token);
    secrets.store(MacVoiceService::credentialService, server.baseURL(), token);
    settings.setBool("active." + server.baseURL(), true);
  }

  // The outcome of one awaited call: its value or what it threw.
  template <typename T>
  struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;

    template <typename E>
    E errorAs() const {
      try {
        if (error) std::rethrow_exception(error);
      } catch (const E& e) {
        return e;
      } catch (const std::exception& other) {
        ADD_FAILURE() << "unexpected error: " << other.what();
        throw;
      }
      ADD_FAILURE() << "the call succeeded";
      throw std::logic_error("no error");
    }
  };

  template <typename T>
  using Value = std::conditional_t<std::is_void_v<T>, bool, T>;

  // Starts `call` on the main loop; `cancel` (when given) can cancel it.
  template <typename T>
  std::shared_ptr<Outcome<Value<T>>> start(asio::awaitable<T> call,
                                           asio::cancellation_signal* cancel = nullptr) {
    auto outcome = std::make_shared<Outcome<Value<T>>>();
    auto completion = [outcome](std::exception_ptr error, auto... value) {
      outcome->error = error;
      if (!error) {
        if constexpr (sizeof...(value) == 0) {
          outcome->value = true;
        } else {
          (outcome->value.emplace(std::move(value)), ...);
        }
      }
      outcome->done = true;
    };
    if (cancel) {
      asio::co_spawn(io, std::move(call), asio::bind_cancellation_slot(cancel->slot(), completion));
    } else {
      asio::co_spawn(io, std::move(call), completion);
    }
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
  Outcome<Value<T>> run(asio::awaitable<T> call) {
    auto outcome = start(std::move(call));
    runUntil([&] { return outcome->done; });
    return *outcome;
  }

  static std::string logText() {
    MacDiagnostics::flush();
    std::ifstream in(MacDiagnostics::directory() / "timing.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The lines logged since the test began, without their time stamps.
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(logText().substr(logStart));
    for (std::string line; std::getline(in, line);) {
      auto space = line.find(' ');
      lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return lines;
  }

  asio::io_context io;
  asio::thread_pool pool{2};
  ManualClock clock{[this] { io.poll(); }};
  MemorySettings settings;
  MemorySecretStore secrets;
  Platform platform;
  ContractServer server;
  size_t logStart = 0;
};
