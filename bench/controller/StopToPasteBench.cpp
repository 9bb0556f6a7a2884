// The program's own time from the second press of the trigger key to the paste, for a
// 10-second dictation: WAV encoding, recognition calls to a loopback service that answers at
// once, tidying and delivery into a scripted desktop. Deliberate waits (the paste key's hold,
// the settle pauses) are on the manual clock and do not count.

#include <benchmark/benchmark.h>

#include <pthread.h>

#include <boost/asio/post.hpp>
#include <chrono>
#include <ctime>
#include <latch>
#include <mutex>

#include "controller/ControllerFixture.h"
#include "controller/LiveStreamingSession.h"
#include "support/streaming/StreamServer.h"
#include "text/MacChineseOutput.h"
#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

// Notes when the live session's outcome reached the controller.
class TimedSession final : public StreamingSession {
 public:
  TimedSession(std::shared_ptr<StreamingSession> inner,
               std::chrono::steady_clock::time_point* resultAt)
      : inner_(std::move(inner)), resultAt_(resultAt) {}
  const std::string& requestID() const override { return inner_->requestID(); }
  void append(std::vector<std::uint8_t> pcm) override { inner_->append(std::move(pcm)); }
  asio::awaitable<Result> finish() override {
    Result result = co_await inner_->finish();
    *resultAt_ = std::chrono::steady_clock::now();
    co_return result;
  }
  void cancel() override { inner_->cancel(); }

 private:
  std::shared_ptr<StreamingSession> inner_;
  std::chrono::steady_clock::time_point* resultAt_;
};

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
      auto live = liveStreamingSessions(platform, service, streamServer->baseURL(),
                                        StreamTrust{server.certificateFile()});
      liveSessions = [this, live](std::string id, std::string language, bool cleanup) {
        return std::make_shared<TimedSession>(live(std::move(id), std::move(language), cleanup),
                                              &resultAt);
      };
    }
    findClientThreads();
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

  // CPU time of every thread of the client: the main loop (this thread) and the background
  // pool, which also runs the PCM and streaming queues. The loopback servers' threads are not
  // counted.
  void findClientThreads() {
    clockid_t own;
    pthread_getcpuclockid(pthread_self(), &own);
    clientClocks.push_back(own);
    std::latch both(2);
    std::mutex mutex;
    for (int i = 0; i < 2; ++i) {
      asio::post(pool, [&] {
        clockid_t id;
        pthread_getcpuclockid(pthread_self(), &id);
        {
          std::lock_guard guard(mutex);
          clientClocks.push_back(id);
        }
        both.arrive_and_wait();  // holds this thread so the other task gets the other one
      });
    }
    both.wait();
  }
  double clientCpuSeconds(size_t first = 0) const {
    double total = 0;
    for (size_t i = first; i < clientClocks.size(); ++i) {
      const clockid_t id = clientClocks[i];
      timespec t{};
      clock_gettime(id, &t);
      total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    return total;
  }
  std::vector<clockid_t> clientClocks;
  double clientCpu = 0;
  double poolCpu = 0;

  std::size_t audioBytesSent() const {
    std::size_t bytes = 0;
    for (const auto& frame : streamServer->frames()) bytes += frame.text ? 0 : frame.data.size();
    return bytes;
  }

  std::unique_ptr<StreamServer> streamServer;
  double pressSeconds = 0;    // inside the key press itself: the WAV and the start of processing
  double outcomeSeconds = 0;  // from the press to the live session's outcome
  std::chrono::steady_clock::time_point resultAt;

  // Everything before the second press: a recording of `seconds` of speech.
  void record(double seconds) {
    clock.advanceSeconds(5);  // earlier notices run out
    editorField->setText("");
    startDictation();
    if (state().phase != VoicePhase::recording) throw std::runtime_error("did not record");
    speak(seconds);
    if (streamServer) {
      // The live path converts and sends on its own queues; let it catch up before the clock
      // starts: all but the last partial chunk and what the resampler still holds.
      const std::size_t expected = static_cast<std::size_t>(seconds * 32000) - 2 * 3200;
      runUntil([&] { return audioBytesSent() >= expected; });
    }
    // Work of the previous dictation still winding down on the pool ends before the clock starts.
    loop.run_for(std::chrono::milliseconds(50));
    loop.restart();
  }

  // The second press, up to the report of the paste. Waits only for the network; the clock's
  // pauses pass at once.
  void stopAndDeliver() {
    const auto begin = std::chrono::steady_clock::now();
    controller->toggle();
    pressSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    while (state().phase != VoicePhase::idle) {
      const auto ran = loop.poll();
      loop.restart();
      if (ran > 0) continue;
      // Short pauses (the paste key's hold) pass at once; the session's own limits stay far off.
      if (clock.advanceToNextTimer(std::chrono::milliseconds(100))) continue;
      loop.run_one_for(std::chrono::milliseconds(5));  // returns as soon as work arrives
      loop.restart();
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
    const double cpuBefore = program.clientCpuSeconds();
    const double poolBefore = program.clientCpuSeconds(1);
    const auto begin = std::chrono::steady_clock::now();
    program.stopAndDeliver();
    const auto end = std::chrono::steady_clock::now();
    program.clientCpu += program.clientCpuSeconds() - cpuBefore;
    program.poolCpu += program.clientCpuSeconds(1) - poolBefore;
    benchState.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (streaming) {
      program.outcomeSeconds += std::chrono::duration<double>(program.resultAt - begin).count();
    }
    if (program.editorField->text().empty()) {
      benchState.SkipWithError("nothing was pasted");
      break;
    }
    program.settleAfter(checks);
  }
  benchState.counters["press_ms"] = benchmark::Counter(
      program.pressSeconds * 1000 / static_cast<double>(benchState.iterations()));
  benchState.counters["client_cpu_ms"] =
      benchmark::Counter(program.clientCpu * 1000 / static_cast<double>(benchState.iterations()));
  benchState.counters["pool_cpu_ms"] =
      benchmark::Counter(program.poolCpu * 1000 / static_cast<double>(benchState.iterations()));
  if (streaming) {
    benchState.counters["outcome_ms"] = benchmark::Counter(
        program.outcomeSeconds * 1000 / static_cast<double>(benchState.iterations()));
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

namespace {

// Parts of the client's share, measured alone.
void BM_LocalTidyOfTheTranscript(benchmark::State& state) {
  const std::string recognized =
      "今日下午三點喺會議室開會，討論下個月嘅產品發佈安排，請大家準備好各自負責嘅部分同埋預算。";
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        MacChineseOutput::normalize(SpeechCleanup::formatList(recognized), recognized));
  }
}
BENCHMARK(BM_LocalTidyOfTheTranscript)->Unit(benchmark::kMillisecond);

}  // namespace
