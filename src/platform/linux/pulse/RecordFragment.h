#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/AudioInput.h"

namespace wrenly {

// Hands one fragment peeked from a float record stream to `tap`, at most `bufferFrames` frames
// at a time. A fragment without data is a hole (the server has no samples for that stretch): it
// goes on as silence of its length, so the recording keeps its length and the live stream its
// timing.
void deliverRecordFragment(const void* data, std::size_t bytes, int channels,
                           std::uint32_t bufferFrames, const AudioEngine::Tap& tap);

}  // namespace wrenly
