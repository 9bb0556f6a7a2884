#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "app/MenuActions.h"
#include "app/ShellSnapshot.h"
#include "base/Subscription.h"
#include "platform/Asio.h"

namespace wrenly {

class DictationCore;

// The one crossing between the GUI thread and the controller's main loop. The window's actions
// are posted to the loop; the controller's state comes back as snapshots posted to the GUI
// thread. The core is touched on the loop only.
class ControllerBridge final : public MenuActions {
 public:
  using Render = std::function<void(const ShellSnapshot&)>;

  // `gui` lives on the GUI thread; `render` and `quit` are called there.
  ControllerBridge(asio::any_io_executor mainLoop, QObject& gui, Render render,
                   std::function<void()> quit, std::function<std::string()> privacyPage);

  // On the loop: starts observing `core` and runs the launch sequence (remember the apps the
  // user leaves, check the permission with its prompt, install the trigger key, refresh the
  // service state).
  void attach(DictationCore& core);
  // On the loop: ends every observation; the core may go afterwards.
  void detach();

  // Before attach: shown with the trigger key's set-up.
  void setSessionNote(std::string note) { last_.sessionNote = std::move(note); }

  // GUI: this program's window became active.
  void applicationActivated();

  void openAccessibilitySettings() override;
  void recheckPermission() override;
  void confirmDetectedTriggerKey() override;
  void toggle() override;
  void resetTriggerKeySetup() override;
  void setTriggerMode(TriggerMode mode) override;
  void retryLastRecording() override;
  void signIn() override;
  void signOut() override;
  void removeAccess() override;
  void requestAccessibility() override;
  void setStreamingConsent(bool consent) override;
  void copyLastText() override;
  void addOwnWords(std::string text, bool fromFile) override;
  void removeOwnWord(std::string entryLine) override;
  void copyHistoryEntry(std::uint64_t id) override;
  void pasteHistoryEntry(std::uint64_t id) override;
  void clearHistory() override;
  void keepHistoryOnDisk(bool keep) override;
  void showDiagnostics() override;
  void openPrivacyPage() override;
  void quit() override;

 private:
  // Posts `action` to the loop, where it runs with the core if one is attached.
  void onLoop(std::function<void(DictationCore&)> action);
  void publish(const DictationState& state);

  asio::any_io_executor mainLoop_;
  QPointer<QObject> gui_;
  Render render_;
  std::function<void()> quit_;
  std::function<std::string()> privacyPage_;  // asked when opened: the local one's port varies

  // Loop only.
  DictationCore* core_ = nullptr;
  Subscription state_;
  Subscription deactivations_;
  ShellSnapshot last_;
  bool sampled_ = false;
};

}  // namespace wrenly
