// The built-in engine on a real recording from pocketsphinx-testdata.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "recognition/PocketSphinxRecogniser.h"
#include "recognition/WavAudio.h"

using namespace wrenly::speech;

namespace {

TEST(PocketSphinxRecogniser, RecognisesTheTestUtteranceWholeAndFrameByFrame) {
  std::stringstream raw;
  raw << std::ifstream("/usr/share/pocketsphinx/test/data/goforward.raw", std::ios::binary).rdbuf();
  const auto samples = samplesOf(raw.str());
  ASSERT_GT(samples.size(), 16000u);
  auto recogniser = PocketSphinxRecogniser::create(PocketSphinxModel{}, 1);
  ASSERT_TRUE(recogniser) << recogniser.error().message;
  auto& engine = *recogniser.value();
  EXPECT_EQ(engine.languageCode(), "en");

  auto whole = engine.recognise(samples, {});
  ASSERT_TRUE(std::holds_alternative<Recognition>(whole));
  EXPECT_EQ(std::get<Recognition>(whole).transcript, "go forward ten meters");
  EXPECT_EQ(std::get<Recognition>(whole).segments, 4);

  // As the stream feeds it: 100 ms frames; the pool of one decoder is busy meanwhile.
  auto opened = engine.open({});
  auto stream = std::move(std::get<std::unique_ptr<RecognitionStream>>(opened));
  EXPECT_EQ(std::get<RecognitionFailure>(engine.open({})), RecognitionFailure::busy);
  // Its first guess comes while the audio still arrives.
  std::string guessed;
  for (size_t at = 0; at < samples.size(); at += 1600) {
    ASSERT_TRUE(
        stream->feed(std::span(samples).subspan(at, std::min<size_t>(1600, samples.size() - at))));
    if (guessed.empty()) guessed = stream->wordsSoFar();
  }
  EXPECT_TRUE(guessed.starts_with("go forward")) << guessed;
  auto streamed = stream->finish();
  EXPECT_EQ(std::get<Recognition>(streamed).transcript, "go forward ten meters");
}

}  // namespace
