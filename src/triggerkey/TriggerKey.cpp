#include "triggerkey/TriggerKey.h"

#include "messages/Messages.h"
#include "platform/KeyMonitor.h"

namespace wrenly {

namespace {

struct KeyData {
  std::string_view rawValue;
  std::string_view title;
  std::optional<uint16_t> keyCode;
  uint64_t familyFlag;
  uint64_t deviceFlagMask;
};

using namespace ModifierFlag;

// In the order of TriggerKey::Value.
constexpr std::array<KeyData, 9> table{{
    {"rightOption", Messages::rightAltTitle, KeyCode::rightAlt, option, rightAltDevice},
    {"leftOption", Messages::leftAltTitle, KeyCode::leftAlt, option, leftAltDevice},
    {"rightShift", Messages::rightShiftTitle, KeyCode::rightShift, shift, rightShiftDevice},
    {"leftShift", Messages::leftShiftTitle, KeyCode::leftShift, shift, leftShiftDevice},
    {"rightControl", Messages::rightControlTitle, KeyCode::rightControl, control,
     rightControlDevice},
    {"leftControl", Messages::leftControlTitle, KeyCode::leftControl, control, leftControlDevice},
    {"rightCommand", Messages::rightSuperTitle, KeyCode::rightCommand, command, rightCommandDevice},
    {"leftCommand", Messages::leftSuperTitle, KeyCode::leftCommand, command, leftCommandDevice},
    {"optionCommandR", Messages::altSuperRTitle, std::nullopt, option, 0},
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

std::optional<TriggerKey> TriggerKey::fromModifierKeyCode(uint16_t keyCode) {
  for (auto key : allCases()) {
    if (data(key).keyCode == keyCode) return key;
  }
  return std::nullopt;
}

std::string_view TriggerKey::rawValue() const {
  return data(*this).rawValue;
}
std::string_view TriggerKey::title() const {
  return data(*this).title;
}
std::optional<uint16_t> TriggerKey::keyCode() const {
  return data(*this).keyCode;
}
uint64_t TriggerKey::familyFlag() const {
  return data(*this).familyFlag;
}
uint64_t TriggerKey::deviceFlagMask() const {
  return data(*this).deviceFlagMask;
}

std::ostream& operator<<(std::ostream& out, TriggerKey key) {
  return out << key.rawValue();
}

}  // namespace wrenly
