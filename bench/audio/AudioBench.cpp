// Recorder and encoder costs for a 180-second recording of 48 kHz stereo float: the WAV
// (16 kHz mono 16-bit) next to the same conversion by soxr called directly and by sox, the live
// path's CPU per thread, and the peak memory of a whole recording in a fresh process.
//
// Run with --benchmark_repetitions for several runs; every benchmark also reports its minimum.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <soxr.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <future>
#include <mutex>
#include <string>

#include "audio/PcmEncoding.h"
#include "audio/Recorder.h"
#include "support/audio/FakeAudioInput.h"

using namespace wrenly;

extern char** environ;

namespace {

constexpr double rate = 48000;
constexpr int channels = 2;
constexpr int seconds = 180;

double minimum(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

// One second of a stereo signal, delivered again and again: the source itself stays small.
const std::vector<float>& oneSecond() {
  static const std::vector<float> signal = FakeAudioInput::tone(440, rate, channels, 1.0, 0.3f);
  return signal;
}

// The whole recording as the recorder keeps it.
std::vector<float> wholeRecording() {
  std::vector<float> all;
  all.reserve(oneSecond().size() * seconds);
  for (int s = 0; s < seconds; ++s) all.insert(all.end(), oneSecond().begin(), oneSecond().end());
  return all;
}

// A recorder on a fake microphone of the benchmarks' format.
struct Rig {
  Rig() { mic.setDevice({rate, channels}); }
  void record(int length) {
    recorder.start();
    for (int s = 0; s < length; ++s) mic.deliver(oneSecond());
  }
  asio::thread_pool pool{1};
  FakeAudioInput mic;
  Recorder recorder{mic, pool.get_executor()};
};

// Milliseconds, and every benchmark's minimum next to its mean.
void inMilliseconds(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->ComputeStatistics("min", minimum);
}

// finish(): the channel mix, soxr, the 16-bit conversion and the WAV.
void BM_FinishWavOf180sStereo48k(benchmark::State& state) {
  Rig rig;
  size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    rig.record(seconds);
    state.ResumeTiming();
    bytes = rig.recorder.finish().size();
  }
  state.counters["wavBytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FinishWavOf180sStereo48k)->Apply(inMilliseconds)->UseRealTime();

// The floor for finish(): the same soxr configuration (HQ, float in and out, one channel,
// 48000 -> 16000) called directly on the same samples, mixed in the same blocks, with the same
// rounding to 16 bits into one buffer. No recorder, no WAV header.
void BM_SoxrDirectSameConversion(benchmark::State& state) {
  const std::vector<float> all = wholeRecording();
  const std::size_t frames = all.size() / channels;
  constexpr std::size_t blockFrames = 16384;
  std::vector<float> block(blockFrames);
  std::vector<float> out(4096);
  std::vector<std::uint8_t> pcm;
  for (auto _ : state) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_t soxr = soxr_create(rate, 16000, 1, &error, &io, &quality, nullptr);
    pcm = {};
    pcm.reserve(frames / 3 * 2 + 4096);
    auto pump = [&](const float* input, std::size_t length) {
      do {
        std::size_t used = 0;
        std::size_t made = 0;
        soxr_process(soxr, input, length, &used, out.data(), out.size(), &made);
        PcmEncoding::appendPcm16(std::span<const float>(out.data(), made), pcm);
        if (input) {
          input += used;
          length -= used;
        } else if (made == 0) {
          return;  // drained
        }
      } while (length > 0 || !input);
    };
    for (std::size_t first = 0; first < frames; first += blockFrames) {
      const std::size_t count = std::min(blockFrames, frames - first);
      const float* in = all.data() + first * channels;
      for (std::size_t f = 0; f < count; ++f) block[f] = (in[2 * f] + in[2 * f + 1]) / 2.0f;
      pump(block.data(), count);
    }
    pump(nullptr, 0);
    soxr_delete(soxr);
    benchmark::DoNotOptimize(pcm.data());
  }
  state.counters["pcmBytes"] = static_cast<double>(pcm.size());
}
BENCHMARK(BM_SoxrDirectSameConversion)->Apply(inMilliseconds)->UseRealTime();

// Runs sox; its CPU time (user and system), or a negative value when it failed.
double soxCpuSeconds(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "sox", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (status != 0) return -1;
  auto toSeconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

// sox without dither (-D), the same mix and rate (its default high quality), files in memory
// (/dev/shm). Each run's time is the CPU time of the conversion minus that of a run of sox that
// only reads the same input into its null output: process start-up and reading the input are
// left out. CPU rather than wall time, so other load on the machine does not count.
void BM_SoxNoDitherSameConversion(benchmark::State& state) {
  const std::string input = "/dev/shm/wrenly-bench-" + std::to_string(::getpid()) + ".f32";
  const std::string output = input + ".s16";
  {
    const std::vector<float> all = wholeRecording();
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(all.data()),
               static_cast<std::streamsize>(all.size() * sizeof(float)));
  }
  const std::vector<std::string> in{"sox", "-D", "-t", "raw", "-r", "48000", "-e", "floating-point",
                                    "-b",  "32", "-c", "2",   input};
  auto convert = in;
  for (const char* a : {"-t", "raw", "-e", "signed", "-b", "16", output.c_str(), "channels", "1",
                        "rate", "16000"}) {
    convert.emplace_back(a);
  }
  auto readOnly = in;
  readOnly.emplace_back("-n");
  for (auto _ : state) {
    const double read = soxCpuSeconds(readOnly);
    const double converted = soxCpuSeconds(convert);
    if (read < 0 || converted < 0) {
      state.SkipWithError("sox is missing or failed");
      break;
    }
    state.SetIterationTime(converted - read);
  }
  std::remove(input.c_str());
  std::remove(output.c_str());
}
BENCHMARK(BM_SoxNoDitherSameConversion)->Apply(inMilliseconds)->UseManualTime();

double threadCpuSeconds(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The live path while recording, per second of 48 kHz stereo input, as CPU time of its two
// threads: the sound system's (here the delivering thread: mix, store, meter) and the
// "Wrenly.pcm" queue's (resampling, chunking). Starting and stopping are outside.
void BM_LivePathPerSecondOfStereo48k(benchmark::State& state) {
  Rig rig;
  std::promise<clockid_t> poolClock;
  asio::post(rig.pool, [&] {
    clockid_t id;
    pthread_getcpuclockid(pthread_self(), &id);
    poolClock.set_value(id);
  });
  const clockid_t queueClock = poolClock.get_future().get();
  clockid_t tapClock;
  pthread_getcpuclockid(pthread_self(), &tapClock);

  std::mutex mutex;
  std::condition_variable sent;
  std::size_t bytes = 0;
  constexpr int length = 20;
  // All of it but the last partial chunk and what the resampler holds back.
  constexpr std::size_t expected = length * 32000 - 2 * LivePcmStream::chunkBytes;
  double tapSeconds = 0;
  double queueSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      std::lock_guard guard(mutex);
      bytes = 0;
    }
    // stop() clears the stream callbacks, so each recording sets them again.
    rig.recorder.configureStream(
        [&](std::vector<std::uint8_t> chunk) {
          std::lock_guard guard(mutex);
          bytes += chunk.size();
          sent.notify_all();
        },
        {});
    rig.recorder.start();
    const double tapBefore = threadCpuSeconds(tapClock);
    const double queueBefore = threadCpuSeconds(queueClock);
    state.ResumeTiming();
    for (int s = 0; s < length; ++s) rig.mic.deliver(oneSecond());
    std::unique_lock lock(mutex);
    if (!sent.wait_for(lock, std::chrono::minutes(1), [&] { return bytes >= expected; })) {
      state.SkipWithError("the live path did not deliver");
      break;
    }
    lock.unlock();
    state.PauseTiming();
    tapSeconds += threadCpuSeconds(tapClock) - tapBefore;
    queueSeconds += threadCpuSeconds(queueClock) - queueBefore;
    rig.recorder.stop();
    state.ResumeTiming();
  }
  const double inputSeconds = double(state.iterations()) * length;
  state.counters["tapCpuPercent"] = 100.0 * tapSeconds / inputSeconds;
  state.counters["queueCpuPercent"] = 100.0 * queueSeconds / inputSeconds;
  state.counters["cpuPercentOfOneCore"] = 100.0 * (tapSeconds + queueSeconds) / inputSeconds;
}
BENCHMARK(BM_LivePathPerSecondOfStereo48k)->Apply(inMilliseconds)->UseRealTime();

long statusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  }
  return -1;
}

constexpr const char* peakChildFlag = "--recorder-peak-child";

// In a fresh process: one 180 s recording and its WAV. Prints the resident size before the
// recording and the peak, with the WAV still held.
int peakChild() {
  Rig rig;
  oneSecond();
  const long before = statusKiB("VmRSS:");
  rig.record(seconds);
  const auto wav = rig.recorder.finish();
  const long peak = statusKiB("VmHWM:");
  std::printf("%ld %ld %zu\n", before, peak, wav.size());
  return 0;
}

// Peak resident memory of a full-length recording, start to finished WAV, each run in a fresh
// process, against the float storage the recording needs (180 s x 48000 Hz x 2 x 4 bytes).
void BM_PeakMemoryOf180sRecording(benchmark::State& state) {
  const double floatBytes = seconds * rate * channels * sizeof(float);
  double grewMB = 0;
  double peakMB = 0;
  for (auto _ : state) {
    int out[2];
    if (::pipe(out) != 0) break;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string self = "/proc/self/exe";
    std::string flag = peakChildFlag;
    char* argv[] = {self.data(), flag.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char text[128] = {};
    const ssize_t got = spawned == 0 ? ::read(out[0], text, sizeof text - 1) : -1;
    ::close(out[0]);
    int status = 0;
    if (spawned == 0) ::waitpid(pid, &status, 0);
    long before = 0;
    long peak = 0;
    std::size_t wav = 0;
    if (got <= 0 || status != 0 || std::sscanf(text, "%ld %ld %zu", &before, &peak, &wav) != 3) {
      state.SkipWithError("the measuring process failed");
      break;
    }
    grewMB = (peak - before) * 1024.0 / 1e6;
    peakMB = peak * 1024.0 / 1e6;
  }
  state.counters["grewMB"] = grewMB;
  state.counters["peakRssMB"] = peakMB;
  state.counters["floatStorageMB"] = floatBytes / 1e6;
}
BENCHMARK(BM_PeakMemoryOf180sRecording)->Apply(inMilliseconds)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], peakChildFlag) == 0) return peakChild();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
