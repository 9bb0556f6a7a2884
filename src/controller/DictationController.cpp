#include "controller/DictationController.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/system/system_error.hpp>
#include <stdexcept>

#include "base/Required.h"
#include "base/Uuid.h"
#include "controller/ControllerChange.h"
#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Overlay.h"
#include "platform/Settings.h"
#include "triggerkey/TriggerKeyDetector.h"

namespace wrenly {

std::shared_ptr<DictationController> DictationController::make(Dependencies dependencies) {
  return std::shared_ptr<DictationController>(new DictationController(std::move(dependencies)));
}

DictationController::DictationController(Dependencies dependencies)
    : dependencies_(std::move(dependencies)),
      mainLoop_(dependencies_.platform.mainLoop),
      clock_(required(dependencies_.platform.clock, "DictationController", "clock")),
      settings_(required(dependencies_.platform.settings, "DictationController", "settings")),
      workspace_(required(dependencies_.platform.workspace, "DictationController", "workspace")),
      overlay_(required(dependencies_.platform.overlay, "DictationController", "overlay")) {
  if (!mainLoop_) throw std::invalid_argument("DictationController needs the main loop");
  state_.permissionGranted = dependencies_.insertion.hasAccessibility();
  state_.setupComplete = settings_.boolValue(setupCompleteKey).value_or(false);
  state_.streamingConsent = settings_.boolValue(streamingConsentKey).value_or(false);
  state_.shortcutTitle = shortcutTitle();
  published_ = state_;
}

DictationController::~DictationController() = default;

Subscription DictationController::observe(Observer observer) {
  const auto id = nextObserver_++;
  observers_.emplace(id, std::move(observer));
  return Subscription([weak = weak_from_this(), id] {
    if (auto self = weak.lock()) self->observers_.erase(id);
  });
}

void DictationController::publish() {
  state_.shortcutTitle = shortcutTitle();
  if (state_ == published_) return;
  published_ = state_;
  // A copy of the list: an observer may end its own or another subscription.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) {
    if (observers_.contains(id)) observer(published_);
  }
}

void DictationController::spawn(asio::awaitable<void> task) {
  asio::co_spawn(mainLoop_, std::move(task), [](std::exception_ptr error) {
    // Every task handles its own failures; anything left is a fault worth a log line.
    if (error) Diagnostics::record("controller task failed " + Diagnostics::errorCode(error));
  });
}

void DictationController::toggle() {
  ControllerChange change(*this);
  if (!state_.permissionGranted || !state_.setupComplete) {
    state_.message = Messages::finishSetupFirst;
    return;
  }
  switch (state_.phase) {
    case Phase::idle:
      spawn(start(weak_from_this()));
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

void DictationController::showNotice(const std::string& text) {
  ControllerChange change(*this);
  auto id = makeUuid();
  noticeID_ = id;
  state_.hudNotice = text;
  overlay_.show(*this);
  spawn(hideNoticeLater(weak_from_this(), clock_, std::move(id)));
}

asio::awaitable<void> DictationController::hideNoticeLater(std::weak_ptr<DictationController> weak,
                                                           Clock& clock, std::string id) {
  // Static, with its arguments copied when it is made: the controller may be gone by the time
  // this runs, and is reached only through `weak`.
  co_await pause(clock, noticeDuration);
  auto self = weak.lock();
  if (!self || self->noticeID_ != id) co_return;  // a newer notice decides
  self->noticeID_.reset();
  self->hideOverlayWhenUnused();
}

void DictationController::hideOverlayWhenUnused() {
  // A dictation under way or a notice still on screen keeps the overlay up.
  if (state_.phase == Phase::idle && !noticeID_) overlay_.hide();
}

void DictationController::rememberDeactivatedApp(const RunningApplication& application) {
  // This program never remembers itself: the process decides first, and two applications the
  // desktop has no id for are not thereby the same one.
  if (application.processID == workspace_.ownProcessID()) return;
  const auto own = workspace_.ownApplicationID();
  if (application.applicationID && own && *application.applicationID == *own) return;
  auto target = dependencies_.insertion.captureTarget(application.processID);
  if (!target || !target->focusedElement) return;
  recentTarget_ = RecentTarget{std::move(*target), clock_.now()};
}

void DictationController::copyLastText() {
  if (state_.lastText.empty()) return;
  ControllerChange change(*this);
  // Claiming a copy that did not happen would send the user to paste something else.
  state_.message = dependencies_.insertion.copy(state_.lastText) ? Messages::copiedLastText
                                                                 : Messages::copyFailed;
}

void DictationController::setStreamingConsent(bool consent) {
  ControllerChange change(*this);
  state_.streamingConsent = consent;
  settings_.setBool(streamingConsentKey, consent);
}

std::string DictationController::shortcutTitle() const {
  return std::string(installedTriggerKey_.value_or(TriggerKey::rightAlt).title());
}

}  // namespace wrenly
