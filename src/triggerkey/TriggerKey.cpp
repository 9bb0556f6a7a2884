#include "triggerkey/TriggerKey.h"

#include "base/StoredNames.h"
#include "messages/Messages.h"

namespace wrenly {

namespace {

struct KeyData {
  std::string_view rawValue;
  std::string_view title;
  std::optional<Key> key;
  KeySide side;
};

using enum KeySide;

// In the order of TriggerKey::Value.
constexpr std::array<KeyData, 9> table{{
    {StoredNames::rightAlt, Messages::rightAltTitle, Key::alt, right},
    {StoredNames::leftAlt, Messages::leftAltTitle, Key::alt, left},
    {StoredNames::rightShift, Messages::rightShiftTitle, Key::shift, right},
    {StoredNames::leftShift, Messages::leftShiftTitle, Key::shift, left},
    {StoredNames::rightControl, Messages::rightControlTitle, Key::control, right},
    {StoredNames::leftControl, Messages::leftControlTitle, Key::control, left},
    {StoredNames::rightSuper, Messages::rightSuperTitle, Key::super, right},
    {StoredNames::leftSuper, Messages::leftSuperTitle, Key::super, left},
    {StoredNames::altSuperR, Messages::altSuperRTitle, std::nullopt, unknown},
}};

const KeyData& data(TriggerKey key) {
  return table[static_cast<size_t>(key)];
}

}  // namespace

std::optional<TriggerKey> TriggerKey::fromRawValue(std::string_view rawValue) {
  for (auto key : allCases()) {
    if (data(key).rawValue == rawValue) return key;
  }
  return std::nullopt;
}

std::optional<TriggerKey> TriggerKey::fromModifierKey(Key key, KeySide side) {
  for (auto trigger : allCases()) {
    if (data(trigger).key == key && data(trigger).side == side) return trigger;
  }
  return std::nullopt;
}

std::string_view TriggerKey::rawValue() const {
  return data(*this).rawValue;
}
std::string_view TriggerKey::title() const {
  return data(*this).title;
}
std::optional<Key> TriggerKey::key() const {
  return data(*this).key;
}
KeySide TriggerKey::side() const {
  return data(*this).side;
}

std::ostream& operator<<(std::ostream& out, TriggerKey key) {
  return out << key.rawValue();
}

std::string_view rawValue(TriggerMode mode) {
  return mode == TriggerMode::hold ? StoredNames::holdMode : StoredNames::tapMode;
}

TriggerMode triggerModeFromRawValue(std::optional<std::string_view> rawValue) {
  return rawValue == StoredNames::holdMode ? TriggerMode::hold : TriggerMode::tap;
}

std::string_view title(TriggerMode mode) {
  return mode == TriggerMode::hold ? Messages::holdModeTitle : Messages::tapModeTitle;
}

}  // namespace wrenly
