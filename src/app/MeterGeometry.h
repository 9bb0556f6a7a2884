#pragma once

#include <array>

namespace wrenly {

// Bar heights (device-independent pixels) of the two level meters, as pure functions of the
// controller's level so both can be checked without drawing.

// The main window's meter: 15 bars, 4 high at silence, the middle one 32 at full level.
std::array<double, 15> windowMeterBarHeights(float level);

// The overlay's waveform: 11 bars, 3 high at silence, the middle one 32 and the outer ones 13.15
// at full level.
std::array<double, 11> overlayWaveformBarHeights(float level);

}  // namespace wrenly
