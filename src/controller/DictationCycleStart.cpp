#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/system/system_error.hpp>
#include <utility>

#include "audio/Recorder.h"
#include "audio/RecorderError.h"
#include "base/Uuid.h"
#include "controller/AccountActions.h"
#include "controller/DictationCycle.h"
#include "controller/NoticeTimer.h"
#include "controller/TriggerKeySetup.h"
#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Overlay.h"
#include "platform/Settings.h"
#include "service/BackgroundCall.h"
#include "service/SpeechService.h"
#include "text/VoiceLanguage.h"

namespace wrenly {

namespace {

// Length in UTF-16 code units, the unit the selection limit is stated in: characters outside
// the Basic Multilingual Plane count twice.
std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (const unsigned char byte : utf8) {
    if ((byte & 0xC0) != 0x80) ++units;  // a character starts here
    if (byte >= 0xF0) ++units;           // and needs a surrogate pair
  }
  return units;
}

// The recorder's limit, as a duration.
const Clock::Duration maximumRecording = std::chrono::duration_cast<Clock::Duration>(
    std::chrono::duration<double>(Recorder::maximumDuration));

}  // namespace

DictationCycle::DictationCycle(ControllerContext& context, NoticeTimer& notices,
                               const TriggerKeySetup& triggerKey, AccountActions& account)
    : context_(context),
      notices_(notices),
      triggerKey_(triggerKey),
      account_(account),
      state_(context.state),
      clock_(context.clock),
      workspace_(context.workspace) {
  publishHistory();
}

DictationCycle::~DictationCycle() = default;

std::string DictationCycle::keyTitle() const {
  return triggerKey_.keyTitle();
}

void DictationCycle::toggle() {
  press(false);
}

void DictationCycle::press(bool held) {
  ControllerChange change(context_);
  if (!state_.permissionGranted || !state_.setupComplete) {
    state_.message = Messages::finishSetupFirst;
    return;
  }
  switch (state_.phase) {
    case Phase::idle:
      state_.heldToTalk = held;
      run_.letGo = false;
      context_.spawn(start(context_.owner));
      break;
    case Phase::recording:
      stop();
      break;
    case Phase::starting:
    case Phase::processing:
      // A press while the microphone opens or the text is processed is ignored.
      break;
  }
}

void DictationCycle::triggerPressChanged(TriggerPress press) {
  pressCapture_.reset();
  // Stopping needs no destination.
  if (press != TriggerPress::began || state_.phase != Phase::idle || !state_.permissionGranted)
    return;
  auto& insertion = context_.ports.insertion;
  auto selection = insertion.captureSelection();
  auto target = selection ? std::optional(selection->target) : insertion.captureTarget();
  if (target && target->focusedElement) pressCapture_ = PressCapture{selection, *target};
}

void DictationCycle::hold(HoldAction action) {
  // A second press stops a recording as a tap would: one started otherwise, or a held one
  // whose release went unseen.
  if (action == HoldAction::start) return press(true);
  if (action == HoldAction::none || !state_.heldToTalk) return;
  if (state_.phase == Phase::recording) {
    action == HoldAction::finish ? stop() : abandon();
  } else if (state_.phase != Phase::processing) {
    run_.letGo = true;  // the start may not have run yet
  }
}

void DictationCycle::abandon() {
  ControllerChange change(context_);
  if (run_.meterTask) run_.meterTask->emit(asio::cancellation_type::terminal);
  run_.meterTask.reset();
  context_.ports.recorder.stop();
  if (run_.liveSession) run_.liveSession->cancel();
  run_.liveSession.reset();
  run_.target.reset();
  dropSelection();
  state_.level = 0;
  state_.phase = Phase::idle;
  state_.message = triggerKey_.readyMessage();
  notices_.hideWhenUnused();
}

bool DictationCycle::letGoWhileStarting() {
  if (!run_.letGo) return false;
  abandon();
  return true;
}

void DictationCycle::rememberDeactivatedApp(const RunningApplication& application) {
  // This program never remembers itself: the process decides first, and two applications the
  // desktop has no id for are not thereby the same one.
  if (application.processID == workspace_.ownProcessID()) return;
  const auto own = workspace_.ownApplicationID();
  if (application.applicationID && own && *application.applicationID == *own) return;
  auto target = context_.ports.insertion.captureTarget(application.processID);
  if (!target || !target->focusedElement) return;
  recentTarget_ = RecentTarget{std::move(*target), clock_.now()};
}

void DictationCycle::copyLastText() {
  if (state_.lastText.empty()) return;
  ControllerChange change(context_);
  // Claiming a copy that did not happen would send the user to paste something else.
  state_.message = context_.ports.insertion.copy(state_.lastText) ? Messages::copiedLastText
                                                                  : Messages::copyFailed;
}

void DictationCycle::setStreamingConsent(bool consent) {
  ControllerChange change(context_);
  state_.streamingConsent = consent;
  context_.settings.setBool(StoredNames::streamingConsentKey, consent);
}

void DictationCycle::forget() {
  state_.lastText.clear();
  retryRecording_.reset();
  state_.hasRetryRecording = false;
  history_.clear();
  publishHistory();
}

std::string DictationCycle::recordingMessage() const {
  if (state_.heldToTalk) {
    return state_.isEditingSelection ? Messages::editingSelectionHeld(keyTitle())
                                     : Messages::recordingHeld(keyTitle());
  }
  if (state_.isEditingSelection) return Messages::editingSelection(keyTitle());
  return Messages::recording(keyTitle());
}

void DictationCycle::refuse(const std::string& message, const std::string& notice) {
  ControllerChange change(context_);
  state_.message = message;
  notices_.show(notice);
}

void DictationCycle::dropSelection() {
  run_.selection.reset();
  state_.isEditingSelection = false;
}

bool DictationCycle::frontmostHasSecureField() {
  const auto front = workspace_.frontmostApplication();
  if (!front || front->processID == workspace_.ownProcessID()) return false;
  auto& insertion = context_.ports.insertion;
  return insertion.hasAccessibility() &&
         TextDelivery::isSecure(insertion.focusedElement(front->processID));
}

bool DictationCycle::passStartChecks(const std::optional<RunningApplication>& before,
                                     std::optional<PressCapture> early) {
  ControllerChange change(context_);
  auto& insertion = context_.ports.insertion;
  state_.phase = Phase::idle;
  const auto after = workspace_.frontmostApplication();
  const bool sameFocus =
      (!before && !after) || (before && after && before->processID == after->processID);
  if (!sameFocus) {
    state_.message = Messages::focusChanged;
    // No notice of its own: a notice that ran out while this start prepared left the overlay.
    notices_.hideWhenUnused();
    return false;
  }

  // What the press found stands, unless the front application changed since.
  if (early && after && early->target.processID != after->processID) early.reset();
  run_.selection = early ? early->selection : insertion.captureSelection();
  if (run_.selection && utf16Length(run_.selection->text) > selectionLimit) {
    dropSelection();
    refuse(Messages::selectionTooLong, Messages::selectionTooLongNotice);
    return false;
  }
  state_.isEditingSelection = run_.selection.has_value();

  run_.target = run_.selection ? std::optional(run_.selection->target)
                : early        ? std::optional(early->target)
                               : insertion.captureTarget();
  // The field the user left a moment ago stands in for a front application without one, but
  // never for a password field in front: the text would go to another application.
  if (!run_.target && recentTarget_ &&
      clock_.now() - recentTarget_->savedAt < recentTargetAgeLimit && !frontmostHasSecureField()) {
    run_.target = recentTarget_->value;
  }
  if (!run_.target) {
    dropSelection();
    refuse(Messages::noField(keyTitle()), Messages::noFieldNotice);
    return false;
  }

  state_.phase = Phase::starting;
  state_.message = Messages::openingMicrophone;
  notices_.showActivity(OverlaySnapshot::Activity::starting);
  return true;
}

void DictationCycle::endStart(const std::string& message, const std::string& notice) {
  ControllerChange change(context_);
  if (run_.liveSession) run_.liveSession->cancel();
  run_.liveSession.reset();
  state_.phase = Phase::idle;
  dropSelection();
  refuse(message, notice);
}

void DictationCycle::microphoneFailed(const std::exception_ptr& error) {
  endStart(error ? describe(error, Messages::microphoneNotStarted)
                 : describe(RecorderError::unavailable()),
           Messages::microphoneNotStarted);
}

bool DictationCycle::refusesStart() {
  if (state_.phase != Phase::idle) return true;
  // An account action owns the account until it ends: a dictation finishing meanwhile would
  // write its text and recording back after an account removal cleared them. A sign-in can
  // take minutes, so the press is answered.
  if (state_.activationInProgress) {
    refuse(Messages::accountActionRunning, Messages::accountActionRunningNotice);
    return true;
  }
  if (!state_.serviceAvailable) {
    refuse(Messages::signInWording(state_.localService).prompt, Messages::enableServiceNotice);
    return true;
  }
  return false;
}

std::shared_ptr<StreamingSession> DictationCycle::openLiveSession() {
  run_.liveSession.reset();
  try {
    run_.liveSession = context_.ports.openStreamingSession(
        makeUuid(), std::string(VoiceLanguage(VoiceLanguage::automatic).rawValue()),
        !state_.isEditingSelection, vocabularyHint(*state_.ownWords));
  } catch (const std::exception& error) {
    // Recognition after the recording still works.
    Diagnostics::record("stream open failed " + Diagnostics::errorCode(error));
  }
  return run_.liveSession;
}

void DictationCycle::beginRecording() {
  {
    ControllerChange change(context_);
    state_.phase = Phase::recording;
    run_.beganAt = clock_.now();
    state_.message = recordingMessage();
  }
  auto cancel = std::make_shared<asio::cancellation_signal>();
  run_.meterTask = cancel;
  asio::co_spawn(
      context_.mainLoop, supervise(context_.owner, clock_, cancel),
      asio::bind_cancellation_slot(cancel->slot(), [](std::exception_ptr failure) {
        if (failure) {
          Diagnostics::record("controller task failed " + Diagnostics::errorCode(failure));
        }
      }));
}

asio::awaitable<void> DictationCycle::start(std::weak_ptr<const void> weak) {
  // Held weakly across every wait: a start never keeps a controller alive.
  auto self = weak.lock();
  if (!self) co_return;
  // Only locals are used across waits: the controller may be gone when one ends.
  auto& recorder = context_.ports.recorder;
  auto& insertion = context_.ports.insertion;
  auto& service = context_.ports.service;
  Clock& clock = clock_;
  const auto background = context_.ports.platform.background;

  // Taken by this start whatever becomes of it: a later start without a press must not use it.
  auto early = std::exchange(pressCapture_, std::nullopt);
  if (refusesStart()) co_return;
  {
    ControllerChange change(context_);
    state_.phase = Phase::starting;
    state_.interimText.clear();
  }

  // The front application exposes its fields; then the destination is captured. From there to
  // the microphone nothing suspends, so no trigger press comes in between.
  const auto before = workspace_.frontmostApplication();
  self.reset();
  co_await insertion.prepareFrontmostApplication();
  if (!(self = weak.lock())) co_return;
  if (letGoWhileStarting() || !passStartChecks(before, std::move(early))) co_return;

  // The microphone permission.
  self.reset();
  const bool granted = co_await recorder.requestPermission();
  if (!(self = weak.lock())) co_return;
  if (!granted) {
    endStart(describe(RecorderError::permissionDenied()), Messages::microphonePermissionNotice);
    co_return;
  }

  // A live session, when the user allows one and a credential is stored. The credential check
  // may wait on the keyring: off the main loop. Nothing can start or act on the account
  // meanwhile, as the phase is `starting`.
  Recorder::PcmHandler onPCM;
  Recorder::FailureHandler onFailure;
  if (state_.streamingConsent && context_.ports.openStreamingSession) {
    self.reset();
    const bool activated = co_await runInBackground(background, [&service] {
      try {
        return service.isActivated();
      } catch (const std::exception&) {
        return false;
      }
    });
    if (!(self = weak.lock())) co_return;
    if (auto client = activated ? openLiveSession() : nullptr) {
      std::weak_ptr<StreamingSession> weakClient = client;
      onPCM = [weakClient](std::vector<std::uint8_t> chunk) {
        if (auto live = weakClient.lock()) live->append(std::move(chunk));
      };
      onFailure = [weakClient] {
        if (auto live = weakClient.lock()) live->cancel();
      };
      // The words so far are shown while this recording runs, and only then.
      client->setInterimHandler([this, weak, weakClient,
                                 loop = context_.mainLoop](std::string words) {
        asio::post(loop, [this, weak, weakClient, words = std::move(words)]() mutable {
          auto owner = weak.lock();
          if (!owner || state_.phase != Phase::recording || run_.liveSession != weakClient.lock())
            return;
          ControllerChange change(context_);
          state_.interimText = std::move(words);
        });
      });
    }
  }

  // The microphone, tried a few times.
  std::exception_ptr error;
  for (int attempt = 1; attempt <= microphoneAttempts; ++attempt) {
    // Stopping a failed try clears the live callbacks, so each try sets them again.
    recorder.configureStream(onPCM, onFailure);
    try {
      recorder.start();
    } catch (...) {
      error = std::current_exception();
    }
    if (recorder.isRecording()) break;
    // A try that left the recorder half-open would make every later start a no-op.
    recorder.stop();
    if (attempt < microphoneAttempts) {
      self.reset();
      co_await pause(clock, microphoneRetryPause);
      if (!(self = weak.lock())) co_return;
    }
  }
  if (!recorder.isRecording()) {
    recorder.stop();
    microphoneFailed(error);
    co_return;
  }
  if (letGoWhileStarting()) co_return;

  beginRecording();
}

asio::awaitable<void> DictationCycle::supervise(std::weak_ptr<const void> weak, Clock& clock,
                                                std::shared_ptr<asio::cancellation_signal> cancel) {
  // Counted over the whole recording: a successful reconnection does not reset it.
  // Nothing of the controller is touched before `weak` is locked: it may be gone.
  int reconnections = 0;
  for (;;) {
    Clock::Duration wait = supervisionPeriod;
    {
      // Held only for this pass: the loop must not keep the controller alive.
      auto self = weak.lock();
      if (!self || state_.phase != Phase::recording || run_.meterTask != cancel) co_return;
      auto& recorder = context_.ports.recorder;
      ControllerChange change(context_);
      bool running = recorder.isRecording();
      if (!running) {
        // The input device changed or went away.
        if (++reconnections > reconnectionLimit) {
          recorder.stop();  // the audio is discarded
          endStart(describe(RecorderError::unavailable()), Messages::checkMicrophoneNotice);
          co_return;
        }
        state_.message = Messages::reconnectingMicrophone;
        try {
          recorder.reconnect();
        } catch (const std::exception&) {
        }
        running = recorder.isRecording();
        if (running) {
          state_.message = recordingMessage();
        } else {
          wait = reconnectionPause;
        }
      }
      if (running) {
        state_.level = recorder.currentLevel();
        if (run_.beganAt && clock_.now() - *run_.beganAt >= maximumRecording) {
          stop();  // as if the user had pressed the key
          co_return;
        }
      }
    }
    co_await pause(clock, wait);
  }
}

}  // namespace wrenly
