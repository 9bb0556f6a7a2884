#include "audio/VoiceActivity.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/PcmEncoding.h"

namespace wrenly {

namespace VoiceActivity {

std::vector<Frame> measure(std::span<const std::int16_t> pcm) {
  // A first-order high-pass near 100 Hz: mains hum, desk thumps and microphone rumble carry no
  // speech and would otherwise pass as low, voice-like energy.
  const double pole = std::exp(-2.0 * std::numbers::pi * 100.0 / static_cast<double>(sampleRate));
  double lastIn = 0;
  double lastOut = 0;
  std::vector<Frame> frames;
  frames.reserve(pcm.size() / frameSamples);
  for (std::size_t start = 0; start + frameSamples <= pcm.size(); start += frameSamples) {
    double energy = 0;
    double difference = 0;
    double previous = lastOut;
    for (std::size_t i = start; i < start + frameSamples; ++i) {
      const double in = pcm[i] / 32768.0;
      const double out = pole * (lastOut + in - lastIn);
      lastIn = in;
      lastOut = out;
      energy += out * out;
      difference += (out - previous) * (out - previous);
      previous = out;
    }
    const double rms = std::sqrt(energy / frameSamples);
    frames.push_back({static_cast<float>(20.0 * std::log10(std::max(rms, 1e-7))),
                      energy > 0 ? static_cast<float>(difference / energy) : 0.0f});
  }
  return frames;
}

std::optional<Speech> findSpeech(std::span<const std::int16_t> pcm) {
  const auto frames = measure(pcm);

  // Frames without signal are a muted microphone or a hole in the stream, not the room.
  std::vector<float> levels;
  for (const auto& frame : frames) {
    if (frame.level >= noSignal) levels.push_back(frame.level);
  }
  if (levels.empty()) return std::nullopt;
  const auto nth = levels.begin() + static_cast<std::ptrdiff_t>(
                                        floorPercentile * static_cast<double>(levels.size() - 1));
  std::nth_element(levels.begin(), nth, levels.end());
  const float floor = std::min(*nth, floorCeiling);
  const float threshold = std::max(floor + aboveFloor, quietestVoice);
  auto voiced = [&](std::size_t i) {
    return frames[i].level >= threshold && frames[i].highShare <= maximumHighShare;
  };
  std::size_t counted = 0;
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t end = i;
    while (end < frames.size() && voiced(end)) ++end;
    if (end - i >= shortestRun) counted += end - i;
    i = std::max(end, i + 1);
  }
  if (counted < leastVoiced) return std::nullopt;

  // The cut takes a lower bar than the decision: the quiet ends of words in a noisy room fall
  // below the decision's, and cutting speech costs more than keeping a little noise.
  const float active = std::max(floor + aboveFloorToKeep, quietestToKeep);
  auto loud = [&](const Frame& frame) { return frame.level >= active; };
  const auto first = static_cast<std::size_t>(std::ranges::find_if(frames, loud) - frames.begin());
  const auto last = frames.size() - static_cast<std::size_t>(
                                        std::ranges::find_if(frames.rbegin(), frames.rend(), loud) -
                                        frames.rbegin());
  Speech speech;
  speech.begin = first * frameSamples > leadMargin ? first * frameSamples - leadMargin : 0;
  speech.end = std::min(pcm.size(), last * frameSamples + trailMargin);
  return speech;
}

std::optional<std::vector<std::uint8_t>> keepSpeech(std::span<const std::uint8_t> wav) {
  if (wav.size() < PcmEncoding::wavHeaderSize) return std::nullopt;
  const auto data = wav.subspan(PcmEncoding::wavHeaderSize);
  std::vector<std::int16_t> pcm(data.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  const auto speech = findSpeech(pcm);
  if (!speech) return std::nullopt;
  std::vector<std::uint8_t> out(PcmEncoding::wavHeaderSize);
  out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(2 * speech->begin),
             data.begin() + static_cast<std::ptrdiff_t>(2 * speech->end));
  PcmEncoding::writeWavHeader(static_cast<std::uint32_t>(out.size() - PcmEncoding::wavHeaderSize),
                              out.data());
  return out;
}

}  // namespace VoiceActivity

}  // namespace wrenly
