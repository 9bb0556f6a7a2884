// The program's own time from the second press of the trigger key to the paste, for a
// 10-second dictation: WAV encoding, recognition calls to a loopback service that answers at
// once, tidying and delivery into a scripted desktop. Deliberate waits (the paste key's hold,
// the settle pauses) are on the manual clock and do not count.

#include <benchmark/benchmark.h>

#include <chrono>

#include "controller/ControllerFixture.h"
#include "controller/LiveStreamingSession.h"
#include "support/streaming/StreamServer.h"

namespace {

class Program : public ControllerFixture {
 public:
  explicit Program(bool streaming) {
    if (streaming) {
      // The stream socket answers at once: ready, then the result right after the finish frame.
      streamServer = std::make_unique<StreamServer>(server.certificate(), [](StreamPeer& peer) {
        peer.sendText(R"({"type":"ready"})");
        if (peer.receiveUntilFinish()) {
          peer.sendText(
              R"({"type":"result","transcript":"今日下午三點喺會議室開會，討論下個月嘅產品發佈安排。",)"
              R"("text":"今日下午三點在會議室開會，討論下個月的產品發佈安排。","segments":1,"fallbackSegments":1})");
        }
      });
      liveSessions = liveStreamingSessions(platform, service, streamServer->baseURL(),
                                           StreamTrust{server.certificateFile()});
    }
    signedIn();
    setUpDone();
    launch();
    controller->setStreamingConsent(streaming);
    // About what ten seconds of speech give.
    server.setTranscript(
        "今日下午三點喺會議室開會，討論下個月嘅產品發佈安排，請大家準備好各自負責嘅部分同埋預算。");
    server.setCleanedText(
        "今日下午三點在會議室開會，討論下個月的產品發佈安排，請大家準備好各自負責的部分及預算。");
  }

  void TestBody() override {}

  std::size_t audioBytesSent() const {
    std::size_t bytes = 0;
    for (const auto& frame : streamServer->frames()) bytes += frame.text ? 0 : frame.data.size();
    return bytes;
  }

  std::unique_ptr<StreamServer> streamServer;

  // Everything before the second press: a recording of `seconds` of speech.
  void record(double seconds) {
    clock.advanceSeconds(5);  // earlier notices run out
    editorField->setText("");
    startDictation();
    if (state().phase != MacVoicePhase::recording) throw std::runtime_error("did not record");
    speak(seconds);
    if (streamServer) {
      // The live path converts and sends on its own queues; let it catch up before the clock
      // starts: all but the last partial chunk and what the resampler still holds.
      const std::size_t expected = static_cast<std::size_t>(seconds * 32000) - 2 * 3200;
      runUntil([&] { return audioBytesSent() >= expected; });
    }
  }

  // The second press, up to the report of the paste. Waits only for the network; the clock's
  // pauses pass at once.
  void stopAndDeliver() {
    controller->toggle();
    while (state().phase != MacVoicePhase::idle) {
      if (loop.poll() > 0) continue;
      loop.restart();
      if (clock.pendingTimers() > 0) {
        clock.advance(std::chrono::milliseconds(1));
      } else {
        loop.run_one_for(std::chrono::milliseconds(5));
        loop.restart();
      }
    }
  }

  // The account check that follows every dictation lands outside the measured time.
  void settleAfter(size_t checksBefore) {
    runUntil([&] { return accountChecks() > checksBefore; });
    for (int i = 0; i < 20; ++i) {
      loop.run_one_for(std::chrono::milliseconds(1));
      loop.restart();
    }
  }
};

void stopToPaste(benchmark::State& benchState, bool streaming) {
  Program program(streaming);
  for (auto _ : benchState) {
    program.record(10.0);
    const auto checks = program.accountChecks();
    const auto begin = std::chrono::steady_clock::now();
    program.stopAndDeliver();
    const auto end = std::chrono::steady_clock::now();
    benchState.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (program.editorField->text().empty()) {
      benchState.SkipWithError("nothing was pasted");
      break;
    }
    program.settleAfter(checks);
  }
}

void BM_StopToPasteByStream(benchmark::State& state) {
  stopToPaste(state, true);
}
void BM_StopToPasteByBatch(benchmark::State& state) {
  stopToPaste(state, false);
}

BENCHMARK(BM_StopToPasteByStream)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopToPasteByBatch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
