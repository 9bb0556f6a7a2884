#include "recognition/WavAudio.h"

#include <array>

namespace wrenly::speech {

namespace {

std::uint32_t little32(std::string_view bytes, size_t at) {
  auto b = [&](size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

std::uint16_t little16(std::string_view bytes, size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

constexpr std::array<std::int8_t, 256> base64Values = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < alphabet.size(); ++i) {
    values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}();

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    std::uint32_t group = 0;
    int padding = 0;
    for (size_t i = 0; i < 4; ++i) {
      const char c = text[at + i];
      if (c == '=' && last && i >= 2 && (i == 3 || text[at + 3] == '=')) {
        ++padding;
        group <<= 6;
        continue;
      }
      const int value = base64Values[static_cast<unsigned char>(c)];
      if (value < 0 || padding > 0) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    bytes += static_cast<char>(group >> 16 & 0xff);
    if (padding < 2) bytes += static_cast<char>(group >> 8 & 0xff);
    if (padding < 1) bytes += static_cast<char>(group & 0xff);
  }
  return bytes;
}

std::variant<std::vector<std::int16_t>, WavFailure> readWav(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
    return WavFailure::notWav;
  }
  bool formatSeen = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const std::string_view id = bytes.substr(at, 4);
    const std::uint32_t size = little32(bytes, at + 4);
    const size_t body = at + 8;
    // A recorder that could not seek back may leave the data size unset (0 or all ones).
    const bool openEnded = id == "data" && (size == 0 || size == 0xffffffffu);
    if (!openEnded && size > bytes.size() - body) return WavFailure::notWav;
    if (id == "fmt ") {
      if (size < 16) return WavFailure::notWav;
      const std::uint16_t format = little16(bytes, body);
      const bool pcm =
          format == 1 || (format == 0xfffe && size >= 26 && little16(bytes, body + 24) == 1);
      if (!pcm || little16(bytes, body + 2) != 1 || little32(bytes, body + 4) != 16000 ||
          little16(bytes, body + 14) != 16) {
        return WavFailure::unsupportedFormat;
      }
      formatSeen = true;
    } else if (id == "data") {
      if (!formatSeen) return WavFailure::notWav;
      return samplesOf(bytes.substr(body, openEnded ? bytes.size() - body : size));
    }
    at = body + size + (size & 1);
  }
  return WavFailure::notWav;
}

std::vector<std::int16_t> samplesOf(std::string_view pcm) {
  std::vector<std::int16_t> samples(pcm.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(little16(pcm, 2 * i));
  }
  return samples;
}

std::string wavOf(std::span<const std::int16_t> samples) {
  std::string wav;
  wav.reserve(44 + samples.size() * 2);
  auto put = [&wav](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) wav.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  };
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  wav += "RIFF";
  put(36 + dataBytes, 4);
  wav += "WAVEfmt ";
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(16000, 4);
  put(32000, 4);  // bytes per second
  put(2, 2);      // bytes per frame
  put(16, 2);
  wav += "data";
  put(dataBytes, 4);
  for (std::int16_t sample : samples) put(static_cast<std::uint16_t>(sample), 2);
  return wav;
}

}  // namespace wrenly::speech
