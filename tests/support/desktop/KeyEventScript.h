#pragma once

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "support/desktop/FakeKeyMonitor.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

// A keyboard performance written as key presses, played into a FakeKeyMonitor. The script works
// out the modifier flags word of every event from the keys it holds, as a keyboard would:
//
//   KeyEventScript().press(leftShift).tap(rightAlt).release(leftShift).play(monitor);
//
// Events go to the global scope unless `in(KeyMonitor::Scope::local)` says otherwise.
class KeyEventScript {
 public:
  static constexpr uint16_t letter = 14;  // a key code that is no modifier (the E key)

  KeyEventScript& in(KeyMonitor::Scope scope) {
    scope_ = scope;
    return *this;
  }
  // From here on the flags carry family bits only, as some keyboards send.
  KeyEventScript& withoutDeviceBits() {
    deviceBits_ = false;
    return *this;
  }
  KeyEventScript& press(TriggerKey key) {
    held_.insert(key);
    return flagsChanged(key.keyCode().value_or(KeyCode::other), currentFlags());
  }
  KeyEventScript& release(TriggerKey key) {
    held_.erase(key);
    return flagsChanged(key.keyCode().value_or(KeyCode::other), currentFlags());
  }
  KeyEventScript& tap(TriggerKey key) { return press(key).release(key); }
  // An ordinary key going down.
  KeyEventScript& type(uint16_t keyCode = letter) {
    steps_.push_back({scope_, {KeyEventType::keyDown, keyCode, currentFlags()}});
    return *this;
  }
  // A flags-changed event exactly as given.
  KeyEventScript& flagsChanged(uint16_t keyCode, uint64_t flags) {
    steps_.push_back({scope_, {KeyEventType::flagsChanged, keyCode, flags}});
    return *this;
  }

  void play(FakeKeyMonitor& monitor) const {
    for (const auto& [scope, event] : steps_) monitor.send(scope, event);
  }

 private:
  uint64_t currentFlags() const {
    uint64_t flags = 0;
    for (auto key : held_) flags |= key.familyFlag() | (deviceBits_ ? key.deviceFlagMask() : 0);
    return flags;
  }

  KeyMonitor::Scope scope_ = KeyMonitor::Scope::global;
  bool deviceBits_ = true;
  std::set<TriggerKey> held_;
  std::vector<std::pair<KeyMonitor::Scope, KeyEvent>> steps_;
};

}  // namespace wrenly
