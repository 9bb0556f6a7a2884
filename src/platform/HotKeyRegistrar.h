#pragma once

#include <cstdint>
#include <functional>

#include "platform/KeyMonitor.h"
#include "platform/Subscription.h"

namespace wrenly {

// A key with modifiers, in the detector's vocabulary (KeyCode, ModifierFlag family bits).
struct HotKeyChord {
  uint16_t keyCode = KeyCode::other;
  uint64_t modifierFlags = 0;

  bool operator==(const HotKeyChord&) const = default;
};

// System-wide hot keys: the desktop hands the chord to this program instead of the application
// in front.
class HotKeyRegistrar {
 public:
  virtual ~HotKeyRegistrar() = default;

  // Claims `chord` (whatever lock keys are on) until the subscription ends; `pressed` runs, on
  // any thread, each time it is pressed. Empty when the desktop refused, for example because
  // another program holds the chord.
  [[nodiscard]] virtual Subscription registerHotKey(HotKeyChord chord,
                                                    std::function<void()> pressed) = 0;
};

}  // namespace wrenly
