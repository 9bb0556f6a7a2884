#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace wrenly::speech {

// Standard Base64 (with padding, no line breaks) decoded, or none for any other text.
std::optional<std::string> decodeBase64(std::string_view text);

enum class WavFailure {
  notWav,             // no RIFF/WAVE header, or chunks that run past the end
  unsupportedFormat,  // anything but 16-bit PCM, mono, 16000 Hz
};

// The samples of a WAV file in the format the program records.
std::variant<std::vector<std::int16_t>, WavFailure> readWav(std::string_view bytes);

// A WAV file (16 kHz mono 16-bit PCM) holding `samples`.
std::string wavOf(std::span<const std::int16_t> samples);

// Little-endian 16-bit samples from raw PCM bytes; a trailing odd byte is dropped.
std::vector<std::int16_t> samplesOf(std::string_view pcm);

}  // namespace wrenly::speech
