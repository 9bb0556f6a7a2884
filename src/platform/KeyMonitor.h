#pragma once

#include <cstdint>
#include <functional>

#include "base/Subscription.h"

namespace wrenly {

// The key vocabulary the trigger-key detector speaks. Key codes and modifier bits are those of
// the original Apple keyboard event system, which the settings file's trigger keys were defined
// in; a desktop adapter translates its own keys into them. Option is the Alt key, Command the
// Super key.
namespace KeyCode {
inline constexpr uint16_t rightAlt = 61;
inline constexpr uint16_t leftAlt = 58;
inline constexpr uint16_t rightShift = 60;
inline constexpr uint16_t leftShift = 56;
inline constexpr uint16_t rightControl = 62;
inline constexpr uint16_t leftControl = 59;
inline constexpr uint16_t rightCommand = 54;
inline constexpr uint16_t leftCommand = 55;
inline constexpr uint16_t capsLock = 57;
inline constexpr uint16_t function = 63;
inline constexpr uint16_t r = 15;
inline constexpr uint16_t v = 9;
// Any key the adapter has no code for. A pointer button press may be reported as a key-down
// of this code, so that clicking while a trigger key is held cancels the lone tap.
inline constexpr uint16_t other = 0xFFFF;
}  // namespace KeyCode

// Bits of the modifier flags word: one family bit per kind of modifier, set while any key of
// that kind is down, and one device bit per physical key.
namespace ModifierFlag {
inline constexpr uint64_t capsLock = 0x10000;
inline constexpr uint64_t shift = 0x20000;
inline constexpr uint64_t control = 0x40000;
inline constexpr uint64_t option = 0x80000;
inline constexpr uint64_t command = 0x100000;

inline constexpr uint64_t leftControlDevice = 0x01;
inline constexpr uint64_t leftShiftDevice = 0x02;
inline constexpr uint64_t rightShiftDevice = 0x04;
inline constexpr uint64_t leftCommandDevice = 0x08;
inline constexpr uint64_t rightCommandDevice = 0x10;
inline constexpr uint64_t leftAltDevice = 0x20;
inline constexpr uint64_t rightAltDevice = 0x40;
inline constexpr uint64_t rightControlDevice = 0x2000;
}  // namespace ModifierFlag

enum class KeyEventType {
  keyDown,       // an ordinary key went down (auto-repeat included or not, either is fine)
  flagsChanged,  // a modifier key went down or up; `modifierFlags` is the state after it
};

struct KeyEvent {
  KeyEventType type = KeyEventType::keyDown;
  uint16_t keyCode = KeyCode::other;
  uint64_t modifierFlags = 0;  // ModifierFlag bits held after the event

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
  [[nodiscard]] virtual Subscription monitor(Scope scope, Handler handler) = 0;
};

}  // namespace wrenly
