#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "base/StoredNames.h"
#include "platform/KeyMonitor.h"

namespace wrenly {

// The keys that can start and stop a dictation: a lone tap of one of eight modifier keys, or the
// Alt+Super+R chord. Used like an enumeration (`TriggerKey::rightAlt`, switch,
// comparisons, sets), with the key's data as members. Option means Alt and Command means Super;
// the raw values keep those names because they are what the settings file stores.
class TriggerKey {
 public:
  enum Value : uint8_t {
    rightAlt,
    leftAlt,
    rightShift,
    leftShift,
    rightControl,
    leftControl,
    rightCommand,
    leftCommand,
    optionCommandR,
  };

  // The settings key under which the chosen key's raw value is stored.
  static constexpr const char* preference = StoredNames::triggerKeyKey;

  constexpr TriggerKey(Value value) : value_(value) {}  // NOLINT: used as the enum
  constexpr operator Value() const { return value_; }   // NOLINT: switch, compare

  static constexpr std::array<TriggerKey, 9> allCases() {
    return {rightAlt,    leftAlt,      rightShift,  leftShift,     rightControl,
            leftControl, rightCommand, leftCommand, optionCommandR};
  }

  // None for a string that names no key.
  static std::optional<TriggerKey> fromRawValue(std::string_view rawValue);
  // The modifier key of that kind and side; never the chord.
  static std::optional<TriggerKey> fromModifierKey(Key key, KeySide side);

  std::string_view rawValue() const;
  std::string_view id() const { return rawValue(); }
  // What the interface calls the key.
  std::string_view title() const;
  // The kind of modifier key; none for the chord.
  std::optional<Key> key() const;
  // Which of the pair it is; unknown for the chord.
  KeySide side() const;

 private:
  Value value_;
};

std::ostream& operator<<(std::ostream& out, TriggerKey key);

// How the trigger key is used: tapped once to start and again to stop, or held while talking.
enum class TriggerMode : uint8_t { tap, hold };

inline constexpr TriggerMode triggerModes[] = {TriggerMode::tap, TriggerMode::hold};

std::string_view rawValue(TriggerMode mode);
// Tapping, for a missing or unknown stored value.
TriggerMode triggerModeFromRawValue(std::optional<std::string_view> rawValue);
// What the interface calls the mode.
std::string_view title(TriggerMode mode);

// What became of a press of the installed trigger key that began with no other key held: it may
// still become a lone tap (`began`), another key joined it and it no longer can (`combined`),
// or it went up with nothing else pressed meanwhile (`released`).
enum class TriggerPress { began, combined, released };

}  // namespace wrenly
