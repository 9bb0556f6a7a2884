// The audio module with the fake microphone: the recorder (permission and engines, the stored
// WAV, the meter and the live chunks across device changes), samples on their way from the sound
// server's fragments to the WAV, and the speech decision on recordings of people from
// pocketsphinx-testdata and on generated noise.
#include <algorithm>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "RecorderFixture.h"
#include "audio/PcmEncoding.h"
#include "audio/VoiceActivity.h"
#include "platform/linux/pulse/RecordFragment.h"
#include "support/LoopDriver.h"
#include "support/audio/GeneratedNoise.h"
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

TEST_F(RecorderTest, StartThatDoesNotRunLeavesNoEngineAndFinishWithoutAudioIsEmpty) {
  mic.notRunningAfterStart();
  recorder.start();
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_EQ(mic.liveEngines(), 0);
  recorder.start();
  EXPECT_TRUE(recorder.isRecording());
  recorder.start();  // while recording: nothing happens
  EXPECT_EQ(mic.enginesMade(), 2);
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

TEST(PcmEncodingTest, FloatsBecomeRoundedClippedSixteenBitSamples) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::pair<float, std::int16_t> rows[] = {
      {0.0f, 0},         {0.5f, 16384},       {-0.5f, -16384}, {1.0f, 32767},
      {-1.0f, -32768},   {3.0f, 32767},       {-3.0f, -32768}, {1.4f / 32768, 1},
      {1.6f / 32768, 2}, {-1.6f / 32768, -2}, {nan, 0}};
  for (auto [in, out] : rows) EXPECT_EQ(PcmEncoding::pcm16(in), out) << in;
}

TEST(PcmEncodingTest, HeaderFieldsForSeveralLengthsAndFormats) {
  const std::tuple<double, int, double> rows[] = {
      {48000, 2, 1.0}, {44100, 1, 0.37}, {22050, 2, 2.5}, {8000, 1, 0.01}, {16000, 1, 3.0}};
  for (auto [rate, channels, seconds] : rows) {
    SCOPED_TRACE(rate);
    const std::vector<AudioSegment> segments{
        {FakeAudioInput::tone(440, rate, channels, seconds), rate, channels},
        {{}, 44100, 2}};  // empty segments are skipped
    const auto wav = PcmEncoding::encodeWav(segments, makeSoxrResampler);
    const std::uint32_t data = static_cast<std::uint32_t>(wav.size() - 44);
    EXPECT_NEAR(data, seconds * 32000, 4);
    auto field = [&](std::size_t at, std::size_t size) {
      std::uint32_t v = 0;
      for (std::size_t i = 0; i < size; ++i) v |= std::uint32_t(wav[at + i]) << (8 * i);
      return v;
    };
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    const std::tuple<std::size_t, std::size_t, std::uint32_t> fields[] = {
        {4, 4, data + 36}, {16, 4, 16}, {20, 2, 1},  {22, 2, 1},   {24, 4, 16000},
        {28, 4, 32000},    {32, 2, 2},  {34, 2, 16}, {40, 4, data}};
    for (auto [at, size, value] : fields) EXPECT_EQ(field(at, size), value) << "offset " << at;
  }
}

// A peeked fragment reaches the tap in buffer-sized pieces; a hole (no data) as silence of the
// same length, so nothing of the recording's length is lost.
TEST(RecordFragment, DataAndHolesBothKeepTheirLength) {
  std::vector<float> stereo(10);
  for (int i = 0; i < 10; ++i) stereo[i] = 0.1f * static_cast<float>(i + 1);
  for (const bool hole : {false, true}) {
    SCOPED_TRACE(hole);
    std::vector<std::uint32_t> pieces;
    std::vector<float> heard;
    deliverRecordFragment(hole ? nullptr : stereo.data(), stereo.size() * sizeof(float), 2, 2,
                          [&](const float* samples, std::uint32_t frames, int channels) {
                            pieces.push_back(frames);
                            heard.insert(heard.end(), samples, samples + frames * channels);
                          });
    EXPECT_EQ(pieces, (std::vector<std::uint32_t>{2, 2, 1}));
    EXPECT_EQ(heard, hole ? std::vector<float>(10, 0.0f) : stereo);
  }
}

// A recording `gain` dB louder, padded with `pad` seconds before and after, over room noise at
// `room` dBFS (none below -100).
std::vector<std::int16_t> take(const std::string& name, double gain, double room, double pad = 0) {
  std::ifstream in("/usr/share/pocketsphinx/test/data/" + name, std::ios::binary);
  const std::vector<unsigned char> bytes(std::istreambuf_iterator<char>(in), {});
  std::vector<float> out(static_cast<std::size_t>(pad * 16000));
  for (std::size_t i = name.ends_with(".wav") ? PcmEncoding::wavHeaderSize : 0;
       i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8) / 32768.0f *
                  std::pow(10.0f, gain / 20));
  }
  out.resize(out.size() + static_cast<std::size_t>(pad * 16000));
  const auto noise =
      generatedNoise(Noise::room, 16000, static_cast<double>(out.size()) / 16000, room);
  std::vector<std::int16_t> pcm;
  for (std::size_t i = 0; i < out.size(); ++i)
    pcm.push_back(PcmEncoding::pcm16(out[i] + (room > -100) * noise[i]));
  return pcm;
}

TEST(VoiceActivityTest, PeopleAreHeardLoudOrQuietInAQuietOrNoisyRoom) {
  const std::string book = "librivox/sense_and_sensibility_01_austen_64kb-0";
  for (const std::string& name : std::initializer_list<std::string>{
           "goforward.raw", "numbers.raw", "something.raw", "tidigits/dhd.2934z.raw",
           "cards/001.wav", "cards/002.wav", "cards/003.wav", "cards/004.wav", "cards/005.wav",
           book + "870.wav", book + "880.wav", book + "890.wav", book + "920.wav",
           book + "930.wav"}) {
    for (auto [gain, room] : {std::pair(0, -120), {-30, -120}, {-20, -45}, {-10, -35}}) {
      EXPECT_TRUE(VoiceActivity::findSpeech(take(name, gain, room)))
          << name << " " << gain << " dB in " << room;
    }
    // A second of a quiet room before and after is cut; the words and their margins are not.
    const auto alone = VoiceActivity::findSpeech(take(name, 0, -120)).value();
    const auto padded = take(name, 0, -60, 1.0);
    const auto kept = VoiceActivity::findSpeech(padded).value();
    EXPECT_LE(kept.end - kept.begin + 16000, padded.size()) << name;
    EXPECT_LE(kept.begin, 16000 + alone.begin + VoiceActivity::leadMargin) << name;
    EXPECT_GE(kept.end + VoiceActivity::trailMargin, 16000 + alone.end) << name;
  }
}

TEST(VoiceActivityTest, RoomNoiseBreathingAndTypingAreNotSpeech) {
  for (auto [kind, levels] : {std::pair(Noise::room, std::vector{-90, -70, -55, -45, -35, -25}),
                              {Noise::breathing, {-45, -35, -25}},
                              {Noise::typing, {-40, -30, -20}}}) {
    for (int level : levels) {
      // Between seconds of digital silence: a muted microphone, or holes in the stream.
      std::vector<std::int16_t> pcm(16000);
      for (float sample : generatedNoise(kind, 16000, 6.0, level))
        pcm.push_back(PcmEncoding::pcm16(sample));
      pcm.resize(pcm.size() + 16000);
      EXPECT_FALSE(VoiceActivity::findSpeech(pcm)) << static_cast<int>(kind) << " at " << level;
    }
  }
  EXPECT_FALSE(VoiceActivity::findSpeech(std::vector<std::int16_t>(48000)));
}

}  // namespace
