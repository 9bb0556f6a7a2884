#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "messages/Messages.h"
#include "platform/HistoryStore.h"
#include "service/AccountStatus.h"
#include "text/OwnWords.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

// Where the dictation cycle stands.
enum class DictationPhase { idle, starting, recording, processing };

constexpr std::string_view name(DictationPhase phase) {
  switch (phase) {
    case DictationPhase::idle:
      return "idle";
    case DictationPhase::starting:
      return "starting";
    case DictationPhase::recording:
      return "recording";
    case DictationPhase::processing:
      return "processing";
  }
  return "?";
}

inline std::ostream& operator<<(std::ostream& out, DictationPhase phase) {
  return out << name(phase);
}

// Everything the controller publishes, as one value: the windows and the overlay draw from it.
// Observers receive a copy after each change.
struct DictationState {
  DictationPhase phase = DictationPhase::idle;
  std::string message = Messages::checkingService;  // the status line of the main window
  std::string lastText;                             // the most recent finished text
  float level = 0;                                  // microphone level for the meters
  bool triggerKeyAvailable = true;                  // the trigger key is installed and usable
  bool permissionGranted = false;                   // accessibility, as last checked
  std::string permissionFeedback;                   // result of the last explicit permission check
  bool setupComplete = false;                       // the trigger key was confirmed
  std::optional<TriggerKey> detectedTriggerKey;     // the key seen during set-up
  bool detectionLight = false;                      // lit briefly when a key is seen
  std::string overlayNotice;                        // the overlay's short notice
  std::optional<EngineInfo> engine;                 // the local service's, once it said
  std::optional<AccountStatus> accountStatus;       // none when signed out
  bool accessActive = false;                        // signed in with an active account
  bool serviceAvailable = false;                    // dictation may start
  bool serviceStatusLoaded = false;                 // the first credential check ended
  bool activationInProgress = false;                // a sign-in, sign-out or account removal runs
  bool localService = false;                        // the service signs in on its own page
  std::string activationFeedback;                   // progress or failure of the sign-in
  bool isEditingSelection = false;                  // the dictation rewrites selected text
  bool streamingConsent = false;                    // live recognition allowed
  bool hasRetryRecording = false;                   // a failed dictation's recording can be retried
  std::string triggerKeyTitle;                      // the installed trigger key's name (derived)
  // The user's own words (set once the controller is made; a new list is a new pointer) and
  // what their last change did.
  std::shared_ptr<const OwnWords> ownWords;
  std::string ownWordsNote;
  std::vector<HistoryEntry> history;  // the last dictations, newest first
  bool historyKeptOnDisk = false;     // the history survives a restart
  std::string interimText;  // the words heard so far while a live dictation records; never pasted
  TriggerMode triggerMode = TriggerMode::tap;  // as the user chose it
  bool holdAvailable = true;                   // the keys' presses reach the program
  bool heldToTalk = false;                     // the dictation ends when the key is let go

  friend bool operator==(const DictationState&, const DictationState&) = default;
};

}  // namespace wrenly
