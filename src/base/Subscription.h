#pragma once

#include <functional>
#include <utility>

namespace wrenly {

// A registration with the desktop (an event stream, a monitor, a hot key) that lasts exactly as
// long as this object. An empty subscription means the registration could not be made. Ending it
// from inside its own handler is allowed (the handler is not called again), so adapters must
// not destroy a handler while it runs.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {
    if (!cancel_) cancel_ = [] {};
  }
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      cancel_ = std::exchange(other.cancel_, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  // Ends the registration now; afterwards the subscription is empty.
  void reset() {
    if (auto cancel = std::exchange(cancel_, {})) cancel();
  }

  explicit operator bool() const { return static_cast<bool>(cancel_); }

 private:
  std::function<void()> cancel_;
};

}  // namespace wrenly
