#include "hotkey/MacRecordingShortcut.h"

#include "platform/DesktopWording.h"
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

// In the order of MacRecordingShortcut::Value.
constexpr std::array<KeyData, 9> table{{
    {"rightOption", DesktopWording::rightAltTitle, KeyCode::rightOption, option, rightOptionDevice},
    {"leftOption", DesktopWording::leftAltTitle, KeyCode::leftOption, option, leftOptionDevice},
    {"rightShift", "右 Shift", KeyCode::rightShift, shift, rightShiftDevice},
    {"leftShift", "左 Shift", KeyCode::leftShift, shift, leftShiftDevice},
    {"rightControl", "右 Control", KeyCode::rightControl, control, rightControlDevice},
    {"leftControl", "左 Control", KeyCode::leftControl, control, leftControlDevice},
    {"rightCommand", DesktopWording::rightSuperTitle, KeyCode::rightCommand, command,
     rightCommandDevice},
    {"leftCommand", DesktopWording::leftSuperTitle, KeyCode::leftCommand, command,
     leftCommandDevice},
    {"optionCommandR", DesktopWording::altSuperRTitle, std::nullopt, option, 0},
}};

const KeyData& data(MacRecordingShortcut key) {
  return table[static_cast<size_t>(key)];
}

}  // namespace

std::optional<MacRecordingShortcut> MacRecordingShortcut::fromRawValue(std::string_view rawValue) {
  for (auto key : allCases()) {
    if (data(key).rawValue == rawValue) return key;
  }
  return std::nullopt;
}

std::optional<MacRecordingShortcut> MacRecordingShortcut::fromModifierKeyCode(uint16_t keyCode) {
  for (auto key : allCases()) {
    if (data(key).keyCode == keyCode) return key;
  }
  return std::nullopt;
}

std::string_view MacRecordingShortcut::rawValue() const {
  return data(*this).rawValue;
}
std::string_view MacRecordingShortcut::title() const {
  return data(*this).title;
}
std::optional<uint16_t> MacRecordingShortcut::keyCode() const {
  return data(*this).keyCode;
}
uint64_t MacRecordingShortcut::familyFlag() const {
  return data(*this).familyFlag;
}
uint64_t MacRecordingShortcut::deviceFlagMask() const {
  return data(*this).deviceFlagMask;
}

std::ostream& operator<<(std::ostream& out, MacRecordingShortcut key) {
  return out << key.rawValue();
}

}  // namespace wrenly
