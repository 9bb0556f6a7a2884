#pragma once

#include <chrono>
#include <future>

#include "streaming/LiveRecognitionClient.h"
#include "support/TemporaryDirectory.h"
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

// A streaming client against loopback servers that present the test's own certificate.
class StreamingTest : public CallHarness {
 protected:
  using TokenSource = std::function<std::optional<std::string>()>;

  StreamingTest() { certificate().writeCertificate(authorities_); }
  ~StreamingTest() override { pool.join(); }

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
        /*receiveBufferBytes=*/4096);
  }

  std::unique_ptr<LiveRecognitionClient> makeClient(
      std::optional<std::string> endpoint, bool cleanup = true,
      TokenSource token = [] { return std::string("secret-token"); }) {
    return std::make_unique<LiveRecognitionClient>(
        testRequestID, "auto", cleanup,
        StreamingSpeechDependencies{pool.get_executor(), clock, std::move(endpoint),
                                    std::move(token), trust_});
  }

  // Starts finish() and runs it up to its first suspension.
  std::shared_ptr<FinishOutcome> startFinish(LiveRecognitionClient& client,
                                             asio::cancellation_slot slot = {}) {
    auto outcome = startCall(io, client.finish(), slot);
    loop.settle();
    return outcome;
  }
  void runUntilDone(const FinishOutcome& outcome) {
    loop.runUntil([&] { return outcome.done; });
  }

  // Lines the diagnostics log received since the last call.
  std::vector<std::string> newLogLines() {
    auto lines = log.lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logMark_));
    logMark_ += lines.size();
    return lines;
  }

  static std::vector<uint8_t> chunk(std::size_t size, uint8_t fill = 0x11) {
    return std::vector<uint8_t>(size, fill);
  }

  TemporaryDirectory directory_;
  std::filesystem::path authorities_ = directory_ / "authorities.pem";
  StreamTrust trust_{authorities_};  // what the next client trusts: by default the test's own
  std::size_t logMark_ = 0;
};

}  // namespace wrenly
