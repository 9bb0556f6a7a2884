#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <boost/system/system_error.hpp>
#include <memory>

#include "controller/TriggerKeySetup.h"
#include "delivery/TextDelivery.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/Workspace.h"
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

TriggerKeySetup::TriggerKeySetup(ControllerContext& context, std::function<void()> pressed,
                                 std::function<void(TriggerPress)> pressChanged,
                                 std::function<void(HoldAction)> held)
    : context_(context),
      pressed_(std::move(pressed)),
      pressChanged_(std::move(pressChanged)),
      held_(std::move(held)) {}

TriggerKeySetup::~TriggerKeySetup() = default;

std::string TriggerKeySetup::keyTitle() const {
  return std::string(installed_.value_or(TriggerKey::rightAlt).title());
}

bool TriggerKeySetup::rightAltUnavailable() const {
  return !context_.state.triggerKeyAvailable && installed_ == TriggerKey::rightAlt;
}

void TriggerKeySetup::refreshPermission(PermissionPrompt prompt, PermissionReport report) {
  auto& state = context_.state;
  ControllerChange change(context_);
  auto& insertion = context_.ports.insertion;
  if (prompt == PermissionPrompt::ifMissing && !insertion.hasAccessibility())
    insertion.requestAccessibility();
  const bool granted = insertion.hasAccessibility();
  const bool changed = granted != state.permissionGranted;
  state.permissionGranted = granted;
  if (report == PermissionReport::timed) {
    state.permissionFeedback =
        shortTime(context_.clock.wallTime()) +
        (granted ? Messages::permissionGranted : Messages::permissionStillMissing);
  }
  if (changed) {
    state.triggerKeyAvailable = false;
    install();
    return;
  }
  if (!granted || state.triggerKeyAvailable) return;
  install();
}

void TriggerKeySetup::install() {
  auto& state = context_.state;
  ControllerChange change(context_);
  TriggerKey chosen = TriggerKey::rightAlt;
  if (state.setupComplete) {
    if (auto stored = context_.settings.stringValue(TriggerKey::preference)) {
      chosen = TriggerKey::fromRawValue(*stored).value_or(TriggerKey::rightAlt);
    }
  }
  if (installed_ == chosen && state.triggerKeyAvailable &&
      context_.ports.insertion.hasAccessibility()) {
    return;
  }
  if (!detector_) {
    // The detector is owned here and ends with this object: its presses need no lifeline.
    detector_ = std::make_unique<TriggerKeyDetector>(
        context_.ports.platform, [this](TriggerKey key) { detected(key); },
        [this](TriggerPress press) { pressChanged(press); });
  }
  hold_.forget();  // a release the new installation misses must not end a later hold
  const bool ok = detector_->install(chosen);
  state.triggerKeyAvailable = ok;
  installed_ = chosen;
  state.triggerKeyTitle = keyTitle();
  if (!ok) {
    state.message = Messages::allowAccessibility;
  } else if (state.phase == DictationPhase::idle && state.serviceAvailable) {
    state.message = readyMessage();
  }
}

std::string TriggerKeySetup::readyMessage() const {
  return holdsToTalk() ? Messages::readyHeld(keyTitle()) : Messages::ready(keyTitle());
}

bool TriggerKeySetup::holdsToTalk() const {
  return context_.state.triggerMode == TriggerMode::hold && context_.state.holdAvailable;
}

void TriggerKeySetup::setMode(TriggerMode mode) {
  ControllerChange change(context_);
  context_.settings.setString(StoredNames::triggerModeKey, rawValue(mode));
  auto& state = context_.state;
  state.triggerMode = mode;
  hold_.forget();
  if (state.phase == DictationPhase::idle && state.serviceAvailable && state.triggerKeyAvailable)
    state.message = readyMessage();
}

void TriggerKeySetup::pressChanged(TriggerPress press) {
  // During set-up a press of the key is only being identified.
  if (!context_.state.setupComplete) return;
  const bool holding = holdsToTalk();
  // A tapped chord starts at once at its press, with no early destination to take.
  if (press != TriggerPress::released && (holding || installed_ != TriggerKey::optionCommandR))
    pressChanged_(press);
  if (holding) held_(hold_.on(press));
}

void TriggerKeySetup::detected(TriggerKey key) {
  auto& state = context_.state;
  if (state.setupComplete) {
    // Held to talk, the press and release of the key are what count.
    if (installed_ == key && !holdsToTalk()) pressed_();
    return;
  }
  ControllerChange change(context_);
  state.detectedTriggerKey = key;
  state.detectionLight = true;
  context_.spawn(dimDetectionLight(context_.owner, context_.clock, *this));
}

asio::awaitable<void> TriggerKeySetup::dimDetectionLight(std::weak_ptr<const void> owner,
                                                         Clock& clock, TriggerKeySetup& setup) {
  co_await pause(clock, detectionLightDuration);
  if (auto alive = owner.lock()) {
    ControllerChange change(setup.context_);
    setup.context_.state.detectionLight = false;
  }
}

void TriggerKeySetup::confirmDetected() {
  auto& state = context_.state;
  if (!state.permissionGranted || !state.detectedTriggerKey) return;
  ControllerChange change(context_);
  context_.settings.setString(TriggerKey::preference, state.detectedTriggerKey->rawValue());
  context_.settings.setBool(StoredNames::setupCompleteKey, true);
  state.setupComplete = true;
  install();
  state.message = Messages::setupDone(keyTitle());
}

void TriggerKeySetup::reset() {
  auto& state = context_.state;
  if (state.phase != DictationPhase::idle) return;
  ControllerChange change(context_);
  state.setupComplete = false;
  state.detectedTriggerKey.reset();
  state.detectionLight = false;
  // The stored key stays: confirming again overwrites it.
  context_.settings.setBool(StoredNames::setupCompleteKey, false);
  install();
}

void TriggerKeySetup::openAccessibilitySettings() {
  // On Linux asking is what switches the accessibility bus on.
  context_.ports.insertion.requestAccessibility();
  const std::string url = Messages::accessibilitySettingsURL;
  if (!url.empty()) context_.workspace.openURL(url);
}

}  // namespace wrenly
