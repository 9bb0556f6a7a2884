#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "platform/AudioInput.h"

namespace wrenly {

// A scripted microphone (authorised, 48000 Hz mono unless set otherwise). Engines take the
// format of `setDevice` at the time they are made. `deliver` calls the running engine's tap at
// once, so the test plays the sound system's thread. Not thread-safe.
class FakeAudioInput final : public AudioInput {
 public:
  Authorization authorization = Authorization::authorized;
  bool accessAnswer = true;  // what requestAccess() answers; also becomes `authorization`
  int accessRequests = 0;

  void setDevice(AudioFormat format) { device_ = format; }  // {0, 0}: no device
  // The next `count` engines' start() throw this / return without running (a busy device).
  void failNextStart(std::string message,
                     std::error_code code = std::make_error_code(std::errc::io_error),
                     int count = 1);
  void notRunningAfterStart(int count = 1) { notRunningStarts_ = count; }

  // Interleaved samples through the running engine's tap, in buffers of the tap's size; false,
  // delivering nothing, when no engine runs.
  bool deliver(std::span<const float> interleaved);

  void disconnect();  // the running engine stops by itself

  int enginesMade() const { return static_cast<int>(engines_.size()); }
  int liveEngines() const;  // made and neither stopped nor destroyed
  std::uint32_t tapBufferFrames() const;

  static std::vector<float> tone(double frequency, double rate, int channels, double seconds,
                                 float amplitude = 0.5f);

  Authorization authorizationStatus() const override { return authorization; }
  asio::awaitable<bool> requestAccess() override;
  std::unique_ptr<AudioEngine> makeEngine() override;

  struct EngineState;

 private:
  EngineState* current() const;

  AudioFormat device_{48000, 1, true};
  std::optional<std::system_error> startFailure_;
  int failingStarts_ = 0;
  int notRunningStarts_ = 0;
  std::vector<std::shared_ptr<EngineState>> engines_;
};

}  // namespace wrenly
