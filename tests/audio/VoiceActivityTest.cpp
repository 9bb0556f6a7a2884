// The speech decision on recordings of people from pocketsphinx-testdata and on generated noise.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "audio/PcmEncoding.h"
#include "audio/VoiceActivity.h"
#include "support/audio/GeneratedNoise.h"

using namespace wrenly;

namespace {

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
