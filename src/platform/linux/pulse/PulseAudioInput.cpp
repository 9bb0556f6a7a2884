#include "platform/linux/pulse/PulseAudioInput.h"

#include "platform/linux/pulse/PulseEngine.h"

namespace wrenly {

PulseAudioInput::PulseAudioInput(std::string applicationName)
    : applicationName_(std::move(applicationName)) {}

asio::awaitable<bool> PulseAudioInput::requestAccess() {
  co_return true;
}

std::unique_ptr<AudioEngine> PulseAudioInput::makeEngine() {
  return std::make_unique<PulseEngine>(applicationName_);
}

}  // namespace wrenly
