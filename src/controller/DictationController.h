#pragma once

#include <boost/asio/cancellation_signal.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Subscription.h"
#include "controller/DictationState.h"
#include "controller/StreamingSession.h"
#include "delivery/InputTarget.h"
#include "platform/Asio.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Workspace.h"
#include "triggerkey/TriggerKey.h"

namespace wrenly {

class BrowserSignIn;
class Recorder;
class TriggerKeyDetector;
class TextDelivery;
class SpeechServiceClient;

// The one controller of the program: it owns every piece of state the windows and the overlay
// show, runs the dictation cycle (idle, starting, recording, processing) and drives the
// recorder, the streaming and service clients, target capture and delivery, the trigger key and
// the account actions.
//
// There is exactly one per program, made by the application and handed to whoever needs it;
// it is held by shared_ptr so its waiting tasks can tell whether it still exists.
//
// Threads: every member is called on the main loop (Platform::mainLoop) and every task runs
// there, so the state needs no lock. Observers are called there too, after each change; a shell
// with its own GUI thread posts the state it receives over.
class DictationController : public std::enable_shared_from_this<DictationController> {
 public:
  using Phase = DictationPhase;
  using State = DictationState;
  using Observer = std::function<void(const State&)>;

  // What the controller drives; all borrowed, and all must outlive it. The platform must
  // provide mainLoop, background, clock, settings, workspace and overlay, plus the desktop
  // ports the trigger key needs (accessibility, key monitor, chord registrar).
  struct Dependencies {
    const Platform& platform;
    SpeechServiceClient& service;
    TextDelivery& insertion;
    Recorder& recorder;
    BrowserSignIn& appleLogin;
    // Opens live sessions; without one, every dictation is recognised after it stops.
    StreamingSessionFactory openStreamingSession;
  };

  static constexpr const char* setupCompleteKey = "macShortcutSetupComplete";
  static constexpr const char* streamingConsentKey = "macStreamingConsentV1";

  static constexpr std::size_t selectionLimit = 20000;  // UTF-16 code units
  static constexpr Clock::Duration recentTargetAgeLimit = std::chrono::seconds(30);
  static constexpr int microphoneAttempts = 4;
  static constexpr Clock::Duration microphoneRetryPause = std::chrono::milliseconds(300);
  static constexpr Clock::Duration supervisionPeriod = std::chrono::milliseconds(120);
  static constexpr int reconnectionLimit = 10;
  static constexpr Clock::Duration reconnectionPause = std::chrono::milliseconds(300);
  static constexpr Clock::Duration noticeDuration = std::chrono::seconds(3);
  static constexpr Clock::Duration detectionLightDuration = std::chrono::milliseconds(700);

  // Whether a permission check asks the desktop to grant a missing permission, and whether it
  // reports its result (with the time) in the set-up window.
  enum class PermissionPrompt { none, ifMissing };
  enum class PermissionReport { none, timed };

  // Reads the two stored preferences and the permission; starts nothing.
  static std::shared_ptr<DictationController> make(Dependencies dependencies);
  ~DictationController();
  DictationController(const DictationController&) = delete;
  DictationController& operator=(const DictationController&) = delete;

  // --- published state ---
  const State& state() const { return state_; }
  // `observer` receives the whole state after each change until the subscription ends.
  [[nodiscard]] Subscription observe(Observer observer);

  // --- the dictation cycle ---
  // The trigger key and the main window's record button: starts, stops or is ignored.
  void toggle();
  // Runs the kept recording of a failed dictation through recognition again.
  void retryLastRecording();
  void copyLastText();
  // The desktop reports the application the user just left.
  void rememberDeactivatedApp(const RunningApplication& application);
  void setStreamingConsent(bool consent);

  // --- set-up and permission ---
  void refreshPermission(PermissionPrompt prompt, PermissionReport report);
  void installHotkey();
  void confirmDetectedTriggerKey();
  void resetTriggerKeySetup();
  void openAccessibilitySettings();
  std::string shortcutTitle() const;

  // --- service state and account actions ---
  // Starts a credential check on the background pool; returns at once.
  void refreshServiceState();
  // The awaitable actions run on the main loop (co_spawn them on Platform::mainLoop).
  asio::awaitable<void> updateAccountStatus();
  asio::awaitable<void> signIn();
  // Ends a sign-in that waits for the browser, as cancelled.
  void cancelSignIn();
  asio::awaitable<void> signOut();
  asio::awaitable<void> removeAccess();

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
  // One dictation, from the press that starts it until processing takes it over.
  struct DictationRun {
    std::optional<InputTarget> target;
    std::optional<SelectedText> selection;
    std::shared_ptr<StreamingSession> liveSession;
    std::shared_ptr<asio::cancellation_signal> meterTask;
    std::optional<Clock::Duration> beganAt;  // Clock::now() when recording began
  };

  explicit DictationController(Dependencies dependencies);

  friend class ControllerChange;
  // Tells the observers when the state differs from what they saw last.
  void publish();
  void spawn(asio::awaitable<void> task);

  // Dictation.
  asio::awaitable<void> start(std::weak_ptr<DictationController> weak);
  // The named steps of a start.
  bool refusesStart();
  bool passStartChecks(const std::optional<RunningApplication>& before);
  std::shared_ptr<StreamingSession> openLiveSession();
  void beginRecording();
  void refuse(const std::string& message, const std::string& notice);
  // Ends a start (or a recording that cannot go on) at idle with a refusal.
  void endStart(const std::string& message, const std::string& notice);
  void microphoneFailed(const std::exception_ptr& error);
  void dropSelection();
  bool frontmostHasSecureField();
  std::string recordingMessage() const;
  asio::awaitable<void> supervise(std::weak_ptr<DictationController> weak, Clock& clock,
                                  std::shared_ptr<asio::cancellation_signal> cancel);
  void stop();
  void process(std::shared_ptr<const std::vector<std::uint8_t>> wav,
               std::optional<InputTarget> destination, std::optional<SelectedText> selection,
               std::shared_ptr<StreamingSession> stream, std::optional<std::string> recoveryID);
  asio::awaitable<void> runProcessing(std::shared_ptr<DictationController> self,
                                      std::shared_ptr<Processing> job);
  asio::awaitable<void> deliver(std::shared_ptr<Processing> job, std::string out,
                                bool cleanupIncomplete);
  void failProcessing(const Processing& job, const std::exception_ptr& error);
  std::string keyTitle() const;

  // Notices.
  void showNotice(const std::string& text);
  // Hides the overlay when nothing is left for it to show: at idle, with no notice current.
  void hideOverlayWhenUnused();
  static asio::awaitable<void> hideNoticeLater(std::weak_ptr<DictationController> weak,
                                               Clock& clock, std::string id);
  static asio::awaitable<void> dimDetectionLight(std::weak_ptr<DictationController> weak,
                                                 Clock& clock);

  // Set-up.
  void detectedKey(TriggerKey key);

  // Service state.
  static asio::awaitable<void> checkService(std::weak_ptr<DictationController> weak,
                                            SpeechServiceClient& service,
                                            asio::any_io_executor background);
  void finishServiceRefresh(bool active, bool available);
  // The account actions' bodies; the public calls hold the controller from the moment they are
  // made, since a coroutine's body runs only once it is awaited.
  asio::awaitable<void> updateAccountStatus(std::shared_ptr<DictationController> self);
  asio::awaitable<void> signIn(std::shared_ptr<DictationController> self);
  asio::awaitable<void> signOut(std::shared_ptr<DictationController> self);
  asio::awaitable<void> removeAccess(std::shared_ptr<DictationController> self);
  // Runs one account call with activationInProgress set around it; returns its failure.
  asio::awaitable<std::exception_ptr> runAccountCall(asio::awaitable<void> call);

  Dependencies dependencies_;
  asio::any_io_executor mainLoop_;
  Clock& clock_;
  Settings& settings_;
  Workspace& workspace_;
  Overlay& overlay_;

  State state_;
  State published_;
  std::map<std::uint64_t, Observer> observers_;
  std::uint64_t nextObserver_ = 0;
  int changeDepth_ = 0;

  std::optional<RetryRecording> retryRecording_;
  std::unique_ptr<TriggerKeyDetector> hotkey_;
  std::optional<TriggerKey> installedTriggerKey_;
  std::optional<std::string> noticeID_;  // the notice on screen, until its time is over
  std::optional<RecentTarget> recentTarget_;
  DictationRun run_;
  bool refreshInProgress_ = false;
};

}  // namespace wrenly
