#include "support/desktop/KeyEventScript.h"

#include "support/desktop/FakeKeyMonitor.h"

KeyEventScript& KeyEventScript::in(KeyMonitor::Scope scope) {
  scope_ = scope;
  return *this;
}

KeyEventScript& KeyEventScript::withoutDeviceBits() {
  deviceBits_ = false;
  return *this;
}

uint64_t KeyEventScript::currentFlags() const {
  uint64_t flags = 0;
  for (auto key : held_) {
    flags |= key.familyFlag();
    if (deviceBits_) flags |= key.deviceFlagMask();
  }
  return flags;
}

KeyEventScript& KeyEventScript::press(MacRecordingShortcut key) {
  held_.insert(key);
  return flagsChanged(key.keyCode().value_or(KeyCode::other), currentFlags());
}

KeyEventScript& KeyEventScript::release(MacRecordingShortcut key) {
  held_.erase(key);
  return flagsChanged(key.keyCode().value_or(KeyCode::other), currentFlags());
}

KeyEventScript& KeyEventScript::tap(MacRecordingShortcut key) {
  return press(key).release(key);
}

KeyEventScript& KeyEventScript::type(uint16_t keyCode) {
  steps_.push_back({scope_, {KeyEventType::keyDown, keyCode, currentFlags()}});
  return *this;
}

KeyEventScript& KeyEventScript::flagsChanged(uint16_t keyCode, uint64_t flags) {
  steps_.push_back({scope_, {KeyEventType::flagsChanged, keyCode, flags}});
  return *this;
}

void KeyEventScript::play(FakeKeyMonitor& monitor) const {
  for (const auto& step : steps_) monitor.send(step.scope, step.event);
}
