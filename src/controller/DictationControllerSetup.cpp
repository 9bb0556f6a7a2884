#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <boost/system/system_error.hpp>
#include <memory>

#include "controller/ControllerChange.h"
#include "controller/DictationController.h"
#include "delivery/TextDelivery.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "triggerkey/TriggerKeyDetector.h"

namespace wrenly {

namespace {

// The time of day in the user's locale and time zone, in the locale's short style.
std::string shortTime(std::chrono::system_clock::time_point when) {
  const std::unique_ptr<icu::DateFormat> format(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, icu::Locale::getDefault()));
  if (!format) return {};
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  icu::UnicodeString text;
  format->format(static_cast<UDate>(milliseconds), text);
  std::string utf8;
  return text.toUTF8String(utf8);
}

}  // namespace

void DictationController::refreshPermission(PermissionPrompt prompt, PermissionReport report) {
  ControllerChange change(*this);
  auto& insertion = dependencies_.insertion;
  if (prompt == PermissionPrompt::ifMissing && !insertion.hasAccessibility())
    insertion.requestAccessibility();
  const bool granted = insertion.hasAccessibility();
  const bool changed = granted != state_.permissionGranted;
  state_.permissionGranted = granted;
  if (report == PermissionReport::timed) {
    state_.permissionFeedback =
        shortTime(clock_.wallTime()) +
        (granted ? Messages::permissionGranted : Messages::permissionStillMissing);
  }
  if (changed) {
    state_.triggerKeyAvailable = false;
    installHotkey();
    return;
  }
  if (!granted || state_.triggerKeyAvailable) return;
  installHotkey();
}

void DictationController::installHotkey() {
  ControllerChange change(*this);
  TriggerKey chosen = TriggerKey::rightAlt;
  if (state_.setupComplete) {
    if (auto stored = settings_.stringValue(TriggerKey::preference)) {
      chosen = TriggerKey::fromRawValue(*stored).value_or(TriggerKey::rightAlt);
    }
  }
  if (installedTriggerKey_ == chosen && state_.triggerKeyAvailable &&
      dependencies_.insertion.hasAccessibility()) {
    return;
  }
  if (!hotkey_) {
    hotkey_ = std::make_unique<TriggerKeyDetector>(dependencies_.platform,
                                                   [weak = weak_from_this()](TriggerKey key) {
                                                     if (auto self = weak.lock())
                                                       self->detectedKey(key);
                                                   });
  }
  const bool ok = hotkey_->install(chosen);
  state_.triggerKeyAvailable = ok;
  installedTriggerKey_ = chosen;
  if (!ok) {
    state_.message = Messages::allowAccessibility;
  } else if (state_.phase == Phase::idle && state_.serviceAvailable) {
    state_.message = Messages::ready(chosen.title());
  }
}

void DictationController::detectedKey(TriggerKey key) {
  if (state_.setupComplete) {
    if (installedTriggerKey_ == key) toggle();
    return;
  }
  ControllerChange change(*this);
  state_.detectedTriggerKey = key;
  state_.detectionLight = true;
  spawn(dimDetectionLight(weak_from_this(), clock_));
}

asio::awaitable<void> DictationController::dimDetectionLight(
    std::weak_ptr<DictationController> weak, Clock& clock) {
  co_await pause(clock, detectionLightDuration);
  if (auto self = weak.lock()) {
    ControllerChange change(*self);
    self->state_.detectionLight = false;
  }
}

void DictationController::confirmDetectedTriggerKey() {
  if (!state_.permissionGranted || !state_.detectedTriggerKey) return;
  ControllerChange change(*this);
  settings_.setString(TriggerKey::preference, state_.detectedTriggerKey->rawValue());
  settings_.setBool(setupCompleteKey, true);
  state_.setupComplete = true;
  installHotkey();
  state_.message = Messages::setupDone(keyTitle());
}

void DictationController::resetTriggerKeySetup() {
  if (state_.phase != Phase::idle) return;
  ControllerChange change(*this);
  state_.setupComplete = false;
  state_.detectedTriggerKey.reset();
  state_.detectionLight = false;
  // The stored key stays: confirming again overwrites it.
  settings_.setBool(setupCompleteKey, false);
  installHotkey();
}

void DictationController::openAccessibilitySettings() {
  // On Linux asking is what switches the accessibility bus on.
  dependencies_.insertion.requestAccessibility();
  const std::string url = Messages::accessibilitySettingsURL;
  if (!url.empty()) workspace_.openURL(url);
}

}  // namespace wrenly
