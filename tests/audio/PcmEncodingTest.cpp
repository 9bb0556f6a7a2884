#include "RecorderFixture.h"
#include "audio/PcmEncoding.h"

namespace {

TEST(PcmEncodingTest, FloatsBecomeRoundedClippedSixteenBitSamples) {
  struct Row {
    float in;
    std::int16_t out;
  };
  for (Row row :
       {Row{0.0f, 0}, Row{0.5f, 16384}, Row{-0.5f, -16384}, Row{1.0f, 32767}, Row{-1.0f, -32768},
        Row{3.0f, 32767}, Row{-3.0f, -32768}, Row{1.4f / 32768, 1}, Row{1.6f / 32768, 2},
        Row{-1.6f / 32768, -2}, Row{std::numeric_limits<float>::quiet_NaN(), 0}}) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(PcmEncoding::pcm16(row.in), row.out);
  }
}

TEST(PcmEncodingTest, HeaderFieldsForSeveralLengthsAndFormats) {
  struct Row {
    double rate;
    int channels;
    double seconds;
  };
  for (Row row : {Row{48000, 2, 1.0}, Row{44100, 1, 0.37}, Row{22050, 2, 2.5}, Row{8000, 1, 0.01},
                  Row{16000, 1, 3.0}}) {
    SCOPED_TRACE(row.rate);
    std::vector<AudioSegment> segments{
        {FakeAudioInput::tone(440, row.rate, row.channels, row.seconds), row.rate, row.channels},
        {{}, 44100, 2}};  // empty segments are skipped
    const auto bytes = PcmEncoding::encodeWav(segments, makeSoxrResampler);
    const auto wav = WavFile::parse(bytes);
    EXPECT_EQ(wav.riff, "RIFF");
    EXPECT_EQ(wav.waveFmt, "WAVEfmt ");
    EXPECT_EQ(wav.data, "data");
    EXPECT_EQ(wav.fmtSize, 16u);
    EXPECT_EQ(wav.format, 1u);
    EXPECT_EQ(wav.channels, 1u);
    EXPECT_EQ(wav.rate, 16000u);
    EXPECT_EQ(wav.byteRate, 32000u);
    EXPECT_EQ(wav.blockAlign, 2u);
    EXPECT_EQ(wav.bits, 16u);
    EXPECT_EQ(wav.dataSize, bytes.size() - 44);
    EXPECT_EQ(wav.riffSize, bytes.size() - 8);
    EXPECT_NEAR(wav.dataSize, row.seconds * 32000, 4);
  }
}

TEST(PcmEncodingTest, UnusableOrEmptySegmentsThrow) {
  using Kind = MacAudioErrorKind;
  struct Row {
    AudioSegment segment;
    Kind kind;
  };
  std::vector<Row> rows;
  rows.push_back({{std::vector<float>(100, 0.1f), 7999, 1}, Kind::unavailable});
  rows.push_back({{std::vector<float>(100, 0.1f), 16000, 0}, Kind::unavailable});
  rows.push_back({{{}, 16000, 1}, Kind::empty});
  for (const auto& row : rows) {
    try {
      PcmEncoding::encodeWav(std::span(&row.segment, 1), makeSoxrResampler);
      ADD_FAILURE() << "no error";
    } catch (const MacAudioError& error) {
      EXPECT_EQ(error.value(), row.kind);
    }
  }
}

}  // namespace
