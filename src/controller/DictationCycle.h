#pragma once

#include <boost/asio/cancellation_signal.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/ControllerContext.h"
#include "controller/DictationHistory.h"
#include "delivery/DeliveryResult.h"
#include "delivery/InputTarget.h"
#include "platform/Workspace.h"
#include "triggerkey/HoldGesture.h"
#include "triggerkey/TriggerKeyDetector.h"

namespace wrenly {

class AccountActions;
class NoticeTimer;
class TriggerKeySetup;

// The dictation cycle (idle, starting, recording, processing): the checks of a start, the
// microphone and its supervision, recognition, tidying and delivery, and the kept recording of
// a failed dictation. Owns the phase, the message while it runs, the texts, the level and the
// selection and retry flags of the state.
class DictationCycle {
 public:
  using Phase = DictationPhase;

  static constexpr std::size_t selectionLimit = 20000;  // UTF-16 code units
  static constexpr Clock::Duration recentTargetAgeLimit = std::chrono::seconds(30);
  static constexpr int microphoneAttempts = 4;
  static constexpr Clock::Duration microphoneRetryPause = std::chrono::milliseconds(300);
  static constexpr Clock::Duration supervisionPeriod = std::chrono::milliseconds(120);
  static constexpr int reconnectionLimit = 10;
  static constexpr Clock::Duration reconnectionPause = std::chrono::milliseconds(300);

  DictationCycle(ControllerContext& context, NoticeTimer& notices,
                 const TriggerKeySetup& triggerKey, AccountActions& account);
  ~DictationCycle();

  // Starts, stops or ignores (while starting or processing).
  void toggle();
  // A press of the trigger key began alone or was joined by another key. A press that may
  // start a dictation captures the destination at once: at its release, before the start
  // could, some applications move their focus (a lone Alt focuses the menu bar).
  void triggerPressChanged(TriggerPress press);
  // Holding the key to talk: its press starts, its release finishes, a tap or a shortcut
  // cancels what the press started.
  void hold(HoldAction action);
  void retryLastRecording();
  void copyLastText();
  void rememberDeactivatedApp(const RunningApplication& application);
  void setStreamingConsent(bool consent);
  // Drops the last text, the kept recording and the history.
  void forget();

  // The history: an entry copied, or pasted into the field in front (or the one the user just
  // left for this program's window) as a dictation's text is; emptied; kept on disk or not.
  void copyHistoryEntry(std::uint64_t id);
  void pasteHistoryEntry(std::uint64_t id);
  void clearHistory();
  void keepHistoryOnDisk(bool keep);

 private:
  struct RetryRecording {
    std::shared_ptr<const std::vector<std::uint8_t>> wav;
    std::optional<SelectedText> selection;
    std::optional<std::string> recoveryID;
  };
  struct RecentTarget {
    InputTarget value;
    Clock::Duration savedAt{};  // Clock::now()
  };
  struct Processing;
  // What a trigger press that may start a dictation found when it went down.
  struct PressCapture {
    std::optional<SelectedText> selection;
    InputTarget target;
  };
  // One dictation, from the press that starts it until processing takes it over.
  struct DictationRun {
    std::optional<InputTarget> target;
    std::optional<SelectedText> selection;
    std::shared_ptr<StreamingSession> liveSession;
    std::shared_ptr<asio::cancellation_signal> meterTask;
    std::optional<Clock::Duration> beganAt;  // Clock::now() when recording began
    bool letGo = false;                      // the key was let go before the recording began
  };

  // The trigger key or the record button: starts, stops or ignores.
  void press(bool held);
  asio::awaitable<void> start(std::weak_ptr<const void> weak);
  // The named steps of a start.
  bool refusesStart();
  bool passStartChecks(const std::optional<RunningApplication>& before,
                       std::optional<PressCapture> early);
  std::shared_ptr<StreamingSession> openLiveSession();
  void beginRecording();
  void refuse(const std::string& message, const std::string& notice);
  // Ends a start (or a recording that cannot go on) at idle with a refusal.
  void endStart(const std::string& message, const std::string& notice);
  void microphoneFailed(const std::exception_ptr& error);
  void dropSelection();
  bool frontmostHasSecureField();
  std::string recordingMessage() const;
  asio::awaitable<void> supervise(std::weak_ptr<const void> weak, Clock& clock,
                                  std::shared_ptr<asio::cancellation_signal> cancel);
  void stop();
  // Ends the dictation without a trace: the audio dropped, nothing sent, the overlay gone.
  void abandon();
  // A held key was let go while the start ran: it ends there, quietly.
  bool letGoWhileStarting();
  void process(std::shared_ptr<const std::vector<std::uint8_t>> wav,
               std::optional<InputTarget> destination, std::optional<SelectedText> selection,
               std::shared_ptr<StreamingSession> stream, std::optional<std::string> recoveryID);
  asio::awaitable<void> runProcessing(std::shared_ptr<const void> self,
                                      std::shared_ptr<Processing> job);
  asio::awaitable<void> deliver(std::shared_ptr<Processing> job, std::string out,
                                bool cleanupIncomplete);
  void failProcessing(const Processing& job, const std::exception_ptr& error);
  // The message and notice of a delivery's outcome; back to idle.
  void reportDelivery(DeliveryResult result);
  // The field a request from the window goes to: the front application's, else the one the
  // user left for the window (however long ago), unless a password field is in front.
  std::optional<InputTarget> fieldForWindowRequest();
  void remember(const std::string& text, const std::optional<InputTarget>& destination);
  void publishHistory();
  asio::awaitable<void> paste(std::shared_ptr<const void> self, std::string text,
                              std::optional<InputTarget> destination);
  std::string keyTitle() const;

  ControllerContext& context_;
  NoticeTimer& notices_;
  const TriggerKeySetup& triggerKey_;
  AccountActions& account_;
  DictationState& state_;
  Clock& clock_;
  Workspace& workspace_;

  std::optional<RetryRecording> retryRecording_;
  std::optional<RecentTarget> recentTarget_;
  std::optional<PressCapture> pressCapture_;
  DictationRun run_;
  DictationHistory history_{context_.settings, context_.ports.platform.history};
};

}  // namespace wrenly
