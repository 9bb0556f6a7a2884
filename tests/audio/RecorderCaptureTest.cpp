#include "RecorderFixture.h"

namespace {

TEST_F(RecorderTest, BudgetOfThreeMinutesIsSummedOverSegmentsOfDifferentRates) {
  StreamLog log;
  streamInto(log);
  mic.setDevice({48000, 2});
  recorder.start();
  mic.deliver(FakeAudioInput::tone(300, 48000, 2, 100.0, 0.25f));
  mic.disconnect();
  mic.setDevice({16000, 1});
  recorder.reconnect();
  mic.deliver(FakeAudioInput::tone(300, 16000, 1, 79.5, 0.25f));
  // Past the budget: nothing stored or streamed, but the meter still follows.
  mic.deliver(FakeAudioInput::tone(300, 16000, 1, 5.0, 0.25f));
  mic.deliver(FakeAudioInput::constant(0.9f, 1, 2048));
  EXPECT_FLOAT_EQ(recorder.currentLevel(), 0.9f);

  const auto wav = WavFile::parse(recorder.finish());
  EXPECT_NEAR(wav.samples.size(), 180u * 16000u, 8u);
  EXPECT_NEAR(log.joined().size(), 180u * 32000u, 16u);
}

TEST_F(RecorderTest, MeterFallsByFactorPerQuietBufferAndJumpsToLouderPeak) {
  recorder.start();
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  auto buffer = FakeAudioInput::constant(0.0f, 1, 2048);
  buffer[100] = -0.8f;  // peak is the absolute value
  mic.deliver(buffer);
  EXPECT_FLOAT_EQ(recorder.currentLevel(), 0.8f);
  float expected = 0.8f;
  for (int i = 0; i < 3; ++i) {
    mic.deliver(FakeAudioInput::constant(0.0f, 1, 2048));
    expected *= 0.78f;
    EXPECT_FLOAT_EQ(recorder.currentLevel(), expected);
  }
  mic.deliver(FakeAudioInput::constant(0.3f, 1, 2048));  // 0.3 > 0.78 * 0.39
  EXPECT_FLOAT_EQ(recorder.currentLevel(), 0.3f);
  mic.deliver(FakeAudioInput::constant(1.5f, 1, 2048));  // above full scale is kept
  EXPECT_FLOAT_EQ(recorder.currentLevel(), 1.5f);
}

TEST_F(RecorderTest, NonFiniteSamplesAreStoredStreamedAndMeteredAsZero) {
  StreamLog log;
  streamInto(log);
  mic.setDevice({16000, 2});
  recorder.start();
  auto buffer = FakeAudioInput::constant(std::numeric_limits<float>::quiet_NaN(), 2, 16000);
  for (size_t i = 1; i < buffer.size(); i += 4) buffer[i] = std::numeric_limits<float>::infinity();
  for (size_t i = 3; i < buffer.size(); i += 4) buffer[i] = -std::numeric_limits<float>::infinity();
  mic.deliver(buffer);
  EXPECT_EQ(recorder.currentLevel(), 0.0f);
  const auto wav = WavFile::parse(recorder.finish());
  ASSERT_NEAR(wav.samples.size(), 16000u, 2u);
  for (auto s : wav.samples) ASSERT_EQ(s, 0);
  const auto live = log.joined();
  ASSERT_FALSE(live.empty());
  for (auto b : live) ASSERT_EQ(b, 0);
}

}  // namespace
