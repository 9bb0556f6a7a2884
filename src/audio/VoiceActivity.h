#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace wrenly {

// Whether a recording holds speech, and where: decided on the energy of 20 ms frames of the
// 16 kHz mono PCM the service receives. Recognisers turn a take of silence, room noise or
// breathing into invented sentences, so such a take never leaves the machine.
//
// A frame is voiced when it stands out of the take's own noise floor and most of its energy
// lies low, as in vowels; breathing, hiss and key clicks carry theirs high. Speech is enough
// voiced frames in runs longer than a click. Missing a quiet speaker costs more than sending a
// silent take, so every threshold leans towards speech.
namespace VoiceActivity {

inline constexpr std::size_t sampleRate = 16000;
inline constexpr std::size_t frameSamples = 320;  // 20 ms

// What one frame measures.
struct Frame {
  float level = 0;      // dB below full scale (RMS after a 100 Hz high-pass); 0 is full scale
  float highShare = 0;  // energy of the sample-to-sample difference over the frame's energy:
                        // about 0.03 at 200 Hz, 0.15 at 1 kHz, 2 for white noise
};

// The thresholds, chosen on recordings of people and on generated noise (see the tests).
// The noise floor is the 10th percentile level of the take's frames with signal (a frame below
// `noSignal` is digital silence), but never above `floorCeiling`: a take that is speech from
// end to end has no quiet frames to measure it by.
inline constexpr float noSignal = -90;  // dBFS: one least significant bit
inline constexpr double floorPercentile = 0.10;
inline constexpr float floorCeiling = -35;   // dBFS
inline constexpr float aboveFloor = 9;       // dB
inline constexpr float quietestVoice = -65;  // dBFS
inline constexpr float maximumHighShare = 0.3f;
inline constexpr std::size_t shortestRun = 3;  // frames: longer than a key's click
inline constexpr std::size_t leastVoiced = 5;  // frames in such runs, 100 ms
// What is kept: from the first to the last frame above the lower bar, with margins for the
// first and last phonemes (a final syllable fades longer than a first one rises).
inline constexpr float aboveFloorToKeep = 6;      // dB
inline constexpr float quietestToKeep = -70;      // dBFS
inline constexpr std::size_t leadMargin = 4000;   // samples, 250 ms
inline constexpr std::size_t trailMargin = 6400;  // samples, 400 ms

std::vector<Frame> measure(std::span<const std::int16_t> pcm);

// The samples to keep, [begin, end).
struct Speech {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Nothing when `pcm` (16 kHz mono) holds no speech.
std::optional<Speech> findSpeech(std::span<const std::int16_t> pcm);

// `wav` (the recorder's 16 kHz mono 16-bit file) cut to its speech, or nothing when it holds
// none.
std::optional<std::vector<std::uint8_t>> keepSpeech(std::span<const std::uint8_t> wav);

}  // namespace VoiceActivity

}  // namespace wrenly
