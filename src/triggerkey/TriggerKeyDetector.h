#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "base/Subscription.h"
#include "platform/Asio.h"
#include "platform/ChordRegistrar.h"
#include "platform/KeyMonitor.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

class Accessibility;
class KeyInjector;
struct Platform;

// Watches the keyboard system-wide and reports trigger keys: a modifier key pressed and released
// with no other key (modifier or not) going down meanwhile, and, when chosen, the Alt+Super+R
// chord (at its press). It reports a lone tap of any of the eight modifier keys, not only the
// chosen one; the caller decides what a report means. The installed key's own press is followed
// from down to up as well, for holding it to talk: the chord's press begins alone, and a key
// other than its R or a click while it is held joins it. Lives on the main loop.
//
// Toolkits take a lone Alt for a request to focus the menu bar, at its release. So while the
// installed trigger key is held alone, the detector has an unused key tapped once: to the
// applications the trigger key was then used with another key, and its release does nothing.
// Only the installed key gets this, and only when it went down first: Alt+F typed with it still
// opens the File menu (the unused key types and names nothing), a plain Alt of the other side
// keeps its menu, and AltGr+e still types € (the tap happens before the e, and changes no
// level).
class TriggerKeyDetector {
 public:
  using Detected = std::function<void(TriggerKey)>;
  using PressChanged = std::function<void(TriggerPress)>;

  static constexpr TriggerChord chord{Key::r, ModifierState().hold(Key::alt).hold(Key::super)};

  // Borrows the main loop, accessibility, key monitor, key injector and chord registrar of
  // `platform`; they must outlive this object. Nothing is installed yet. `detected` and
  // `pressChanged` (which may be empty) are always called on the main loop.
  TriggerKeyDetector(const Platform& platform, Detected detected, PressChanged pressChanged = {});
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
  // The keys held now were used together.
  void combine();
  void chordChanged(bool down);

  asio::any_io_executor mainLoop_;
  Accessibility& accessibility_;
  KeyMonitor& keyMonitor_;
  KeyInjector& keyInjector_;
  ChordRegistrar& chords_;
  Detected detected_;
  PressChanged pressChanged_;

  Subscription globalMonitor_;
  Subscription localMonitor_;
  Subscription chordRegistration_;
  std::set<TriggerKey> keysDown_;
  std::set<TriggerKey> usedInCombination_;
  std::optional<TriggerKey> installed_;
  // The installed key is held and went down alone.
  bool aloneSoFar_ = false;
  // The chord is installed and held, with nothing else pressed since.
  bool chordAlone_ = false;
  // Held weakly by every callback: events of an earlier installation, or arriving after this
  // object is gone, find it expired and are dropped.
  std::shared_ptr<int> installation_;
};

}  // namespace wrenly
