#pragma once

#include <chrono>
#include <optional>

#include "platform/Clock.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

// What a hold of the trigger key asks of the dictation cycle.
enum class HoldAction { none, start, finish, cancel };

// Hold to talk: the installed key going down alone starts a dictation and its release finishes
// it. A release sooner than `shortest` is a tap, not a hold, and cancels; so does another key or
// a click while the key is held, as the key was then part of a shortcut.
class HoldGesture {
 public:
  static constexpr Clock::Duration shortest = std::chrono::milliseconds(300);

  explicit HoldGesture(const Clock& clock) : clock_(clock) {}

  HoldAction on(TriggerPress press);
  void forget() { heldSince_.reset(); }

 private:
  const Clock& clock_;
  std::optional<Clock::Duration> heldSince_;
};

}  // namespace wrenly
