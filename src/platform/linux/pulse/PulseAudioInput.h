#pragma once

#include <string>

#include "platform/AudioInput.h"

namespace wrenly {

// The microphone through the desktop's sound server (PulseAudio, or PipeWire's pulse server):
// every engine records from the source that is the default when it is made, at that source's
// own rate and channel count, in 32-bit float.
class PulseAudioInput final : public AudioInput {
 public:
  explicit PulseAudioInput(std::string applicationName = "Wrenly");

  // A plain desktop has no per-application microphone permission.
  Authorization authorizationStatus() const override { return Authorization::authorized; }
  asio::awaitable<bool> requestAccess() override;

  std::unique_ptr<AudioEngine> makeEngine() override;

 private:
  std::string applicationName_;
};

}  // namespace wrenly
