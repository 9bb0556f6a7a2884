#include <algorithm>
#include <atomic>

#include "RecorderFixture.h"
#include "support/desktop/RecordedDiagnostics.h"

using namespace wrenly;

namespace {

// Made before anything logs: points the log at a scratch folder.
const RecordedDiagnostics diagnostics;

int failureLogLines() {
  const auto lines = diagnostics.lines();
  return static_cast<int>(
      std::count(lines.begin(), lines.end(), "stream PCM conversion failed; full WAV retained"));
}

// A device change from 48 kHz stereo to 16 kHz mono: one WAV with both parts in order, and live
// chunks of exactly 3200 bytes running on across the change, carrying the same audio.
TEST_F(RecorderTest, DeviceChangeKeepsBothSegmentsAndExactChunks) {
  log.attach(recorder);
  mic.setDevice({48000, 2});
  recorder.start();
  auto stereo = FakeAudioInput::tone(440, 48000, 2, 1.03, 0.5f);
  for (std::size_t i = 1; i < stereo.size(); i += 2) stereo[i] = 0;  // live: mean of both
  mic.deliver(stereo);
  mic.disconnect();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_FALSE(mic.deliver(stereo));  // interrupted: no buffers
  mic.setDevice({16000, 1});
  recorder.reconnect();
  recorder.reconnect();  // running: nothing happens
  EXPECT_EQ(mic.enginesMade(), 2);
  mic.deliver(std::vector<float>(12000, 0.0f));
  const auto wav = wavSamples(recorder.finish());

  ASSERT_NEAR(wav.size(), 28480, 4);  // not a whole number of chunks
  EXPECT_NEAR(rms(wav, 1000, 15000), 0.25 * 32768 / std::sqrt(2.0), 100);  // the tone first
  EXPECT_LT(rms(wav, 17500, wav.size()), 1.0);                             // then the silence
  std::lock_guard guard(log.mutex);
  ASSERT_FALSE(log.sizes.empty());
  for (std::size_t i = 0; i + 1 < log.sizes.size(); ++i) ASSERT_EQ(log.sizes[i], 3200u) << i;
  EXPECT_GT(log.sizes.back(), 0u);
  EXPECT_LT(log.sizes.back(), 3200u);  // the partial rest, handed out by finish()
  EXPECT_EQ(pcm(log.bytes.data(), log.bytes.size()), wav);
}

// stop() hands out no partial chunk, drops the audio and the meter and clears the callbacks;
// callbacks set after start() wait for the next engine.
TEST_F(RecorderTest, StopDiscardsTheRecordingAndLateCallbacksWait) {
  log.attach(recorder);
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.25));  // 8000 bytes: two chunks and a rest
  recorder.stop();
  EXPECT_EQ(log.bytes.size(), 6400u);
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  EXPECT_FALSE(mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.5)));
  expectAudioError(AudioErrorKind::empty, [&] { recorder.finish(); });
  recorder.start();
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.25));
  StreamLog late;
  late.attach(recorder);
  mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.25));
  recorder.finish();
  EXPECT_EQ(log.sizes.size() + late.sizes.size(), 2u);
}

// Live converters that break on their second call, or none at all, while set.
struct BreakingResampler final : Resampler {
  static inline std::atomic<bool> breakSecondCall{false}, refuse{false};
  std::unique_ptr<Resampler> inner;
  int calls = 0;

  static std::unique_ptr<Resampler> make(double rate) {
    if (refuse || !breakSecondCall) return refuse ? nullptr : makeSoxrResampler(rate);
    auto breaking = std::make_unique<BreakingResampler>();
    breaking->inner = makeSoxrResampler(rate);
    return breaking;
  }
  std::size_t process(std::span<const float> in, bool ending, std::span<float> out,
                      std::size_t& consumed) override {
    if (++calls == 2) throw ResamplerError("broken");
    return inner->process(in, ending, out, consumed);
  }
};

class BrokenLivePathTest : public RecorderTest {
 protected:
  BrokenLivePathTest() : RecorderTest(&BreakingResampler::make) {}
};

// A live conversion error, or no live converter at all: one failure call, no more chunks, the
// full WAV; only the conversion error is logged.
TEST_F(BrokenLivePathTest, LiveFailureEndsStreamingOnceAndKeepsTheWav) {
  for (bool missing : {false, true}) {
    SCOPED_TRACE(missing);
    const int before = failureLogLines();
    StreamLog failing;
    failing.attach(recorder);
    (missing ? BreakingResampler::refuse : BreakingResampler::breakSecondCall) = true;
    recorder.start();
    BreakingResampler::refuse = BreakingResampler::breakSecondCall =
        false;  // the file path converts normally
    for (int i = 0; i < 10; ++i) mic.deliver(FakeAudioInput::tone(440, 48000, 1, 0.1));
    EXPECT_NEAR(wavSamples(recorder.finish()).size(), 16000u, 2u);
    EXPECT_EQ(failing.failures, 1);
    EXPECT_LE(failing.sizes.size(), missing ? 0u : 1u);  // at most what the first buffer gave
    EXPECT_EQ(failureLogLines(), before + (missing ? 0 : 1));
  }
}

}  // namespace
