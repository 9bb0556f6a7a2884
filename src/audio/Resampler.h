#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>

namespace wrenly {

// A failure inside the resampler, with its own message.
class ResamplerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Streaming mono sample-rate conversion to the service's 16000 Hz. Output is time-aligned with
// the input; the filter's tail only comes out when the stream is drained.
class Resampler {
 public:
  static constexpr double outputRate = 16000.0;

  virtual ~Resampler() = default;

  // Consumes input and writes up to `output.size()` samples; returns how many were written and
  // sets `consumed` to the number of input samples taken. An empty `input` with `ending` drains
  // the tail. Throws ResamplerError.
  virtual std::size_t process(std::span<const float> input, bool ending, std::span<float> output,
                              std::size_t& consumed) = 0;
};

// Makes a resampler from `inputRate` Hz; null when that rate cannot be converted.
using ResamplerFactory = std::function<std::unique_ptr<Resampler>(double inputRate)>;

// High-quality soxr resampling, the program's normal choice.
std::unique_ptr<Resampler> makeSoxrResampler(double inputRate);

}  // namespace wrenly
