#pragma once

#include <cstdint>
#include <string>

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
  // Entries in the words file's form: typed (`fromFile` false) or an imported file's text.
  virtual void addOwnWords(std::string text, bool fromFile) = 0;
  virtual void removeOwnWord(std::string entryLine) = 0;
  // The history's entries go by the id the controller gave them.
  virtual void copyHistoryEntry(std::uint64_t id) = 0;
  virtual void pasteHistoryEntry(std::uint64_t id) = 0;
  virtual void clearHistory() = 0;
  virtual void keepHistoryOnDisk(bool keep) = 0;
  virtual void showDiagnostics() = 0;
  virtual void openPrivacyPage() = 0;
  virtual void quit() = 0;
};

}  // namespace wrenly
