// The program's own time from the second press of the trigger key to the paste, for a
// 10-second dictation of 48 kHz stereo: WAV encoding, recognition calls to a loopback service
// that answers at once, tidying and delivery into a scripted desktop. Deliberate waits (the
// paste key's hold, the settle pauses) are on the manual clock and do not count.
//
// Reported per dictation: wall time (the benchmark's time) and the CPU time of each client
// thread (main loop, background pool, any other client thread such as the diagnostics writer).
// The loopback services' threads name themselves "loopback-*" and are left out.

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <pthread.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <chrono>
#include <ctime>
#include <fstream>
#include <latch>
#include <map>
#include <mutex>

#include "controller/LiveStreamingSession.h"
#include "support/controller/ControllerFixture.h"
#include "support/streaming/StreamServer.h"
#include "text/ChineseOutput.h"
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
    loopback = true;  // the real client's share is part of what is measured
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
      liveSessions = [this, live](std::string id, std::string language, bool cleanup,
                                  std::string vocabulary) {
        return std::make_shared<TimedSession>(
            live(std::move(id), std::move(language), cleanup, std::move(vocabulary)), &resultAt);
      };
    }
    nameClientThreads();
    mic.setDevice({48000, 2, true});
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

  // Names the main loop and the pool threads, so the per-thread figures say whose they are.
  void nameClientThreads() {
    pthread_setname_np(pthread_self(), "client-main");
    std::latch both(2);
    for (int i = 0; i < 2; ++i) {
      asio::post(pool, [&] {
        pthread_setname_np(pthread_self(), "client-pool");
        both.arrive_and_wait();  // holds this thread so the other task gets the other one
      });
    }
    both.wait();
  }

  // CPU seconds of every thread of the process by role: "main", "pool", "other" (client
  // threads not named here) and "loopback" (the test services, not the client's).
  static std::map<std::string, double> cpuByRole() {
    std::map<std::string, double> out{{"main", 0}, {"pool", 0}, {"other", 0}, {"loopback", 0}};
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return out;
    while (dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] == '.') continue;
      const pid_t tid = std::stoi(entry->d_name);
      std::string name;
      std::getline(std::ifstream("/proc/self/task/" + std::string(entry->d_name) + "/comm"), name);
      // The per-thread CPU clock of any thread of this process (the kernel's clock id encoding,
      // as pthread_getcpuclockid makes it).
      const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid)) << 3) | 6;
      timespec t{};
      if (clock_gettime(clock, &t) != 0) continue;
      const double seconds = double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
      const std::string role = name == "client-main"            ? "main"
                               : name == "client-pool"          ? "pool"
                               : name.rfind("loopback", 0) == 0 ? "loopback"
                                                                : "other";
      out[role] += seconds;
    }
    closedir(tasks);
    return out;
  }
  std::map<std::string, double> cpuSpent{{"main", 0}, {"pool", 0}, {"other", 0}, {"loopback", 0}};

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
    if (state().phase != DictationPhase::recording) throw std::runtime_error("did not record");
    if (!mic.deliver(FakeAudioInput::tone(440, 48000, 2, seconds))) {
      throw std::runtime_error("nothing recorded");
    }
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
    while (state().phase != DictationPhase::idle) {
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

double minimum(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void stopToPaste(benchmark::State& benchState, bool streaming) {
  Program program(streaming);
  for (auto _ : benchState) {
    program.record(10.0);
    const auto checks = program.accountChecks();
    const auto cpuBefore = Program::cpuByRole();
    const auto begin = std::chrono::steady_clock::now();
    program.stopAndDeliver();
    const auto end = std::chrono::steady_clock::now();
    for (const auto& [role, seconds] : Program::cpuByRole()) {
      program.cpuSpent[role] += seconds - cpuBefore.at(role);
    }
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
  const double runs = static_cast<double>(benchState.iterations());
  benchState.counters["press_ms"] = program.pressSeconds * 1000 / runs;
  const auto& cpu = program.cpuSpent;
  benchState.counters["cpu_main_ms"] = cpu.at("main") * 1000 / runs;
  benchState.counters["cpu_pool_ms"] = cpu.at("pool") * 1000 / runs;
  benchState.counters["cpu_other_ms"] = cpu.at("other") * 1000 / runs;
  benchState.counters["cpu_client_ms"] =
      (cpu.at("main") + cpu.at("pool") + cpu.at("other")) * 1000 / runs;
  benchState.counters["cpu_loopback_ms_excluded"] = cpu.at("loopback") * 1000 / runs;
  if (streaming) benchState.counters["outcome_ms"] = program.outcomeSeconds * 1000 / runs;
}

void BM_StopToPasteByStream(benchmark::State& state) {
  stopToPaste(state, true);
}
void BM_StopToPasteByBatch(benchmark::State& state) {
  stopToPaste(state, false);
}

// Several runs of 10 dictations each, reported as min and median.
void severalRuns(benchmark::internal::Benchmark* run) {
  run->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(10)
      ->Repetitions(5)
      ->ComputeStatistics("min", minimum)
      ->ReportAggregatesOnly(true);
}
BENCHMARK(BM_StopToPasteByStream)->Apply(severalRuns);
BENCHMARK(BM_StopToPasteByBatch)->Apply(severalRuns);

}  // namespace

namespace {

// Parts of the client's share, measured alone.
void BM_LocalTidyOfTheTranscript(benchmark::State& state) {
  const std::string recognized =
      "今日下午三點喺會議室開會，討論下個月嘅產品發佈安排，請大家準備好各自負責嘅部分同埋預算。";
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ChineseOutput::normalize(SpeechCleanup::formatList(recognized), recognized));
  }
}
BENCHMARK(BM_LocalTidyOfTheTranscript)->Unit(benchmark::kMillisecond);

}  // namespace
