#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Asio.h"

namespace wrenly {

// The native format of an input device as it delivers samples.
struct AudioFormat {
  double sampleRate = 0;  // Hz; 0 when there is no usable device
  int channels = 0;
  bool isFloat32 = true;  // samples reach the tap as 32-bit floats
};

// One run of the microphone on the device that was the default when the engine was made, at that
// device's own format. Destroying an engine stops it.
//
// Threads: the owner calls every member from one thread; the tap runs on the sound system's
// thread. `stop()` and the destructor return only once no tap call is running or will run, so the
// owner must not hold a lock the tap takes while it calls them.
class AudioEngine {
 public:
  // `frames` interleaved frames of `channels` floats each; `samples` may be null for a buffer
  // without data.
  using Tap = std::function<void(const float* samples, std::uint32_t frames, int channels)>;

  virtual ~AudioEngine() = default;

  // The device's native format, read when the engine was made; {0, 0} when the sound system or
  // the device is missing (the engine then cannot start).
  virtual AudioFormat inputFormat() const = 0;

  // Installs the callback that receives every captured buffer of at most `bufferFrames` frames.
  // Call before `start()`.
  virtual void installTap(std::uint32_t bufferFrames, Tap tap) = 0;

  // Returns once the device really delivers, or throws std::system_error with the sound
  // system's code and message.
  virtual void start() = 0;

  // Idempotent; afterwards the tap is never called again.
  virtual void stop() = 0;

  // True from a successful `start()` until `stop()` or until the engine stopped by itself
  // (device gone, default device changed, sound system failed). A stopped engine stays stopped.
  virtual bool isRunning() const = 0;
};

// The microphone port: makes engines and answers for the capture authorisation.
class AudioInput {
 public:
  enum class Authorization { notDetermined, denied, authorized };

  virtual ~AudioInput() = default;

  virtual Authorization authorizationStatus() const = 0;

  // Asks the user when the answer is not known yet; returns whether capture is allowed.
  virtual asio::awaitable<bool> requestAccess() = 0;

  // A new engine on the current default input device. Never null, never throws: a missing
  // device shows as an empty `inputFormat()`.
  virtual std::unique_ptr<AudioEngine> makeEngine() = 0;
};

}  // namespace wrenly
