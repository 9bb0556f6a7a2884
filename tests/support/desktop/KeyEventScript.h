#pragma once

#include <set>
#include <utility>
#include <vector>

#include "support/desktop/FakeKeyMonitor.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

// A keyboard performance written as key presses, played into a FakeKeyMonitor. The script works
// out the modifiers held at every event from the keys it holds, as a keyboard would:
//
//   KeyEventScript().press(leftShift).tap(rightAlt).release(leftShift).play(monitor);
//
// Events go to the global scope unless `in(KeyMonitor::Scope::local)` says otherwise.
class KeyEventScript {
 public:
  KeyEventScript& in(KeyMonitor::Scope scope) {
    scope_ = scope;
    return *this;
  }
  // From here on the held modifiers say their kind only, as some keyboards send.
  KeyEventScript& withoutDeviceBits() {
    deviceBits_ = false;
    return *this;
  }
  KeyEventScript& press(TriggerKey key) {
    held_.insert(key);
    return change(key.key().value_or(Key::other), key.side(), currentlyHeld());
  }
  KeyEventScript& release(TriggerKey key) {
    held_.erase(key);
    return change(key.key().value_or(Key::other), key.side(), currentlyHeld());
  }
  KeyEventScript& tap(TriggerKey key) { return press(key).release(key); }
  // An ordinary key going down.
  KeyEventScript& type(Key key = Key::other) {
    steps_.push_back({scope_, {KeyEventType::keyDown, key, KeySide::unknown, currentlyHeld()}});
    return *this;
  }
  // A modifier change exactly as given.
  KeyEventScript& change(Key key, KeySide side, ModifierState held) {
    steps_.push_back({scope_, {KeyEventType::modifierChanged, key, side, held}});
    return *this;
  }

  void play(FakeKeyMonitor& monitor) const {
    for (const auto& [scope, event] : steps_) monitor.send(scope, event);
  }

 private:
  ModifierState currentlyHeld() const {
    ModifierState held;
    for (auto key : held_) held.hold(*key.key(), deviceBits_ ? key.side() : KeySide::unknown);
    return held;
  }

  KeyMonitor::Scope scope_ = KeyMonitor::Scope::global;
  bool deviceBits_ = true;
  std::set<TriggerKey> held_;
  std::vector<std::pair<KeyMonitor::Scope, KeyEvent>> steps_;
};

}  // namespace wrenly
