#include "app/MeterGeometry.h"

#include <cmath>
#include <cstdlib>

namespace wrenly {
namespace {

// Level clamped to 0…1 (NaN and negatives count as silence) and raised to 0.45, so quiet speech
// still moves the bars.
double loudness(float level) {
  const double clamped = level > 0 ? (level < 1 ? level : 1.0) : 0.0;
  return std::pow(clamped, 0.45);
}

}  // namespace

std::array<double, 15> windowMeterBarHeights(float level) {
  std::array<double, 15> heights{};
  const double p = loudness(level);
  for (int i = 0; i < 15; ++i) {
    const double s = 0.35 + 0.65 * (1.0 - std::abs(i - 7) / 7.0);
    heights[i] = p * 28.0 * s + 4.0;
  }
  return heights;
}

std::array<double, 11> overlayWaveformBarHeights(float level) {
  std::array<double, 11> heights{};
  const double p = loudness(level);
  for (int i = 0; i < 11; ++i) {
    const double s = 0.35 + 0.65 * (1.0 - std::abs(i - 5) / 5.0);
    heights[i] = 3.0 + 29.0 * p * s;
  }
  return heights;
}

}  // namespace wrenly
