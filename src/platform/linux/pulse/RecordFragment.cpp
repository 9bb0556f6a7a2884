#include "platform/linux/pulse/RecordFragment.h"

#include <algorithm>
#include <vector>

namespace wrenly {

void deliverRecordFragment(const void* data, std::size_t bytes, int channels,
                           std::uint32_t bufferFrames, const AudioEngine::Tap& tap) {
  if (channels <= 0 || bufferFrames == 0) return;
  const auto width = static_cast<std::size_t>(channels);
  const std::size_t frames = bytes / (sizeof(float) * width);
  std::vector<float> silence;
  if (!data) silence.assign(std::min<std::size_t>(frames, bufferFrames) * width, 0.0f);
  const auto* samples = static_cast<const float*>(data);
  for (std::size_t first = 0; first < frames; first += bufferFrames) {
    const auto count =
        static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, frames - first));
    tap(data ? samples + first * width : silence.data(), count, channels);
  }
}

}  // namespace wrenly
