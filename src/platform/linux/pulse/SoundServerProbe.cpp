#include "platform/linux/pulse/SoundServerProbe.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>

#include <memory>

namespace wrenly {

std::optional<std::string> soundServerProblem(std::chrono::milliseconds bound) {
  using Clock = std::chrono::steady_clock;
  const std::unique_ptr<pa_mainloop, void (*)(pa_mainloop*)> loop(pa_mainloop_new(),
                                                                  pa_mainloop_free);
  if (!loop) return std::string("out of memory");
  const std::unique_ptr<pa_context, void (*)(pa_context*)> context(
      pa_context_new(pa_mainloop_get_api(loop.get()), "Wrenly"), pa_context_unref);
  if (!context) return std::string("out of memory");
  if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return std::string(pa_strerror(pa_context_errno(context.get())));
  }
  const Clock::time_point deadline = Clock::now() + bound;
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context.get());
    if (state == PA_CONTEXT_READY) {
      pa_context_disconnect(context.get());
      return std::nullopt;
    }
    if (!PA_CONTEXT_IS_GOOD(state))
      return std::string(pa_strerror(pa_context_errno(context.get())));
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      pa_context_disconnect(context.get());
      return std::string("no answer in time");
    }
    if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
        pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0) {
      return std::string("the sound server connection failed");
    }
  }
}

}  // namespace wrenly
