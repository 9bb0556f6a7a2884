#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "hotkey/MacRecordingShortcut.h"
#include "platform/Asio.h"
#include "platform/HotKeyRegistrar.h"
#include "platform/KeyMonitor.h"
#include "platform/Subscription.h"

namespace wrenly {

class Accessibility;
struct Platform;

// Watches the keyboard system-wide and reports trigger keys: a modifier key pressed and released
// with no other key (modifier or not) going down meanwhile, and, when chosen, the Alt+Super+R
// chord. It reports a lone tap of any of the eight modifier keys, not only the chosen one; the
// caller decides what a report means. Lives on the main loop.
class MacHotKey {
 public:
  using Detected = std::function<void(MacRecordingShortcut)>;

  static constexpr HotKeyChord chord{KeyCode::r, ModifierFlag::option | ModifierFlag::command};

  // Borrows the main loop, accessibility, key monitor and hot-key registrar of `platform`; they
  // must outlive this object. Nothing is installed yet. `detected` is always called on the main
  // loop.
  MacHotKey(const Platform& platform, Detected detected);
  ~MacHotKey();
  MacHotKey(const MacHotKey&) = delete;
  MacHotKey& operator=(const MacHotKey&) = delete;

  // (Re)installs the monitors, and the chord when `selected` is the chord. False, with nothing
  // installed, without permission or when the desktop refused a monitor or the chord.
  bool install(MacRecordingShortcut selected);
  // Removes everything and forgets the keys held.
  void uninstall();

  // One modifier key's change, with the flags word after it.
  void modifierChanged(MacRecordingShortcut key, uint64_t flags);

  bool isInstalled() const { return static_cast<bool>(installation_); }
  const std::set<MacRecordingShortcut>& keysDown() const { return keysDown_; }
  const std::set<MacRecordingShortcut>& usedInCombination() const { return usedInCombination_; }

 private:
  void handle(const KeyEvent& event);

  asio::any_io_executor mainLoop_;
  Accessibility& accessibility_;
  KeyMonitor& keyMonitor_;
  HotKeyRegistrar& hotKeys_;
  Detected detected_;

  Subscription globalMonitor_;
  Subscription localMonitor_;
  Subscription chordRegistration_;
  std::set<MacRecordingShortcut> keysDown_;
  std::set<MacRecordingShortcut> usedInCombination_;
  // Held weakly by every callback: events of an earlier installation, or arriving after this
  // object is gone, find it expired and are dropped.
  std::shared_ptr<int> installation_;
};

}  // namespace wrenly
