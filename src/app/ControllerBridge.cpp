#include "app/ControllerBridge.h"

#include <QDesktopServices>
#include <QUrl>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>
#include <filesystem>

#include "app/DictationCore.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Workspace.h"

namespace wrenly {

ControllerBridge::ControllerBridge(asio::any_io_executor mainLoop, QObject& gui, Render render,
                                   std::function<void()> quit,
                                   std::function<std::string()> privacyPage)
    : mainLoop_(std::move(mainLoop)),
      gui_(&gui),
      render_(std::move(render)),
      quit_(std::move(quit)),
      privacyPage_(std::move(privacyPage)) {}

void ControllerBridge::attach(DictationCore& core) {
  core_ = &core;
  DictationController& controller = core.controller();
  state_ = controller.observe([this](const DictationState& state) { publish(state); });
  deactivations_ =
      core.platform().workspace->onDeactivation([this](const RunningApplication& application) {
        if (core_) core_->controller().rememberDeactivatedApp(application);
      });
  publish(controller.state());
  controller.refreshPermission(DictationController::PermissionPrompt::ifMissing,
                               DictationController::PermissionReport::none);
  controller.installHotkey();
  controller.refreshServiceState();
}

void ControllerBridge::detach() {
  state_.reset();
  deactivations_.reset();
  core_ = nullptr;
}

void ControllerBridge::publish(const DictationState& state) {
  // Whether automatic paste can work is asked of the desktop only when something it depends on
  // may have moved, not at every level change of a recording.
  const bool resample = !sampled_ || state.permissionGranted != last_.voice.permissionGranted ||
                        state.phase != last_.voice.phase;
  if (resample && core_) {
    last_.hasAccessibility = core_->insertion().hasAccessibility();
    sampled_ = true;
  }
  last_.voice = state;
  QPointer<QObject> gui = gui_;
  if (!gui) return;
  QMetaObject::invokeMethod(
      gui.data(), [this, snapshot = last_] { render_(snapshot); }, Qt::QueuedConnection);
}

void ControllerBridge::onLoop(std::function<void(DictationCore&)> action) {
  asio::post(mainLoop_, [this, action = std::move(action)] {
    if (core_) action(*core_);
  });
}

void ControllerBridge::applicationActivated() {
  onLoop([](DictationCore& core) {
    core.controller().refreshPermission(DictationController::PermissionPrompt::none,
                                        DictationController::PermissionReport::none);
    asio::co_spawn(core.platform().mainLoop, core.controller().updateAccountStatus(),
                   asio::detached);
  });
}

void ControllerBridge::openAccessibilitySettings() {
  onLoop([](DictationCore& core) { core.controller().openAccessibilitySettings(); });
}

void ControllerBridge::recheckPermission() {
  onLoop([](DictationCore& core) {
    core.controller().refreshPermission(DictationController::PermissionPrompt::none,
                                        DictationController::PermissionReport::timed);
  });
}

void ControllerBridge::confirmDetectedTriggerKey() {
  onLoop([](DictationCore& core) { core.controller().confirmDetectedTriggerKey(); });
}

void ControllerBridge::toggle() {
  onLoop([](DictationCore& core) { core.controller().toggle(); });
}

void ControllerBridge::resetTriggerKeySetup() {
  onLoop([](DictationCore& core) { core.controller().resetTriggerKeySetup(); });
}

void ControllerBridge::setTriggerMode(TriggerMode mode) {
  onLoop([mode](DictationCore& core) { core.controller().setTriggerMode(mode); });
}

void ControllerBridge::retryLastRecording() {
  onLoop([](DictationCore& core) { core.controller().retryLastRecording(); });
}

void ControllerBridge::signIn() {
  onLoop([](DictationCore& core) {
    asio::co_spawn(core.platform().mainLoop, core.controller().signIn(), asio::detached);
  });
}

void ControllerBridge::signOut() {
  onLoop([](DictationCore& core) {
    asio::co_spawn(core.platform().mainLoop, core.controller().signOut(), asio::detached);
  });
}

void ControllerBridge::removeAccess() {
  onLoop([](DictationCore& core) {
    asio::co_spawn(core.platform().mainLoop, core.controller().removeAccess(), asio::detached);
  });
}

void ControllerBridge::requestAccessibility() {
  onLoop([](DictationCore& core) { core.insertion().requestAccessibility(); });
}

void ControllerBridge::setStreamingConsent(bool consent) {
  onLoop([consent](DictationCore& core) { core.controller().setStreamingConsent(consent); });
}

void ControllerBridge::copyLastText() {
  onLoop([](DictationCore& core) { core.controller().copyLastText(); });
}

void ControllerBridge::addOwnWords(std::string text, bool fromFile) {
  onLoop([text = std::move(text), fromFile](DictationCore& core) {
    core.controller().addOwnWords(text, fromFile);
  });
}

void ControllerBridge::removeOwnWord(std::string entryLine) {
  onLoop([entryLine = std::move(entryLine)](DictationCore& core) {
    core.controller().removeOwnWord(entryLine);
  });
}

void ControllerBridge::copyHistoryEntry(std::uint64_t id) {
  onLoop([id](DictationCore& core) { core.controller().copyHistoryEntry(id); });
}

void ControllerBridge::pasteHistoryEntry(std::uint64_t id) {
  onLoop([id](DictationCore& core) { core.controller().pasteHistoryEntry(id); });
}

void ControllerBridge::clearHistory() {
  onLoop([](DictationCore& core) { core.controller().clearHistory(); });
}

void ControllerBridge::keepHistoryOnDisk(bool keep) {
  onLoop([keep](DictationCore& core) { core.controller().keepHistoryOnDisk(keep); });
}

void ControllerBridge::showDiagnostics() {
  // The folder may not exist before the first line is logged; the file manager needs it.
  const std::filesystem::path folder = Diagnostics::directory();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void ControllerBridge::openPrivacyPage() {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(privacyPage_())));
}

void ControllerBridge::quit() {
  quit_();
}

}  // namespace wrenly
