#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "base/Subscription.h"
#include "platform/Asio.h"
#include "platform/ChordRegistrar.h"
#include "platform/KeyMonitor.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

class Accessibility;
struct Platform;

// Watches the keyboard system-wide and reports trigger keys: a modifier key pressed and released
// with no other key (modifier or not) going down meanwhile, and, when chosen, the Alt+Super+R
// chord. It reports a lone tap of any of the eight modifier keys, not only the chosen one; the
// caller decides what a report means. Lives on the main loop.
class TriggerKeyDetector {
 public:
  using Detected = std::function<void(TriggerKey)>;

  static constexpr TriggerChord chord{Key::r, ModifierState().hold(Key::alt).hold(Key::super)};

  // Borrows the main loop, accessibility, key monitor and chord registrar of `platform`; they
  // must outlive this object. Nothing is installed yet. `detected` is always called on the main
  // loop.
  TriggerKeyDetector(const Platform& platform, Detected detected);
  ~TriggerKeyDetector();
  TriggerKeyDetector(const TriggerKeyDetector&) = delete;
  TriggerKeyDetector& operator=(const TriggerKeyDetector&) = delete;

  // (Re)installs the monitors, and the chord when `selected` is the chord. False, with nothing
  // installed, without permission or when the desktop refused a monitor or the chord.
  bool install(TriggerKey selected);
  // Removes everything and forgets the keys held.
  void uninstall();

  // One modifier key's change, with the modifiers held after it.
  void modifierChanged(TriggerKey key, const ModifierState& modifiers);

  bool isInstalled() const { return static_cast<bool>(installation_); }
  const std::set<TriggerKey>& keysDown() const { return keysDown_; }
  const std::set<TriggerKey>& usedInCombination() const { return usedInCombination_; }

 private:
  void handle(const KeyEvent& event);

  asio::any_io_executor mainLoop_;
  Accessibility& accessibility_;
  KeyMonitor& keyMonitor_;
  ChordRegistrar& chords_;
  Detected detected_;

  Subscription globalMonitor_;
  Subscription localMonitor_;
  Subscription chordRegistration_;
  std::set<TriggerKey> keysDown_;
  std::set<TriggerKey> usedInCombination_;
  // Held weakly by every callback: events of an earlier installation, or arriving after this
  // object is gone, find it expired and are dropped.
  std::shared_ptr<int> installation_;
};

}  // namespace wrenly
