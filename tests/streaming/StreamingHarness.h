#pragma once

#include <gtest/gtest.h>

#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <future>

#include "streaming/LiveRecognitionClient.h"
#include "support/LoopDriver.h"
#include "support/ManualClock.h"
#include "support/TemporaryDirectory.h"
#include "support/desktop/RecordedDiagnostics.h"
#include "support/service/AwaitedCall.h"
#include "support/streaming/StreamServer.h"

namespace wrenly {

// A one-shot signal from the test thread to a server script; the bound is for broken builds.
struct Gate {
  std::promise<void> opened;
  std::shared_future<void> signal = opened.get_future().share();
  void open() { opened.set_value(); }
  void wait() { signal.wait_for(std::chrono::minutes(1)); }
};

using FinishOutcome = CallOutcome<LiveRecognitionResult>;

inline const std::string cancelled =
    "code=" + std::to_string(static_cast<int>(asio::error::operation_aborted));
inline const std::string testRequestID = "5B1C8D0E-7F2A-4C3B-9D1E-0A2B3C4D5E6F";
inline const std::string finishBytes = R"({"type":"finish"})";
inline const std::string readyMessage = R"({"type":"ready"})";
inline const std::string resultMessage =
    R"({"type":"result","transcript":"one two","text":"One, two.","segments":3,"fallbackSegments":5})";

// The service as it normally behaves: ready at once, a result after the finish frame; or the
// same once `gate` opens.
inline void answersAtOnce(StreamPeer& peer) {
  peer.sendText(readyMessage);
  if (peer.receiveUntilFinish()) peer.sendText(resultMessage);
}
inline StreamServer::Script answersOnceOpened(Gate& gate) {
  return [&gate](StreamPeer& peer) {
    gate.wait();
    answersAtOnce(peer);
  };
}

// A client, a loopback server's certificate, a background pool, a main loop and a manual clock.
class StreamingTest : public ::testing::Test {
 protected:
  using TokenSource = std::function<std::optional<std::string>()>;

  StreamingTest() { certificate().writeCertificate(authorities_); }
  // Lets every posted completion run (and fail) before the objects they point at go.
  ~StreamingTest() override { pool_.join(); }

  static const TestCertificate& certificate() {
    static const TestCertificate shared = TestCertificate::generate();
    return shared;
  }

  // A service that says ready and reads one frame (then opens `streaming`), then stops reading
  // until `release` opens, with a small receive window so the client's writes stall soon; then
  // reads to the end.
  static std::unique_ptr<StreamServer> stallingServer(Gate& release, Gate* streaming = nullptr) {
    return std::make_unique<StreamServer>(
        certificate(),
        [&release, streaming](StreamPeer& peer) {
          peer.sendText(readyMessage);
          if (streaming && peer.receive()) streaming->open();
          release.wait();
          peer.receiveUntilClosed();
        },
        StreamServer::Options{.receiveBufferBytes = 4096});
  }

  std::unique_ptr<LiveRecognitionClient> makeClient(
      std::optional<std::string> endpoint, bool cleanup = true,
      TokenSource token = [] { return std::string("secret-token"); }) {
    return std::make_unique<LiveRecognitionClient>(
        testRequestID, "auto", cleanup,
        StreamingSpeechDependencies{pool_.get_executor(), clock_, std::move(endpoint),
                                    std::move(token), trust_});
  }

  // Starts finish() in a coroutine on the main loop and runs it up to its first suspension.
  std::shared_ptr<FinishOutcome> startFinish(LiveRecognitionClient& client,
                                             asio::cancellation_slot slot = {}) {
    auto outcome = startCall(mainLoop_, client.finish(), slot);
    loop_.settle();
    return outcome;
  }

  // Nothing here waits for a timer: the clock moves only when a test advances it.
  void runUntilDone(const FinishOutcome& outcome) {
    loop_.runUntil([&] { return outcome.done; });
  }

  FinishOutcome finish(LiveRecognitionClient& client) {
    auto outcome = startFinish(client);
    runUntilDone(*outcome);
    return std::move(*outcome);
  }

  // Lines the diagnostics log received since the last call.
  std::vector<std::string> newLogLines() {
    auto lines = log_.lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logMark_));
    logMark_ += lines.size();
    return lines;
  }

  static std::vector<uint8_t> chunk(std::size_t size, uint8_t fill = 0x11) {
    return std::vector<uint8_t>(size, fill);
  }

  RecordedDiagnostics log_;  // first: points the log at a scratch folder
  TemporaryDirectory directory_;
  std::filesystem::path authorities_ = directory_ / "authorities.pem";
  StreamTrust trust_{authorities_};  // what the next client trusts: by default the test's own
  ManualClock clock_;
  asio::io_context mainLoop_;
  LoopDriver loop_{mainLoop_};
  asio::thread_pool pool_{2};
  std::size_t logMark_ = 0;
};

}  // namespace wrenly
