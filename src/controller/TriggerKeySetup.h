#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/ControllerContext.h"
#include "triggerkey/HoldGesture.h"
#include "triggerkey/TriggerKey.h"
#include "triggerkey/TriggerKeyDetector.h"

namespace wrenly {

// The accessibility permission and the trigger key: installing it, detecting and confirming the
// user's key during set-up, and handing presses of the confirmed key on. Owns the permission,
// set-up and detection parts of the state and the key's title.
class TriggerKeySetup {
 public:
  static constexpr Clock::Duration detectionLightDuration = std::chrono::milliseconds(700);

  // Whether a permission check asks the desktop to grant a missing permission, and whether it
  // reports its result (with the time) in the set-up window.
  enum class PermissionPrompt { none, ifMissing };
  enum class PermissionReport { none, timed };

  // `pressed` runs for each tap of the confirmed key; `pressChanged` as such a press begins
  // alone or is joined by another key; `held` with what a hold to talk asks for, in that mode.
  TriggerKeySetup(ControllerContext& context, std::function<void()> pressed,
                  std::function<void(TriggerPress)> pressChanged,
                  std::function<void(HoldAction)> held);
  ~TriggerKeySetup();

  void refreshPermission(PermissionPrompt prompt, PermissionReport report);
  void install();
  void confirmDetected();
  void reset();
  void openAccessibilitySettings();
  void setMode(TriggerMode mode);

  std::string keyTitle() const;
  // The status line at rest: how to start with the installed key, tapped or held.
  std::string readyMessage() const;
  // The key is held to talk: chosen so, and the keys' presses reach the program.
  bool holdsToTalk() const;
  // The right Alt key is installed and cannot be used without accessibility.
  bool rightAltUnavailable() const;

 private:
  void detected(TriggerKey key);
  void pressChanged(TriggerPress press);
  static asio::awaitable<void> dimDetectionLight(std::weak_ptr<const void> owner, Clock& clock,
                                                 TriggerKeySetup& setup);

  ControllerContext& context_;
  std::function<void()> pressed_;
  std::function<void(TriggerPress)> pressChanged_;
  std::function<void(HoldAction)> held_;
  HoldGesture hold_{context_.clock};
  std::unique_ptr<TriggerKeyDetector> detector_;
  std::optional<TriggerKey> installed_;
};

}  // namespace wrenly
