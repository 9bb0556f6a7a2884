#pragma once

#include <cstdint>
#include <vector>

namespace wrenly::speech {

// Speech and quiet, alternating, in milliseconds: {1000, 600, 1000} is one second spoken, 600 ms
// of quiet, one second spoken. Speech is a loud square wave, so every 20 ms frame is as loud.
inline std::vector<std::int16_t> spoken(const std::vector<int>& milliseconds) {
  std::vector<std::int16_t> samples;
  for (size_t i = 0; i < milliseconds.size(); ++i) {
    for (int n = 0; n < milliseconds[i] * 16; ++n) {
      samples.push_back(i % 2 == 0 ? std::int16_t(n % 2 ? 3000 : -3000) : 0);
    }
  }
  return samples;
}

}  // namespace wrenly::speech
