#pragma once

#include <cstdint>
#include <functional>

#include "base/Subscription.h"
#include "platform/KeyMonitor.h"

namespace wrenly {

// A key with modifiers, in the detector's vocabulary (KeyCode, ModifierFlag family bits).
struct TriggerChord {
  uint16_t keyCode = KeyCode::other;
  uint64_t modifierFlags = 0;

  bool operator==(const TriggerChord&) const = default;
};

// System-wide hot keys: the desktop hands the chord to this program instead of the application
// in front.
class ChordRegistrar {
 public:
  virtual ~ChordRegistrar() = default;

  // Claims `chord` (whatever lock keys are on) until the subscription ends; `pressed` runs, on
  // any thread, each time it is pressed. Empty when the desktop refused, for example because
  // another program holds the chord.
  [[nodiscard]] virtual Subscription registerChord(TriggerChord chord,
                                                   std::function<void()> pressed) = 0;
};

}  // namespace wrenly
