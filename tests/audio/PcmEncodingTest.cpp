// Samples on their way: from the sound server's fragments to the tap, from floats to the WAV.
#include <cstring>

#include "RecorderFixture.h"
#include "audio/PcmEncoding.h"
#include "platform/linux/pulse/RecordFragment.h"

using namespace wrenly;

namespace {

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

}  // namespace
