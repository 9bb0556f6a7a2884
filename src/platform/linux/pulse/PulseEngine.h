#pragma once

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/AudioInput.h"

namespace wrenly {

// One record stream on the source that was the default when the engine was made. Each engine
// has its own main loop thread and server connection, so a new engine always sees the current
// default device and its native format.
//
// The stream is connected with PA_STREAM_DONT_MOVE: the server would otherwise move it to a new
// default device behind our back. Instead the engine counts as stopped by itself when the
// stream fails, when its source goes away or when another source becomes the default.
class PulseEngine final : public AudioEngine {
 public:
  explicit PulseEngine(const std::string& applicationName);
  ~PulseEngine() override;

  PulseEngine(const PulseEngine&) = delete;
  PulseEngine& operator=(const PulseEngine&) = delete;

  AudioFormat inputFormat() const override { return format_; }
  void installTap(std::uint32_t bufferFrames, Tap tap) override;
  void start() override;
  void stop() override;
  bool isRunning() const override { return running_.load(); }

 private:
  // The main loop lock must be held for all of these.
  void connect(const std::string& applicationName);
  template <typename Done>
  bool waitUntil(Done done);
  bool waitFor(pa_operation* operation);
  void disconnectStream();
  void readAvailable();
  void lostDevice() {
    lost_ = true;
    running_ = false;
  }

  static void onContextState(pa_context* context, void* self);
  static void onStreamState(pa_stream* stream, void* self);
  static void onRead(pa_stream* stream, size_t bytes, void* self);
  static void onSubscription(pa_context* context, pa_subscription_event_type_t type,
                             std::uint32_t index, void* self);
  static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
  static void onDefaultChanged(pa_context* context, const pa_server_info* info, void* self);
  static void onSourceInfo(pa_context* context, const pa_source_info* info, int eol, void* self);
  static void onSuccess(pa_context* context, int success, void* self);
  static void onTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                        void* self);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;

  AudioFormat format_{};
  pa_sample_spec sampleSpec_{};
  pa_channel_map channelMap_{};
  std::string sourceName_;
  std::uint32_t sourceIndex_ = PA_INVALID_INDEX;
  std::string defaultSourceName_;
  std::string failure_;  // why the engine cannot start, when the connection failed
  int failureCode_ = 0;

  Tap tap_;
  std::uint32_t bufferFrames_ = 2048;
  bool timedOut_ = false;
  bool stopped_ = false;
  bool lost_ = false;  // the device went away or stopped being the default; sticky
  std::atomic<bool> running_{false};
};

}  // namespace wrenly
