#include "platform/linux/pulse/PulseEngine.h"

#include <pulse/error.h>
#include <pulse/proplist.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <algorithm>

#include "platform/linux/pulse/PulseError.h"
#include "platform/linux/pulse/RecordFragment.h"

namespace wrenly {

namespace {

// Bound on every wait for the server: a hung server must not hang the caller.
constexpr pa_usec_t serverTimeout = 5 * PA_USEC_PER_SEC;

// Holds the main loop lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

bool contextSettled(pa_context* context) {
  const auto state = pa_context_get_state(context);
  return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

bool streamSettled(pa_stream* stream) {
  const auto state = pa_stream_get_state(stream);
  return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
}

}  // namespace

PulseEngine::PulseEngine(const std::string& applicationName) {
  loop_ = pa_threaded_mainloop_new();
  if (!loop_) {
    failure_ = "cannot create the sound server main loop";
    failureCode_ = PA_ERR_INTERNAL;
    return;
  }
  if (pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    failure_ = "cannot start the sound server main loop";
    failureCode_ = PA_ERR_INTERNAL;
    return;
  }
  LoopLock lock(loop_);
  connect(applicationName);
}

PulseEngine::~PulseEngine() {
  stop();
  if (!loop_) return;
  {
    LoopLock lock(loop_);
    if (context_) {
      pa_context_set_state_callback(context_, nullptr, nullptr);
      pa_context_set_subscribe_callback(context_, nullptr, nullptr);
      pa_context_disconnect(context_);
      pa_context_unref(context_);
      context_ = nullptr;
    }
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

void PulseEngine::connect(const std::string& applicationName) {
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, applicationName.c_str());
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
  context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_),
                                          applicationName.c_str(), properties);
  pa_proplist_free(properties);
  if (!context_) {
    failure_ = "cannot create a sound server connection";
    failureCode_ = PA_ERR_INTERNAL;
    return;
  }
  pa_context_set_state_callback(context_, &PulseEngine::onContextState, this);
  // No autospawn: without a running server the answer must come at once.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      !waitUntil([&] { return contextSettled(context_); }) ||
      pa_context_get_state(context_) != PA_CONTEXT_READY) {
    failureCode_ = timedOut_ ? PA_ERR_TIMEOUT : pa_context_errno(context_);
    failure_ = "cannot connect to the sound server";
    return;
  }
  if (!waitFor(pa_context_get_server_info(context_, &PulseEngine::onServerInfo, this)) ||
      sourceName_.empty()) {
    failureCode_ = PA_ERR_NOENTITY;
    failure_ = "the sound server has no default input";
    return;
  }
  if (!waitFor(pa_context_get_source_info_by_name(context_, sourceName_.c_str(),
                                                  &PulseEngine::onSourceInfo, this)) ||
      sourceIndex_ == PA_INVALID_INDEX) {
    failureCode_ = PA_ERR_NOENTITY;
    failure_ = "the default input is gone";
    return;
  }
  defaultSourceName_ = sourceName_;
  pa_context_set_subscribe_callback(context_, &PulseEngine::onSubscription, this);
  waitFor(pa_context_subscribe(context_,
                               static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                                   PA_SUBSCRIPTION_MASK_SOURCE),
                               &PulseEngine::onSuccess, this));
  format_ = AudioFormat{static_cast<double>(sampleSpec_.rate), sampleSpec_.channels, true};
}

template <typename Done>
bool PulseEngine::waitUntil(Done done) {
  timedOut_ = false;
  pa_time_event* timer = pa_context_rttime_new(context_, pa_rtclock_now() + serverTimeout,
                                               &PulseEngine::onTimeout, this);
  while (!done() && !timedOut_) pa_threaded_mainloop_wait(loop_);
  if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
  return done();
}

bool PulseEngine::waitFor(pa_operation* operation) {
  if (!operation) return false;
  const bool finished =
      waitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  if (!finished) pa_operation_cancel(operation);
  const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_unref(operation);
  return done;
}

void PulseEngine::installTap(std::uint32_t bufferFrames, Tap tap) {
  if (!loop_) return;
  LoopLock lock(loop_);
  bufferFrames_ = std::max<std::uint32_t>(bufferFrames, 1);
  tap_ = std::move(tap);
}

void PulseEngine::start() {
  if (!loop_ || format_.sampleRate <= 0) {
    throw pulseError(failureCode_ ? failureCode_ : PA_ERR_NOENTITY,
                     failure_.empty() ? "no sound input" : failure_);
  }
  LoopLock lock(loop_);
  if (stream_ || stopped_) return;
  pa_sample_spec floatFormat = sampleSpec_;
  floatFormat.format = PA_SAMPLE_FLOAT32NE;
  stream_ = pa_stream_new(context_, "Microphone", &floatFormat, &channelMap_);
  if (!stream_) throw pulseError(pa_context_errno(context_), "cannot create the record stream");
  pa_stream_set_state_callback(stream_, &PulseEngine::onStreamState, this);
  pa_stream_set_read_callback(stream_, &PulseEngine::onRead, this);
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(bufferFrames_ * pa_frame_size(&floatFormat));
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_record(stream_, sourceName_.c_str(), &attributes, flags) < 0 ||
      !waitUntil([&] { return streamSettled(stream_); }) ||
      pa_stream_get_state(stream_) != PA_STREAM_READY) {
    const int code = timedOut_ ? PA_ERR_TIMEOUT : pa_context_errno(context_);
    disconnectStream();
    throw pulseError(code, "cannot open the microphone");
  }
  // running_ was decided by the READY callback, before any read could be delivered.
}

void PulseEngine::stop() {
  if (!loop_) return;
  LoopLock lock(loop_);
  stopped_ = true;
  running_ = false;
  tap_ = nullptr;
  disconnectStream();
}

void PulseEngine::disconnectStream() {
  if (!stream_) return;
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseEngine::readAvailable() {
  while (stream_ && pa_stream_readable_size(stream_) > 0) {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(stream_, &data, &bytes) < 0) {
      lostDevice();
      return;
    }
    if (bytes == 0) return;
    if (running_ && tap_)
      deliverRecordFragment(data, bytes, sampleSpec_.channels, bufferFrames_, tap_);
    pa_stream_drop(stream_);
  }
}

void PulseEngine::onContextState(pa_context* context, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) engine->lostDevice();
  pa_threaded_mainloop_signal(engine->loop_, 0);
}

void PulseEngine::onStreamState(pa_stream* stream, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  const auto state = pa_stream_get_state(stream);
  if (state == PA_STREAM_READY) {
    // Decided here, not when start() wakes up: the first reads can come before that.
    engine->running_ = !engine->lost_ && engine->defaultSourceName_ == engine->sourceName_;
  } else if (!PA_STREAM_IS_GOOD(state)) {
    engine->lostDevice();
  }
  pa_threaded_mainloop_signal(engine->loop_, 0);
}

void PulseEngine::onRead(pa_stream*, size_t, void* self) {
  static_cast<PulseEngine*>(self)->readAvailable();
}

void PulseEngine::onSubscription(pa_context* context, pa_subscription_event_type_t type,
                                 std::uint32_t index, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind == PA_SUBSCRIPTION_EVENT_REMOVE &&
      index == engine->sourceIndex_) {
    engine->lostDevice();
  } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
    // The default source may have changed: ask which it is now.
    if (pa_operation* op =
            pa_context_get_server_info(context, &PulseEngine::onDefaultChanged, self)) {
      pa_operation_unref(op);
    }
  }
}

void PulseEngine::onServerInfo(pa_context*, const pa_server_info* info, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  if (info && info->default_source_name) engine->sourceName_ = info->default_source_name;
  pa_threaded_mainloop_signal(engine->loop_, 0);
}

void PulseEngine::onDefaultChanged(pa_context*, const pa_server_info* info, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  if (!info) return;
  engine->defaultSourceName_ = info->default_source_name ? info->default_source_name : "";
  if (engine->defaultSourceName_ != engine->sourceName_) engine->lostDevice();
}

void PulseEngine::onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  if (eol == 0 && info) {
    engine->sampleSpec_ = info->sample_spec;
    engine->channelMap_ = info->channel_map;
    engine->sourceIndex_ = info->index;
  }
  pa_threaded_mainloop_signal(engine->loop_, 0);
}

void PulseEngine::onSuccess(pa_context*, int, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseEngine*>(self)->loop_, 0);
}

void PulseEngine::onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* engine = static_cast<PulseEngine*>(self);
  engine->timedOut_ = true;
  pa_threaded_mainloop_signal(engine->loop_, 0);
}

}  // namespace wrenly
