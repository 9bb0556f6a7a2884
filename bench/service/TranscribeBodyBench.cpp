// Building the upload body of a three-minute recording: time, and the extra memory it takes at
// its peak ("peak_extra_bytes", "peak_wav_multiples" counters, measured through malloc hooks).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "service/RequestBodies.h"

using namespace wrenly;

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void noteAllocated(long long bytes) {
  long long now = liveBytes += bytes;
  long long peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size);
  if (!p) throw std::bad_alloc();
  noteAllocated(static_cast<long long>(malloc_usable_size(p)));
  return p;
}
static void release(void* p) {
  if (p) liveBytes -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p) noexcept {
  release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  release(p);
}

static void BM_TranscribeBody180s(benchmark::State& state) {
  // 180 s of 16 kHz 16-bit mono plus the 44-byte header.
  std::vector<std::uint8_t> wav(5'760'044);
  for (size_t i = 0; i < wav.size(); ++i) wav[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
  long long worstExtra = 0;
  for (auto _ : state) {
    long long before = liveBytes.load();
    peakBytes.store(before);
    std::string body =
        transcribeBody(wav, "auto", std::nullopt, "1B4E28BA-2FA1-11D2-883F-0016D3CCA427");
    benchmark::DoNotOptimize(body.data());
    worstExtra = std::max(worstExtra, peakBytes.load() - before);
  }
  state.counters["peak_extra_bytes"] = static_cast<double>(worstExtra);
  state.counters["peak_wav_multiples"] = static_cast<double>(worstExtra) / wav.size();
}
BENCHMARK(BM_TranscribeBody180s)->Unit(benchmark::kMillisecond);
