#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace wrenly {

enum class Noise { room, breathing, typing };

// What a microphone hears when nobody speaks, mono at `rate`, at an RMS level of `dbfs`: a room
// (fan rumble, hiss, mains hum), breathing (noise below 500 Hz swelling in for 1.2 s and out for
// 1.5 s) or typing (20 ms clicks ringing at 300 Hz to 4 kHz, 80 to 300 ms apart).
inline std::vector<float> generatedNoise(Noise kind, double rate, double seconds, double dbfs) {
  std::mt19937 random(7);
  std::normal_distribution<double> white;
  std::uniform_real_distribution<double> gap(0.08, 0.3), ring(300, 4000);
  const double pi = std::numbers::pi, dark = std::exp(-2 * pi * 500 / rate);
  std::vector<double> out(static_cast<std::size_t>(rate * seconds));
  double low = 0, click = -1, next = 0.1, pitch = 0, energy = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate, p = std::fmod(t, 3.0), age = t - click;
    if (kind == Noise::room) {
      low = 0.995 * low + white(random);
      out[i] = low + 0.5 * white(random) + 3 * std::sin(2 * pi * 50 * t);
    } else if (kind == Noise::breathing) {
      low = dark * low + (1 - dark) * white(random);
      const double swell =
          p < 1.2 ? std::sin(pi * p / 1.2) : std::max(0.0, std::sin(pi * (p - 1.5) / 1.5));
      out[i] = low * swell * swell;
    } else if (t >= next) {
      click = t, next += gap(random), pitch = ring(random);
    } else if (click >= 0 && age < 0.02) {
      out[i] = std::exp(-age / 0.0025) * (0.5 * white(random) + std::sin(2 * pi * pitch * age));
    }
    energy += out[i] * out[i];
  }
  const double gain = std::pow(10, dbfs / 20) / std::sqrt(energy / static_cast<double>(out.size()));
  std::vector<float> scaled;
  for (double sample : out) scaled.push_back(static_cast<float>(sample * gain));
  return scaled;
}

}  // namespace wrenly
