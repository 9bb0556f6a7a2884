// The relay to an OpenAI-compatible transcription endpoint, against a scripted engine on
// loopback: the service's CPU per request (the scripted engine's own threads left out), and the
// time from the finish of a 20 s streamed utterance to its result when the engine takes 0.3x
// real time, with the audio cut at pauses and sent whole.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/EndpointRecogniser.h"
#include "server/ServiceLog.h"
#include "support/service/ContractServer.h"

using namespace wrenly;
using namespace wrenly::speech;

namespace {

// Speech (a loud square wave) and quiet, alternating, in milliseconds.
std::vector<std::int16_t> spoken(const std::vector<int>& milliseconds) {
  std::vector<std::int16_t> samples;
  for (size_t i = 0; i < milliseconds.size(); ++i) {
    for (int n = 0; n < milliseconds[i] * 16; ++n) {
      samples.push_back(i % 2 == 0 ? std::int16_t(n % 2 ? 3000 : -3000) : 0);
    }
  }
  return samples;
}

// CPU seconds of this process, less those of the scripted engine's threads.
double serviceCpuSeconds() {
  timespec all{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &all);
  double seconds = double(all.tv_sec) + double(all.tv_nsec) / 1e9;
  const double tick = double(sysconf(_SC_CLK_TCK));
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream stat(task.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    if (text.find("(loopback-https)") == std::string::npos) continue;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    double user = 0, system = 0;
    fields >> user >> system;
    seconds -= (user + system) / tick;
  }
  return seconds;
}

struct ScriptedEngine {
  ContractServer server;
  std::ostringstream logText;
  ServiceLog log{logText};
  explicit ScriptedEngine(double realTimeFactor) {
    server.setHandler([realTimeFactor](const ContractServer::Request& request) {
      // The body is nearly all audio: 32 000 bytes a second.
      const double audioSeconds = double(request.body.size()) / 32000;
      std::this_thread::sleep_for(std::chrono::duration<double>(audioSeconds * realTimeFactor));
      return std::optional(ContractServer::Reply::text("hello there"));
    });
  }
  EndpointSettings settings() const {
    EndpointSettings own;
    own.baseURL = "http://127.0.0.1:" + std::to_string(server.port()) + "/v1";
    own.model = "bench";
    return own;
  }
};

void relayCpu(benchmark::State& state) {
  ScriptedEngine engine(0);
  EndpointRecogniser recogniser(engine.settings(), SegmentLimits{}, engine.log);
  const auto audio = spoken({3000});
  const double before = serviceCpuSeconds();
  for (auto _ : state) {
    benchmark::DoNotOptimize(recogniser.recognise(audio, {VoiceLanguage::english, {}}));
  }
  state.counters["service_cpu_ms_per_request"] =
      (serviceCpuSeconds() - before) * 1000 / double(state.iterations());
}
BENCHMARK(relayCpu)->Unit(benchmark::kMillisecond);

// 20 s: six times 2.4 s spoken and 0.6 s of quiet, then 2 s spoken; fed in 100 ms frames at the
// pace of speech.
void stopToResult(benchmark::State& state) {
  const bool segmented = state.range(0) == 1;
  ScriptedEngine engine(0.3);
  SegmentLimits limits;
  if (!segmented) limits.pauseSamples = limits.longestSamples = 10'000'000;
  EndpointRecogniser recogniser(engine.settings(), limits, engine.log);
  std::vector<int> pattern;
  for (int i = 0; i < 6; ++i) pattern.insert(pattern.end(), {2400, 600});
  pattern.push_back(2000);
  const auto audio = spoken(pattern);
  for (auto _ : state) {
    auto stream = std::move(std::get<0>(recogniser.open({VoiceLanguage::english, {}})));
    for (size_t at = 0; at < audio.size(); at += 1600) {
      stream->feed(std::span(audio).subspan(at, std::min<size_t>(1600, audio.size() - at)));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto stopped = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(stream->finish());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count());
  }
}
BENCHMARK(stopToResult)
    ->ArgName("segmented")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
