// The recorder with the fake microphone: permission and engines, the stored WAV, the meter and
// the live chunks across device changes.
#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>

#include "RecorderFixture.h"
#include "support/LoopDriver.h"
#include "support/desktop/RecordedDiagnostics.h"

using namespace wrenly;

namespace {

using Kind = AudioErrorKind;

TEST_F(RecorderTest, PermissionIsAskedOnlyWhenNotYetGranted) {
  asio::io_context loop;
  auto ask = [&] { return LoopDriver(loop).finish(recorder.requestPermission()); };
  EXPECT_TRUE(ask());
  EXPECT_EQ(mic.accessRequests, 0);
  mic.authorization = AudioInput::Authorization::notDetermined;
  mic.accessAnswer = false;
  EXPECT_FALSE(ask());
  EXPECT_EQ(mic.accessRequests, 1);
  expectAudioError(Kind::permissionDenied, [&] { recorder.start(); });
  expectAudioError(Kind::permissionDenied, [&] { recorder.reconnect(); });
  EXPECT_EQ(mic.enginesMade(), 0);
}

// After a device change, neither an unusable format nor a failing engine loses what was
// captured, and neither leaves an engine behind.
TEST_F(RecorderTest, FailedReconnectsKeepStoredAudio) {
  mic.setDevice({44100, 2});
  recorder.start();
  EXPECT_EQ(mic.tapBufferFrames(), 2048u);
  mic.deliver(FakeAudioInput::tone(440, 44100, 2, 0.5));
  mic.disconnect();
  for (AudioFormat bad : {AudioFormat{0, 1}, AudioFormat{7999, 1}, AudioFormat{48000, 0},
                          AudioFormat{48000, 2, false}}) {
    mic.setDevice(bad);
    expectAudioError(Kind::unavailable, [&] { recorder.reconnect(); });
  }
  mic.setDevice({48000, 1});
  mic.failNextStart("Entity killed", std::make_error_code(std::errc::no_such_device));
  EXPECT_THAT([&] { recorder.reconnect(); },  // the engine's own error, unchanged
              testing::ThrowsMessage<std::system_error>(testing::HasSubstr("Entity killed")));
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  EXPECT_NEAR(wavSamples(recorder.finish()).size(), 8000u, 2u);
}

TEST_F(RecorderTest, StartThatDoesNotRunLeavesNoEngineSoTheNextStartOpensAgain) {
  mic.notRunningAfterStart();
  recorder.start();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  recorder.start();
  EXPECT_TRUE(recorder.isRecording());
  recorder.start();  // while recording: nothing happens
  EXPECT_EQ(mic.enginesMade(), 2);
}

TEST_F(RecorderTest, FinishWithoutAudioIsEmpty) {
  recorder.start();
  expectAudioError(Kind::empty, [&] { recorder.finish(); });
  EXPECT_EQ(mic.liveEngines(), 0);
}

TEST_F(RecorderTest, BudgetOfThreeMinutesIsSummedOverSegmentsOfDifferentRates) {
  log.attach(recorder);
  mic.setDevice({48000, 2});
  recorder.start();
  mic.deliver(FakeAudioInput::tone(300, 48000, 2, 100.0, 0.25f));
  mic.disconnect();
  mic.setDevice({16000, 1});
  recorder.reconnect();
  mic.deliver(FakeAudioInput::tone(300, 16000, 1, 79.5, 0.25f));
  // Past the budget: nothing stored or streamed, but the meter still follows.
  mic.deliver(FakeAudioInput::tone(300, 16000, 1, 5.0, 0.25f));
  mic.deliver(std::vector<float>(2048, 0.9f));
  EXPECT_FLOAT_EQ(recorder.currentLevel(), 0.9f);
  EXPECT_NEAR(wavSamples(recorder.finish()).size(), 180u * 16000u, 8u);
  EXPECT_NEAR(log.bytes.size(), 180u * 32000u, 16u);
}

TEST_F(RecorderTest, MeterFallsByFactorPerQuietBufferAndJumpsToLouderPeak) {
  recorder.start();
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  auto buffer = std::vector<float>(2048, 0.0f);
  buffer[100] = -0.8f;  // the peak is the absolute value
  mic.deliver(buffer);
  float expected = 0.8f;
  for (int i = 0; i < 3; ++i, expected *= 0.78f) {
    EXPECT_FLOAT_EQ(recorder.currentLevel(), expected);
    mic.deliver(std::vector<float>(2048, 0.0f));
  }
  for (float louder : {0.3f, 1.5f}) {  // 0.3 > 0.78 * 0.39; above full scale is kept
    mic.deliver(std::vector<float>(2048, louder));
    EXPECT_FLOAT_EQ(recorder.currentLevel(), louder);
  }
}

TEST_F(RecorderTest, NonFiniteSamplesAreStoredStreamedAndMeteredAsZero) {
  log.attach(recorder);
  mic.setDevice({16000, 2});
  recorder.start();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> buffer;
  for (int i = 0; i < 8000; ++i) buffer.insert(buffer.end(), {NAN, inf, NAN, -inf});
  mic.deliver(buffer);
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  const auto wav = wavSamples(recorder.finish());
  ASSERT_NEAR(wav.size(), 16000u, 2u);
  EXPECT_EQ(*std::max_element(wav.begin(), wav.end()), 0);
  EXPECT_EQ(*std::min_element(wav.begin(), wav.end()), 0);
  ASSERT_FALSE(log.bytes.empty());
  EXPECT_EQ(*std::max_element(log.bytes.begin(), log.bytes.end()), 0);
}

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
  expectAudioError(Kind::empty, [&] { recorder.finish(); });
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
