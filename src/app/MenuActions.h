#pragma once

#include "triggerkey/TriggerKey.h"

namespace wrenly {

// What the window's controls do. The program posts each action to the controller's loop (or
// performs it on the desktop); tests record them.
class MenuActions {
 public:
  virtual ~MenuActions() = default;

  virtual void openAccessibilitySettings() = 0;
  // An explicit permission check whose result is reported in the set-up view.
  virtual void recheckPermission() = 0;
  virtual void confirmDetectedTriggerKey() = 0;
  virtual void toggle() = 0;
  virtual void resetTriggerKeySetup() = 0;
  virtual void setTriggerMode(TriggerMode mode) = 0;
  virtual void retryLastRecording() = 0;
  virtual void signIn() = 0;
  virtual void signOut() = 0;
  virtual void removeAccess() = 0;
  virtual void requestAccessibility() = 0;
  virtual void setStreamingConsent(bool consent) = 0;
  virtual void copyLastText() = 0;
  virtual void showDiagnostics() = 0;
  virtual void openPrivacyPage() = 0;
  virtual void quit() = 0;
};

}  // namespace wrenly
