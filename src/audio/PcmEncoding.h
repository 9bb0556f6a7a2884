#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/AudioSegment.h"
#include "audio/Resampler.h"

namespace wrenly {

// The service's audio format: 16-bit signed little-endian mono PCM at 16000 Hz.
namespace PcmEncoding {

inline constexpr std::size_t wavHeaderSize = 44;

// Full scale is 1.0 -> 32768, rounded to nearest (ties to even), clipped to the 16-bit range.
std::int16_t pcm16(float sample);

// Appends each sample as two little-endian bytes.
void appendPcm16(std::span<const float> samples, std::vector<std::uint8_t>& bytes);

// Writes the 44-byte header for `dataBytes` sample bytes over the first 44 bytes of `wav`.
void writeWavHeader(std::uint32_t dataBytes, std::uint8_t* wav);

// Resamples every segment from its own rate and channel count (channels averaged), joins them
// in order and wraps them in a WAV file. Throws RecorderError (unavailable for an unusable
// segment format or sizes beyond 32 bits, empty when nothing comes out) or the resampler's error.
std::vector<std::uint8_t> encodeWav(std::span<const AudioSegment> segments,
                                    const ResamplerFactory& makeResampler);

}  // namespace PcmEncoding

}  // namespace wrenly
