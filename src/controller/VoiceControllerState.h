#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "hotkey/MacRecordingShortcut.h"
#include "messages/Messages.h"
#include "service/MacAccountStatus.h"

namespace wrenly {

// Where the dictation cycle stands.
enum class VoicePhase { idle, starting, recording, processing };

constexpr std::string_view name(VoicePhase phase) {
  switch (phase) {
    case VoicePhase::idle:
      return "idle";
    case VoicePhase::starting:
      return "starting";
    case VoicePhase::recording:
      return "recording";
    case VoicePhase::processing:
      return "processing";
  }
  return "?";
}

inline std::ostream& operator<<(std::ostream& out, VoicePhase phase) {
  return out << name(phase);
}

// Everything the controller publishes, as one value: the windows and the overlay draw from it.
// Observers receive a copy after each change.
struct VoiceControllerState {
  VoicePhase phase = VoicePhase::idle;
  std::string message = Messages::checkingService;  // the status line of the main window
  std::string lastText;                             // the most recent finished text
  float level = 0;                                  // microphone level for the meters
  bool hotkeyAvailable = true;                      // the trigger key is installed and usable
  bool permissionGranted = false;                   // accessibility, as last checked
  std::string permissionFeedback;                   // result of the last explicit permission check
  bool setupComplete = false;                       // the trigger key was confirmed
  std::optional<MacRecordingShortcut> detectedShortcut;  // the key seen during set-up
  bool detectionLight = false;                           // lit briefly when a key is seen
  std::string hudNotice;                                 // the overlay's short notice
  std::optional<MacAccountStatus> accountStatus;         // none when signed out
  bool accessActive = false;                             // signed in with an active account
  bool serviceAvailable = false;                         // dictation may start
  bool serviceStatusLoaded = false;                      // the first credential check ended
  bool activationInProgress = false;  // a sign-in, sign-out or account removal runs
  std::string activationFeedback;     // progress or failure of the sign-in
  bool isEditingSelection = false;    // the dictation rewrites selected text
  bool streamingConsent = false;      // live recognition allowed
  bool hasRetryRecording = false;     // a failed dictation's recording can be retried
  std::string shortcutTitle;          // the installed trigger key's name (derived)

  friend bool operator==(const VoiceControllerState&, const VoiceControllerState&) = default;
};

}  // namespace wrenly
