#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "hotkey/MacRecordingShortcut.h"
#include "platform/KeyMonitor.h"

class FakeKeyMonitor;

// A keyboard performance written as key presses, played into a FakeKeyMonitor. The script works
// out the modifier flags word of every event from the keys it holds, as a keyboard would:
//
//   KeyEventScript()
//       .press(MacRecordingShortcut::leftShift)
//       .tap(MacRecordingShortcut::rightOption)  // press and release
//       .release(MacRecordingShortcut::leftShift)
//       .play(desktop.keyMonitor);
//
// Events go to the global scope unless `in(KeyMonitor::Scope::local)` says otherwise.
class KeyEventScript {
 public:
  struct Step {
    KeyMonitor::Scope scope;
    KeyEvent event;
  };

  // A key code that is no modifier (the E key).
  static constexpr uint16_t letter = 14;

  KeyEventScript& in(KeyMonitor::Scope scope);
  // From here on the flags carry family bits only, as some keyboards send.
  KeyEventScript& withoutDeviceBits();

  KeyEventScript& press(MacRecordingShortcut key);
  KeyEventScript& release(MacRecordingShortcut key);
  KeyEventScript& tap(MacRecordingShortcut key);
  // An ordinary key going down (letters, digits, a pointer click as KeyCode::other).
  KeyEventScript& type(uint16_t keyCode = letter);
  // A flags-changed event exactly as given.
  KeyEventScript& flagsChanged(uint16_t keyCode, uint64_t flags);

  const std::vector<Step>& steps() const { return steps_; }
  uint64_t currentFlags() const;
  void play(FakeKeyMonitor& monitor) const;

 private:
  KeyMonitor::Scope scope_ = KeyMonitor::Scope::global;
  bool deviceBits_ = true;
  std::set<MacRecordingShortcut> held_;
  std::vector<Step> steps_;
};
