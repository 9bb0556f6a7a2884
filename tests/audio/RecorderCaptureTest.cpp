#include <algorithm>

#include "RecorderFixture.h"

using namespace wrenly;

namespace {

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

}  // namespace
