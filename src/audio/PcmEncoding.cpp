#include "audio/PcmEncoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/RecorderError.h"

namespace wrenly {

namespace PcmEncoding {
namespace {

// Input is fed to the resampler in blocks: one call over a whole recording runs several times
// slower (cache effects), and mixing into one reused block avoids touching a second full copy.
constexpr std::size_t blockFrames = 16384;
constexpr std::size_t outputFrames = 4096;

void putLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Runs `input` (or the drain, when empty and ending) through the resampler, appending 16-bit
// output to `bytes`.
void pump(Resampler& resampler, std::span<const float> input, bool ending,
          std::vector<float>& output, std::vector<std::uint8_t>& bytes) {
  for (;;) {
    std::size_t consumed = 0;
    const std::size_t produced =
        resampler.process(input, ending && input.empty(), output, consumed);
    appendPcm16(std::span<const float>(output.data(), produced), bytes);
    input = input.subspan(consumed);
    if (input.empty()) {
      if (!ending) return;
      if (consumed == 0 && produced == 0) return;  // drained
      continue;
    }
    if (consumed == 0 && produced == 0) throw RecorderError::empty();  // no progress
  }
}

void encodeSegment(const AudioSegment& segment, const ResamplerFactory& makeResampler,
                   std::vector<float>& block, std::vector<float>& output,
                   std::vector<std::uint8_t>& bytes) {
  if (segment.channels < 1 || !(segment.sampleRate >= 8000.0)) throw RecorderError::unavailable();
  const auto channels = static_cast<std::size_t>(segment.channels);
  const std::size_t frames = segment.samples.size() / channels;
  if (frames > std::numeric_limits<std::uint32_t>::max()) throw RecorderError::unavailable();
  auto resampler = makeResampler(segment.sampleRate);
  if (!resampler) throw RecorderError::unavailable();

  const float* samples = segment.samples.data();
  for (std::size_t first = 0; first < frames; first += blockFrames) {
    const std::size_t count = std::min(blockFrames, frames - first);
    std::span<const float> mono;
    if (channels == 1) {
      mono = std::span<const float>(samples + first, count);
    } else {
      // The same mean as the live path, so both carry the same audio.
      const auto divisor = static_cast<float>(channels);
      const float* in = samples + first * channels;
      for (std::size_t f = 0; f < count; ++f) {
        float sum = 0;
        for (std::size_t c = 0; c < channels; ++c) sum += in[f * channels + c];
        block[f] = sum / divisor;
      }
      mono = std::span<const float>(block.data(), count);
    }
    pump(*resampler, mono, false, output, bytes);
  }
  pump(*resampler, {}, true, output, bytes);
}

}  // namespace

std::int16_t pcm16(float sample) {
  const float scaled = sample * 32768.0f;
  if (std::isnan(scaled)) return 0;
  if (scaled >= 32767.0f) return 32767;
  if (scaled <= -32768.0f) return -32768;
  return static_cast<std::int16_t>(std::lrintf(scaled));
}

void appendPcm16(std::span<const float> samples, std::vector<std::uint8_t>& bytes) {
  const std::size_t start = bytes.size();
  bytes.resize(start + samples.size() * 2);
  std::uint8_t* out = bytes.data() + start;
  for (float sample : samples) {
    putLE16(out, static_cast<std::uint16_t>(pcm16(sample)));
    out += 2;
  }
}

void writeWavHeader(std::uint32_t dataBytes, std::uint8_t* wav) {
  std::memcpy(wav, "RIFF", 4);
  putLE32(wav + 4, dataBytes + 36);
  std::memcpy(wav + 8, "WAVEfmt ", 8);
  putLE32(wav + 16, 16);
  putLE16(wav + 20, 1);
  putLE16(wav + 22, 1);
  putLE32(wav + 24, 16000);
  putLE32(wav + 28, 32000);
  putLE16(wav + 32, 2);
  putLE16(wav + 34, 16);
  std::memcpy(wav + 36, "data", 4);
  putLE32(wav + 40, dataBytes);
}

std::vector<std::uint8_t> encodeWav(std::span<const AudioSegment> segments,
                                    const ResamplerFactory& makeResampler) {
  double expectedBytes = 0;
  for (const auto& segment : segments) {
    if (segment.channels > 0 && segment.sampleRate > 0) {
      expectedBytes += static_cast<double>(segment.samples.size() / segment.channels) *
                       (Resampler::outputRate / segment.sampleRate) * 2.0;
    }
  }
  std::vector<std::uint8_t> wav(wavHeaderSize);
  wav.reserve(wavHeaderSize +
              static_cast<std::size_t>(std::min(expectedBytes + 4096.0, double(1u << 31))));
  std::vector<float> block(blockFrames);
  std::vector<float> output(outputFrames);
  for (const auto& segment : segments) {
    if (segment.samples.empty()) continue;
    encodeSegment(segment, makeResampler, block, output, wav);
  }
  const std::size_t dataBytes = wav.size() - wavHeaderSize;
  if (dataBytes == 0) throw RecorderError::empty();
  if (dataBytes > std::numeric_limits<std::uint32_t>::max() - 36) {
    throw RecorderError::unavailable();
  }
  writeWavHeader(static_cast<std::uint32_t>(dataBytes), wav.data());
  return wav;
}

}  // namespace PcmEncoding

}  // namespace wrenly
