#pragma once

#include <functional>

#include "base/Subscription.h"
#include "platform/KeyMonitor.h"

namespace wrenly {

// A key with the kinds of modifier held with it.
struct TriggerChord {
  Key key = Key::other;
  ModifierState held;

  bool operator==(const TriggerChord&) const = default;
};

// System-wide hot keys: the desktop hands the chord to this program instead of the application
// in front.
class ChordRegistrar {
 public:
  virtual ~ChordRegistrar() = default;

  // Claims `chord` (whatever lock keys are on) until the subscription ends; `pressed` runs, on
  // any thread, each time it is pressed, and `released` (may be empty) when its key goes up
  // again. Empty when the desktop refused, for example because another program holds the chord.
  [[nodiscard]] virtual Subscription registerChord(TriggerChord chord,
                                                   std::function<void()> pressed,
                                                   std::function<void()> released) = 0;
};

}  // namespace wrenly
