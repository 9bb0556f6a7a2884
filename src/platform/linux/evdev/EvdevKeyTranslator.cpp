#include "platform/linux/evdev/EvdevKeyTranslator.h"

#include <cstring>
#include <utility>

namespace wrenly {

namespace {

struct PhysicalKey {
  Key key = Key::other;
  KeySide side = KeySide::unknown;
};

PhysicalKey physicalKey(unsigned code) {
  switch (code) {
    case KEY_LEFTALT:
      return {Key::alt, KeySide::left};
    case KEY_RIGHTALT:
      return {Key::alt, KeySide::right};
    case KEY_LEFTSHIFT:
      return {Key::shift, KeySide::left};
    case KEY_RIGHTSHIFT:
      return {Key::shift, KeySide::right};
    case KEY_LEFTCTRL:
      return {Key::control, KeySide::left};
    case KEY_RIGHTCTRL:
      return {Key::control, KeySide::right};
    case KEY_LEFTMETA:
      return {Key::super, KeySide::left};
    case KEY_RIGHTMETA:
      return {Key::super, KeySide::right};
    case KEY_CAPSLOCK:
      return {Key::capsLock, KeySide::unknown};
    case KEY_R:
      return {Key::r, KeySide::unknown};
    case KEY_V:
      return {Key::v, KeySide::unknown};
    default:
      return {};
  }
}

// Mouse, touchpad and joystick buttons share the key space between these codes.
bool isButton(unsigned code) {
  return code >= BTN_MISC && code < KEY_OK;
}

enum : int { keyUp = 0, keyDown = 1, keyRepeat = 2 };

}  // namespace

ModifierState EvdevKeyTranslator::held() const {
  ModifierState held;
  for (const auto& [device, codes] : modifiersDown_) {
    for (unsigned code : codes) {
      const PhysicalKey key = physicalKey(code);
      held.hold(key.key, key.side);
    }
  }
  return held;
}

EvdevKeyTranslator::Events EvdevKeyTranslator::translate(DeviceId device,
                                                         const input_event& record) {
  if (record.type == EV_SYN) {
    if (record.code == SYN_DROPPED) dropping_.insert(device);
    if (record.code == SYN_REPORT) dropping_.erase(device);
    return {};
  }
  if (record.type != EV_KEY || record.value == keyRepeat || dropping_.contains(device)) return {};
  const unsigned code = record.code;
  const bool down = record.value == keyDown;
  if (isButton(code)) {
    // A click while a modifier is held (Alt+drag, Ctrl+click) is a combination, never a tap.
    if (!down || held().empty()) return {};
    return {KeyEvent{KeyEventType::keyDown, Key::other, KeySide::unknown, held()}};
  }
  const PhysicalKey key = physicalKey(code);
  if (!isModifier(key.key)) {
    if (!down) return {};
    return {KeyEvent{KeyEventType::keyDown, key.key, key.side, held()}};
  }
  std::set<unsigned>& codes = modifiersDown_[device];
  const bool changed = down ? codes.insert(code).second : codes.erase(code) > 0;
  if (codes.empty()) modifiersDown_.erase(device);
  if (!changed) return {};
  return {KeyEvent{KeyEventType::modifierChanged, key.key, key.side, held()}};
}

EvdevKeyTranslator::Events EvdevKeyTranslator::release(DeviceId device,
                                                       const std::set<unsigned>& stillDown) {
  Events events;
  auto found = modifiersDown_.find(device);
  if (found == modifiersDown_.end()) return events;
  // Something the program never saw happened meanwhile: as if another key went down.
  events.push_back(KeyEvent{KeyEventType::keyDown, Key::other, KeySide::unknown, held()});
  const std::set<unsigned> codes = found->second;
  for (unsigned code : codes) {
    if (stillDown.contains(code)) continue;
    found->second.erase(code);
    const PhysicalKey key = physicalKey(code);
    events.push_back(KeyEvent{KeyEventType::modifierChanged, key.key, key.side, held()});
  }
  if (found->second.empty()) modifiersDown_.erase(found);
  return events;
}

EvdevKeyTranslator::Events EvdevKeyTranslator::deviceGone(DeviceId device) {
  dropping_.erase(device);
  return release(device, {});
}

EvdevKeyTranslator::Events EvdevKeyTranslator::resynchronise(DeviceId device,
                                                             const std::set<unsigned>& keysDown) {
  dropping_.erase(device);
  Events events = release(device, keysDown);
  std::set<unsigned> added;
  for (unsigned code : keysDown) {
    if (!isModifier(physicalKey(code).key)) continue;
    if (modifiersDown_[device].insert(code).second) added.insert(code);
  }
  if (modifiersDown_[device].empty()) modifiersDown_.erase(device);
  if (!added.empty() && events.empty()) {
    events.push_back(KeyEvent{KeyEventType::keyDown, Key::other, KeySide::unknown, held()});
  }
  for (unsigned code : added) {
    const PhysicalKey key = physicalKey(code);
    events.push_back(KeyEvent{KeyEventType::modifierChanged, key.key, key.side, held()});
  }
  return events;
}

std::vector<input_event> InputRecordStream::append(std::span<const std::byte> bytes) {
  partial_.insert(partial_.end(), bytes.begin(), bytes.end());
  const size_t whole = partial_.size() / sizeof(input_event);
  std::vector<input_event> records(whole);
  if (whole > 0) std::memcpy(records.data(), partial_.data(), whole * sizeof(input_event));
  partial_.erase(partial_.begin(),
                 partial_.begin() + static_cast<std::ptrdiff_t>(whole * sizeof(input_event)));
  return records;
}

}  // namespace wrenly
