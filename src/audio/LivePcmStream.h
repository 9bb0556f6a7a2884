#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "audio/Resampler.h"

namespace wrenly {

// The live path: mono float buffers in, 3200-byte chunks (100 ms) of 16 kHz 16-bit PCM out.
// Not thread-safe: the recorder calls it only on its "Wrenly.pcm" queue, and both callbacks
// run there.
class LivePcmStream {
 public:
  static constexpr std::size_t chunkBytes = 3200;

  using PcmHandler = std::function<void(std::vector<std::uint8_t> chunk)>;
  using FailureHandler = std::function<void()>;

  explicit LivePcmStream(ResamplerFactory makeResampler);

  // Sets or clears the callbacks; forgets pending bytes and the converter.
  void configure(PcmHandler onPCM, FailureHandler onFailure);

  // A new engine run at `inputRate`. When it continues a recording, the old converter's tail is
  // drained first, and pending bytes stay in front so chunks run on without a gap.
  void prepare(double inputRate, bool continuing);

  // One buffer of mono samples from the audio thread.
  void append(std::span<const float> mono);

  // End of the recording: drains, hands out the last partial chunk, clears everything.
  void end();

  // Abandoned recording: clears everything, hands out nothing.
  void cancel();

 private:
  void convert(std::span<const float> input, bool ending);
  void fail();

  ResamplerFactory makeResampler_;
  PcmHandler handler_;
  FailureHandler failure_;
  std::unique_ptr<Resampler> converter_;
  std::vector<std::uint8_t> pending_;
  std::vector<float> output_;
};

}  // namespace wrenly
