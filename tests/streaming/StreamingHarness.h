#pragma once

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/MacDiagnostics.h"
#include "streaming/MacStreamingSpeechClient.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"
#include "support/streaming/StreamServer.h"

// A one-shot signal from the test thread to a server script.
class Gate {
 public:
  void open() {
    std::lock_guard lock(mutex_);
    opened_ = true;
    changed_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::minutes(1), [&] { return opened_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool opened_ = false;
};

// What one finish() call ended with.
struct FinishOutcome {
  bool done = false;
  std::optional<MacStreamingSpeechResult> result;
  std::exception_ptr error;

  // "ok", or the error as the diagnostics log renders it.
  std::string code() const { return error ? MacDiagnostics::errorCode(error) : "ok"; }
  bool cancelled() const;
};

inline const std::string testRequestID = "5B1C8D0E-7F2A-4C3B-9D1E-0A2B3C4D5E6F";
inline const std::string finishBytes = R"({"type":"finish"})";
inline const std::string readyMessage = R"({"type":"ready"})";
inline const std::string resultMessage =
    R"({"type":"result","transcript":"one two","text":"One, two.","segments":3,"fallbackSegments":5})";

// A client, a loopback server, a background pool, a main loop and a manual clock.
class StreamingTest : public ::testing::Test {
 protected:
  StreamingTest();
  ~StreamingTest() override;

  static const TestCertificate& certificate();

  std::unique_ptr<MacStreamingSpeechClient> makeClient(
      const std::optional<std::string>& endpoint, bool cleanup = true,
      std::optional<std::string> token = std::string("secret-token"));
  std::unique_ptr<MacStreamingSpeechClient> makeClient(const StreamServer& server,
                                                       bool cleanup = true) {
    return makeClient(server.baseURL(), cleanup);
  }

  // Starts finish() in a coroutine on the main loop; the outcome lands in the returned slot.
  std::shared_ptr<FinishOutcome> startFinish(MacStreamingSpeechClient& client,
                                             asio::cancellation_slot slot = {});
  // Runs the main loop until every given outcome is in.
  void runUntilDone(const std::vector<std::shared_ptr<FinishOutcome>>& outcomes);
  FinishOutcome finish(MacStreamingSpeechClient& client);

  // Lines the diagnostics log received since the test began, without their time stamps.
  std::vector<std::string> newLogLines();

  static std::vector<std::size_t> audioSizes(const std::vector<StreamFrame>& frames);
  static std::vector<uint8_t> chunk(std::size_t size, uint8_t fill = 0x11) {
    return std::vector<uint8_t>(size, fill);
  }

  TemporaryDirectory directory_;
  std::filesystem::path authorities_;
  StreamTrust trust_;  // what the next client trusts: by default the test certificate
  ManualClock clock_;
  asio::io_context mainLoop_;
  std::unique_ptr<asio::thread_pool> pool_;
  std::size_t logMark_ = 0;
};
