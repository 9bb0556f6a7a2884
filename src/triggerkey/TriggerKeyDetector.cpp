#include "triggerkey/TriggerKeyDetector.h"

#include <boost/asio/post.hpp>
#include <stdexcept>
#include <utility>

#include "base/Required.h"
#include "platform/Accessibility.h"
#include "platform/KeyInjector.h"
#include "platform/Platform.h"

namespace wrenly {

TriggerKeyDetector::TriggerKeyDetector(const Platform& platform, Detected detected,
                                       PressChanged pressChanged)
    : mainLoop_(platform.mainLoop),
      accessibility_(
          required(platform.accessibility, "TriggerKeyDetector", "accessibility service")),
      keyMonitor_(required(platform.keyMonitor, "TriggerKeyDetector", "key monitor")),
      keyInjector_(required(platform.keyInjector, "TriggerKeyDetector", "key injector")),
      chords_(required(platform.chords, "TriggerKeyDetector", "chord registrar")),
      detected_(std::move(detected)),
      pressChanged_(std::move(pressChanged)) {
  if (!mainLoop_) throw std::invalid_argument("TriggerKeyDetector needs the main loop");
}

TriggerKeyDetector::~TriggerKeyDetector() {
  uninstall();
}

bool TriggerKeyDetector::install(TriggerKey selected) {
  uninstall();
  // Watching other applications' keys needs the permission.
  if (!accessibility_.isTrusted()) return false;

  installation_ = std::make_shared<int>(0);
  std::weak_ptr<int> current = installation_;
  globalMonitor_ = keyMonitor_.monitor(KeyMonitor::Scope::global,
                                       [this, current, loop = mainLoop_](const KeyEvent& event) {
                                         // Any thread: only the event's values cross over to the
                                         // main loop.
                                         asio::post(loop, [this, current, event] {
                                           if (auto alive = current.lock()) handle(event);
                                         });
                                       });
  localMonitor_ =
      keyMonitor_.monitor(KeyMonitor::Scope::local, [this, current](const KeyEvent& event) {
        if (auto alive = current.lock()) handle(event);
      });
  if (!globalMonitor_ || !localMonitor_) {
    uninstall();
    return false;
  }
  installed_ = selected;
  if (selected != TriggerKey::optionCommandR) return true;

  auto changed = [this, current, loop = mainLoop_](bool down) {
    return [this, current, loop, down] {
      asio::post(loop, [this, current, down] {
        if (auto alive = current.lock()) chordChanged(down);
      });
    };
  };
  chordRegistration_ = chords_.registerChord(chord, changed(true), changed(false));
  if (!chordRegistration_) {
    uninstall();
    return false;
  }
  return true;
}

void TriggerKeyDetector::uninstall() {
  installation_.reset();
  globalMonitor_.reset();
  localMonitor_.reset();
  chordRegistration_.reset();
  keysDown_.clear();
  usedInCombination_.clear();
  installed_.reset();
  aloneSoFar_ = false;
  chordAlone_ = false;
}

void TriggerKeyDetector::chordChanged(bool down) {
  const bool wasAlone = std::exchange(chordAlone_, down);
  if (down) {
    if (pressChanged_) pressChanged_(TriggerPress::began);
    detected_(TriggerKey::optionCommandR);
  } else if (wasAlone && pressChanged_) {
    pressChanged_(TriggerPress::released);
  }
}

void TriggerKeyDetector::combine() {
  usedInCombination_.insert(keysDown_.begin(), keysDown_.end());
  if (!aloneSoFar_) return;
  aloneSoFar_ = false;
  if (pressChanged_) pressChanged_(TriggerPress::combined);
}

void TriggerKeyDetector::handle(const KeyEvent& event) {
  if (event.type == KeyEventType::keyDown) {
    // The chord's own key (and its repeats) is no other key.
    if (chordAlone_ && event.key != chord.key) {
      chordAlone_ = false;
      if (pressChanged_) pressChanged_(TriggerPress::combined);
    }
    // Whatever is held now was part of a shortcut.
    combine();
    return;
  }
  if (auto key = TriggerKey::fromModifierKey(event.key, event.side))
    modifierChanged(*key, event.held);
}

void TriggerKeyDetector::modifierChanged(TriggerKey key, const ModifierState& modifiers) {
  const bool deviceDown = modifiers.holds(*key.key(), key.side());
  const bool familyDown = modifiers.holds(*key.key());
  const bool held = keysDown_.contains(key);

  // Some keyboards do not say which side is held: then the kind alone says a key went down.
  if (deviceDown || (familyDown && !held)) {
    if (held) return;
    if (!keysDown_.empty()) {
      combine();
      usedInCombination_.insert(key);
      keysDown_.insert(key);
      return;
    }
    keysDown_.insert(key);
    if (key != installed_) return;
    aloneSoFar_ = true;
    // Before anyone else hears of the press: the applications must see the tap before the
    // user lets go.
    keyInjector_.tapUnusedKey();
    if (pressChanged_) pressChanged_(TriggerPress::began);
    return;
  }

  if (keysDown_.erase(key) == 0) return;
  const bool wasAlone = key == installed_ && std::exchange(aloneSoFar_, false);
  if (usedInCombination_.erase(key) != 0) return;  // it was part of a combination
  if (wasAlone && pressChanged_) pressChanged_(TriggerPress::released);
  detected_(key);
}

}  // namespace wrenly
