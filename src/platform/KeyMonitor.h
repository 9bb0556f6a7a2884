#pragma once

#include <cstdint>
#include <functional>

#include "base/Subscription.h"

namespace wrenly {

// Which key, as far as the program tells keys apart: the kinds of modifier key, the letters a
// chord or the paste keystroke needs, and every other key (Fn included). Super is the key with
// the system's logo on most keyboards.
enum class Key : uint8_t { alt, shift, control, super, capsLock, r, v, other };

// Which of a pair of modifier keys; `unknown` where the desktop cannot tell or the key has no
// twin.
enum class KeySide : uint8_t { unknown, left, right };

// Keys that change the modifiers held instead of typing.
constexpr bool isModifier(Key key) {
  return key <= Key::capsLock;
}

// The modifier keys held: by kind, and by physical key where the desktop tells the side (some
// keyboards only say that a key of the kind is down).
class ModifierState {
 public:
  constexpr ModifierState& hold(Key key, KeySide side = KeySide::unknown) {
    kinds_ |= bit(key);
    if (side == KeySide::left) left_ |= bit(key);
    if (side == KeySide::right) right_ |= bit(key);
    return *this;
  }
  // Whether any key of the kind is held.
  constexpr bool holds(Key key) const { return (kinds_ & bit(key)) != 0; }
  // Whether that physical key is known to be held.
  constexpr bool holds(Key key, KeySide side) const {
    if (side == KeySide::unknown) return false;
    return ((side == KeySide::left ? left_ : right_) & bit(key)) != 0;
  }
  constexpr bool empty() const { return kinds_ == 0; }

  bool operator==(const ModifierState&) const = default;

 private:
  static constexpr uint16_t bit(Key key) {
    return static_cast<uint16_t>(1u << static_cast<int>(key));
  }

  uint16_t kinds_ = 0;
  uint16_t left_ = 0;
  uint16_t right_ = 0;
};

enum class KeyEventType {
  keyDown,          // an ordinary key went down (auto-repeat included or not, either is fine)
  modifierChanged,  // a modifier key went down or up; `held` is the state after it
};

struct KeyEvent {
  KeyEventType type = KeyEventType::keyDown;
  Key key = Key::other;
  KeySide side = KeySide::unknown;
  ModifierState held;  // the modifier keys held after the event

  bool operator==(const KeyEvent&) const = default;
};

// System-wide keyboard watching without taking keys away from anyone.
class KeyMonitor {
 public:
  enum class Scope {
    global,  // keys going to other applications; the handler may run on any thread
    local,   // keys going to this program's own windows; the handler runs on the main loop
  };
  using Handler = std::function<void(const KeyEvent&)>;

  virtual ~KeyMonitor() = default;

  // Starts delivering the scope's events to `handler` until the subscription ends. Every event
  // reaches exactly one of the two scopes. Empty when the desktop does not allow watching keys.
  // A pointer button pressed while a modifier is held arrives as a key-down of Key::other, so
  // that clicking while a trigger key is held cancels the lone tap.
  [[nodiscard]] virtual Subscription monitor(Scope scope, Handler handler) = 0;

  // Whether a modifier key's press arrives when it happens. A monitor that hears of a lone tap
  // only once it is over cannot tell holding a key from tapping it.
  virtual bool seesPresses() const { return true; }
};

}  // namespace wrenly
