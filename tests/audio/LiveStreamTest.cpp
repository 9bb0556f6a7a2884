#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "RecorderFixture.h"
#include "diagnostics/MacDiagnostics.h"
#include "support/TemporaryDirectory.h"

namespace {

// The diagnostics log is process-wide and fixes its folder at first use: point it at a scratch
// folder before any test runs.
TemporaryDirectory& stateHome() {
  static TemporaryDirectory dir;
  return dir;
}
const bool stateHomeSet = [] {
  return ::setenv("XDG_STATE_HOME", stateHome().path().c_str(), 1) == 0;
}();

int logLinesWith(const std::string& text) {
  MacDiagnostics::flush();
  std::ifstream in(MacDiagnostics::directory() / "timing.log");
  int count = 0;
  for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
  return count;
}

void expectChunksOfExactSize(StreamLog& log, bool lastMayBeShort) {
  std::lock_guard guard(log.mutex);
  for (size_t i = 0; i < log.chunks.size(); ++i) {
    const bool last = i + 1 == log.chunks.size();
    if (last && lastMayBeShort) {
      EXPECT_GT(log.chunks[i].size(), 0u);
      EXPECT_LE(log.chunks[i].size(), 3200u);
    } else {
      ASSERT_EQ(log.chunks[i].size(), 3200u) << "chunk " << i;
    }
  }
}

TEST_F(RecorderTest, ChunksRunOnAcrossReconnectAndMatchTheWav) {
  StreamLog log;
  streamInto(log);
  mic.setDevice({48000, 2});
  recorder.start();
  // Left channel only: the live stream carries the mean of both channels.
  auto stereo = FakeAudioInput::tone(440, 48000, 2, 1.03, 0.5f);
  for (size_t i = 1; i < stereo.size(); i += 2) stereo[i] = 0;
  mic.deliver(stereo);
  mic.disconnect();
  mic.setDevice({16000, 1});
  recorder.reconnect();
  mic.deliver(FakeAudioInput::tone(440, 16000, 1, 0.77, 0.25f));
  const auto wav = WavFile::parse(recorder.finish());

  expectChunksOfExactSize(log, true);
  const auto live = log.joined();
  EXPECT_NEAR(live.size(), 1.8 * 32000, 8);
  EXPECT_EQ(WavFile::pcm(live.data(), live.size()), wav.samples);
  double sum = 0;
  for (size_t i = 1000; i < 15000; ++i) sum += double(wav.samples[i]) * wav.samples[i];
  EXPECT_NEAR(std::sqrt(sum / 14000), 0.25 * 32768 / std::sqrt(2.0), 100);
}

TEST_F(RecorderTest, StopHandsOutNoPartialChunkAndNothingAfterwards) {
  StreamLog log;
  streamInto(log);
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.25));  // 8000 bytes: two chunks and a rest
  recorder.stop();
  EXPECT_EQ(log.count(), 2u);
  expectChunksOfExactSize(log, false);

  // The next recording starts without callbacks: stop() cleared them.
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.25));
  recorder.finish();
  EXPECT_EQ(log.count(), 2u);
}

TEST_F(RecorderTest, CallbacksSetAfterStartWaitForTheNextEngine) {
  recorder.start();
  StreamLog log;
  streamInto(log);
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.5));
  recorder.finish();
  EXPECT_EQ(log.count(), 0u);
}

// A resampler that breaks on its second call, for every resampler made while `armed` is set.
struct BreakingResamplers {
  std::atomic<bool> armed{false};
  std::atomic<bool> refuse{false};

  ResamplerFactory factory() {
    return [this](double rate) -> std::unique_ptr<Resampler> {
      if (refuse) return nullptr;
      auto inner = makeSoxrResampler(rate);
      if (!armed) return inner;
      struct Breaking final : Resampler {
        std::unique_ptr<Resampler> inner;
        int calls = 0;
        std::size_t process(std::span<const float> in, bool ending, std::span<float> out,
                            std::size_t& consumed) override {
          if (++calls == 2) throw ResamplerError("broken");
          return inner->process(in, ending, out, consumed);
        }
      };
      auto breaking = std::make_unique<Breaking>();
      breaking->inner = std::move(inner);
      return breaking;
    };
  }
};

class BrokenLivePathTest : public RecorderTest {
 protected:
  static inline BreakingResamplers resamplers;
  BrokenLivePathTest() : RecorderTest(resamplers.factory()) {
    resamplers.armed = false;
    resamplers.refuse = false;
  }
};

TEST_F(BrokenLivePathTest, ConversionFailureEndsStreamingOnceAndKeepsTheWav) {
  const std::string line = "stream PCM conversion failed; full WAV retained";
  const int before = logLinesWith(line);
  StreamLog log;
  streamInto(log);
  resamplers.armed = true;
  recorder.start();
  resamplers.armed = false;  // the file path converts normally
  for (int i = 0; i < 10; ++i) mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.1));
  const auto wav = WavFile::parse(recorder.finish());
  EXPECT_EQ(log.failures, 1);
  EXPECT_LE(log.count(), 1u);  // at most what the first buffer produced
  EXPECT_NEAR(wav.samples.size(), 16000u, 2u);
  EXPECT_EQ(logLinesWith(line), before + 1);
}

TEST_F(BrokenLivePathTest, MissingLiveConverterFailsTheStreamWithoutLogLine) {
  const std::string line = "stream PCM conversion failed; full WAV retained";
  const int before = logLinesWith(line);
  StreamLog log;
  streamInto(log);
  resamplers.refuse = true;
  recorder.start();
  resamplers.refuse = false;
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.5));
  const auto wav = WavFile::parse(recorder.finish());
  EXPECT_EQ(log.failures, 1);
  EXPECT_EQ(log.count(), 0u);
  EXPECT_NEAR(wav.samples.size(), 8000u, 2u);
  EXPECT_EQ(logLinesWith(line), before);
}

}  // namespace
