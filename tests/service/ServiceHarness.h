#pragma once

#include <gtest/gtest.h>

#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>

#include "service/SpeechServiceClient.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/MemorySettings.h"
#include "support/desktop/RecordedDiagnostics.h"
#include "support/service/AwaitedCall.h"
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

  // Starts `call` on the main loop; the fixture's `cancel` signal can cancel it.
  template <typename T>
  std::shared_ptr<CallOutcome<T>> start(asio::awaitable<T> call) {
    return startCall(io, std::move(call), cancel.slot());
  }

  template <typename T>
  CallOutcome<T> run(asio::awaitable<T> call) {
    auto outcome = start(std::move(call));
    loop.runUntil([&] { return outcome->done; });
    return *outcome;
  }

  RecordedDiagnostics log;  // first: points the log at a scratch folder
  asio::io_context io;
  // Waits only for network and pool work: timers move only when the test advances the clock.
  LoopDriver loop{io};
  asio::thread_pool pool{2};
  asio::cancellation_signal cancel;
  ManualClock clock{[this] { io.poll(); }};
  MemorySettings settings;
  MemorySecretStore secrets;
  Platform platform;
  ContractServer server;
};

}  // namespace wrenly
