// Recorder and encoder costs: the WAV of a 180-second recording next to sox doing the same
// conversion, the live path's CPU share, and the memory a full-length recording takes.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/thread_pool.hpp>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "audio/MacAudioRecorder.h"
#include "support/audio/FakeAudioInput.h"

using namespace wrenly;

extern char** environ;

namespace {

constexpr double rate = 48000;
constexpr int channels = 2;
constexpr int seconds = 180;

// One second of a stereo signal, delivered again and again: the source itself stays small.
const std::vector<float>& oneSecond() {
  static const std::vector<float> signal = FakeAudioInput::tone(440, rate, channels, 1.0, 0.3f);
  return signal;
}

void record(FakeAudioInput& mic, MacAudioRecorder& recorder, int length) {
  recorder.start();
  for (int s = 0; s < length; ++s) mic.deliver(oneSecond());
}

void BM_FinishWavOf180sStereo48k(benchmark::State& state) {
  asio::thread_pool pool{1};
  FakeAudioInput mic;
  mic.setDevice({rate, channels});
  MacAudioRecorder recorder(mic, pool.get_executor());
  size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    record(mic, recorder, seconds);
    state.ResumeTiming();
    bytes = recorder.finish().size();
  }
  state.counters["wavBytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FinishWavOf180sStereo48k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SoxSameConversion(benchmark::State& state) {
  const std::string input = "/tmp/wrenly-bench-" + std::to_string(::getpid()) + ".f32";
  const std::string output = input + ".s16";
  {
    std::ofstream out(input, std::ios::binary);
    for (int s = 0; s < seconds; ++s) {
      out.write(reinterpret_cast<const char*>(oneSecond().data()),
                static_cast<std::streamsize>(oneSecond().size() * sizeof(float)));
    }
  }
  std::vector<std::string> args{
      "sox",  "-t",       "raw", "-r",   "48000", "-e", "floating-point", "-b", "32",
      "-c",   "2",        input, "-t",   "raw",   "-e", "signed",         "-b", "16",
      output, "channels", "1",   "rate", "16000"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("sox not found");
      break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (status != 0) {
      state.SkipWithError("sox failed");
      break;
    }
  }
  std::remove(input.c_str());
  std::remove(output.c_str());
}
BENCHMARK(BM_SoxSameConversion)->Unit(benchmark::kMillisecond)->UseRealTime();

double processCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Audio thread (mixing, storing) plus the "Wrenly.mac.pcm" queue (resampling, chunking), per
// second of 48 kHz stereo input, as process CPU time.
void BM_LivePathPerSecondOfStereo48k(benchmark::State& state) {
  asio::thread_pool pool{1};
  FakeAudioInput mic;
  mic.setDevice({rate, channels});
  MacAudioRecorder recorder(mic, pool.get_executor());
  size_t chunks = 0;
  constexpr int length = 20;
  double cpuSeconds = 0;
  int runs = 0;
  for (auto _ : state) {
    const double cpuBefore = processCpuSeconds();
    recorder.configureStream([&](std::vector<std::uint8_t>) { ++chunks; }, {});
    record(mic, recorder, length);
    recorder.stop();  // waits for the queue to finish every buffer
    cpuSeconds += processCpuSeconds() - cpuBefore;
    ++runs;
  }
  state.counters["cpuPercentOfOneCore"] = 100.0 * cpuSeconds / (double(runs) * length);
  state.counters["chunks"] = static_cast<double>(chunks);
}
BENCHMARK(BM_LivePathPerSecondOfStereo48k)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

long statusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  }
  return -1;
}

// Peak resident memory of a full-length recording, from start to the finished WAV, against the
// float storage the recording needs (180 s x 48000 Hz x 2 channels x 4 bytes).
void BM_PeakMemoryOf180sRecording(benchmark::State& state) {
  asio::thread_pool pool{1};
  FakeAudioInput mic;
  mic.setDevice({rate, channels});
  MacAudioRecorder recorder(mic, pool.get_executor());
  oneSecond();
  const double floatBytes = seconds * rate * channels * sizeof(float);
  double ratio = 0;
  for (auto _ : state) {
    { std::ofstream("/proc/self/clear_refs") << "5"; }  // resets the peak to the current size
    const long before = statusKiB("VmRSS:");
    record(mic, recorder, seconds);
    const auto wav = recorder.finish();
    const long peak = statusKiB("VmHWM:");
    ratio = std::max(ratio, (peak - before) * 1024.0 / floatBytes);
    benchmark::DoNotOptimize(wav.data());
  }
  state.counters["peakOverFloatStorage"] = ratio;
  state.counters["floatStorageMB"] = floatBytes / 1e6;
}
BENCHMARK(BM_PeakMemoryOf180sRecording)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
