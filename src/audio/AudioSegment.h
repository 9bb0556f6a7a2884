#pragma once

#include <vector>

namespace wrenly {

// One uninterrupted engine run: its samples, frames interleaved, at the device's own format.
struct AudioSegment {
  std::vector<float> samples;
  double sampleRate = 0;  // Hz
  int channels = 0;
};

}  // namespace wrenly
