#include "controller/MacVoiceController.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/system/system_error.hpp>
#include <stdexcept>

#include "controller/ControllerChange.h"
#include "delivery/MacTextInsertion.h"
#include "diagnostics/MacDiagnostics.h"
#include "hotkey/MacHotKey.h"
#include "platform/Clock.h"
#include "platform/DesktopWording.h"
#include "platform/Overlay.h"
#include "platform/Required.h"
#include "platform/Settings.h"
#include "platform/Uuid.h"

namespace wrenly {

std::shared_ptr<MacVoiceController> MacVoiceController::make(Dependencies dependencies) {
  return std::shared_ptr<MacVoiceController>(new MacVoiceController(std::move(dependencies)));
}

MacVoiceController::MacVoiceController(Dependencies dependencies)
    : dependencies_(std::move(dependencies)),
      mainLoop_(dependencies_.platform.mainLoop),
      clock_(required(dependencies_.platform.clock, "MacVoiceController", "clock")),
      settings_(required(dependencies_.platform.settings, "MacVoiceController", "settings")),
      workspace_(required(dependencies_.platform.workspace, "MacVoiceController", "workspace")),
      overlay_(required(dependencies_.platform.overlay, "MacVoiceController", "overlay")),
      noticeID_(makeUuid()) {
  if (!mainLoop_) throw std::invalid_argument("MacVoiceController needs the main loop");
  state_.permissionGranted = dependencies_.insertion.hasAccessibility();
  state_.setupComplete = settings_.boolValue(setupCompleteKey).value_or(false);
  state_.streamingConsent = settings_.boolValue(streamingConsentKey).value_or(false);
  state_.shortcutTitle = shortcutTitle();
  published_ = state_;
}

MacVoiceController::~MacVoiceController() = default;

Subscription MacVoiceController::observe(Observer observer) {
  const auto id = nextObserver_++;
  observers_.emplace(id, std::move(observer));
  return Subscription([weak = weak_from_this(), id] {
    if (auto self = weak.lock()) self->observers_.erase(id);
  });
}

void MacVoiceController::publish() {
  state_.shortcutTitle = shortcutTitle();
  if (state_ == published_) return;
  published_ = state_;
  // A copy of the list: an observer may end its own or another subscription.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) {
    if (observers_.contains(id)) observer(published_);
  }
}

void MacVoiceController::spawn(asio::awaitable<void> task) {
  asio::co_spawn(mainLoop_, std::move(task), [](std::exception_ptr error) {
    // Every task handles its own failures; anything left is a fault worth a log line.
    if (error) MacDiagnostics::record("controller task failed " + MacDiagnostics::errorCode(error));
  });
}

void MacVoiceController::toggle() {
  ControllerChange change(*this);
  if (!state_.permissionGranted || !state_.setupComplete) {
    state_.message = "請先完成輔助使用權限與快捷鍵設定。";
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

void MacVoiceController::showHUDNotice(const std::string& text) {
  ControllerChange change(*this);
  auto id = makeUuid();
  noticeID_ = id;
  state_.hudNotice = text;
  overlay_.show(*this);
  spawn(hideNoticeLater(weak_from_this(), clock_, std::move(id)));
}

asio::awaitable<void> MacVoiceController::hideNoticeLater(std::weak_ptr<MacVoiceController> weak,
                                                          Clock& clock, std::string id) {
  // Static, with its arguments copied when it is made: the controller may be gone by the time
  // this runs, and is reached only through `weak`.
  try {
    co_await clock.sleepSeconds(noticeDuration);
  } catch (const boost::system::system_error&) {
    // A cancelled wait counts as a finished one.
  }
  auto self = weak.lock();
  if (!self) co_return;
  // A newer notice or a dictation started since keeps the overlay up.
  if (self->noticeID_ == id && self->state_.phase == Phase::idle) self->overlay_.hide();
}

void MacVoiceController::rememberDeactivatedApp(const RunningApplication& application) {
  // This program never remembers itself: the process decides first, and two applications the
  // desktop has no id for are not thereby the same one.
  if (application.processID == workspace_.ownProcessID()) return;
  const auto own = workspace_.ownApplicationID();
  if (application.applicationID && own && *application.applicationID == *own) return;
  auto target = dependencies_.insertion.captureTarget(application.processID);
  if (!target || !target->focusedElement) return;
  recentTarget_ = RecentTarget{std::move(*target), clock_.uptime()};
}

void MacVoiceController::copyLastText() {
  if (state_.lastText.empty()) return;
  ControllerChange change(*this);
  // Claiming a copy that did not happen would send the user to paste something else.
  state_.message = dependencies_.insertion.copy(state_.lastText)
                       ? DesktopWording::copiedLastText
                       : "未能複製辨識文字；請在 Wrenly 視窗查看最近文字。";
}

void MacVoiceController::setStreamingConsent(bool consent) {
  ControllerChange change(*this);
  state_.streamingConsent = consent;
  settings_.setBool(streamingConsentKey, consent);
}

std::string MacVoiceController::shortcutTitle() const {
  return std::string(installedShortcut_.value_or(MacRecordingShortcut::rightOption).title());
}

}  // namespace wrenly
