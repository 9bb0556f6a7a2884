#include <soxr.h>

#include "audio/Resampler.h"

namespace wrenly {

namespace {

class SoxrResampler final : public Resampler {
 public:
  explicit SoxrResampler(soxr_t handle) : handle_(handle) {}
  ~SoxrResampler() override { soxr_delete(handle_); }
  SoxrResampler(const SoxrResampler&) = delete;
  SoxrResampler& operator=(const SoxrResampler&) = delete;

  std::size_t process(std::span<const float> input, bool ending, std::span<float> output,
                      std::size_t& consumed) override {
    size_t inputDone = 0;
    size_t outputDone = 0;
    // A null input tells soxr the stream has ended, so it flushes its filter.
    const bool drain = input.empty() && ending;
    soxr_error_t error =
        soxr_process(handle_, drain ? nullptr : input.data(), drain ? 0 : input.size(), &inputDone,
                     output.data(), output.size(), &outputDone);
    if (error) throw ResamplerError(error);
    consumed = inputDone;
    return outputDone;
  }

 private:
  soxr_t handle_;
};

}  // namespace

std::unique_ptr<Resampler> makeSoxrResampler(double inputRate) {
  if (!(inputRate > 0)) return nullptr;
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_t handle = soxr_create(inputRate, Resampler::outputRate, 1, &error, &io, &quality, nullptr);
  if (error || !handle) {
    if (handle) soxr_delete(handle);
    return nullptr;
  }
  return std::make_unique<SoxrResampler>(handle);
}

}  // namespace wrenly
