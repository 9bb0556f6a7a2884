#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Subscription.h"
#include "controller/AccountActions.h"
#include "controller/ControllerContext.h"
#include "controller/DictationCycle.h"
#include "controller/DictationState.h"
#include "controller/NoticeTimer.h"
#include "controller/OwnWordsKeeper.h"
#include "controller/TriggerKeySetup.h"

namespace wrenly {

// The one controller of the program: what the windows, the overlay and the trigger key talk
// to. It owns the published state and the collaborators that write it: the dictation cycle,
// the account actions, the trigger-key set-up and the notice timer.
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
  using Dependencies = ControllerDependencies;
  using PermissionPrompt = TriggerKeySetup::PermissionPrompt;
  using PermissionReport = TriggerKeySetup::PermissionReport;

  // Reads the two stored preferences and the permission; starts nothing.
  static std::shared_ptr<DictationController> make(Dependencies dependencies);
  DictationController(const DictationController&) = delete;
  DictationController& operator=(const DictationController&) = delete;

  // --- published state ---
  const State& state() const { return context_.state; }
  // `observer` receives the whole state after each change until the subscription ends.
  [[nodiscard]] Subscription observe(Observer observer) {
    return context_.observers.add(std::move(observer));
  }

  // --- the dictation cycle ---
  // The trigger key and the main window's record button: starts, stops or is ignored.
  void toggle() { cycle_.toggle(); }
  // Runs the kept recording of a failed dictation through recognition again.
  void retryLastRecording() { cycle_.retryLastRecording(); }
  void copyLastText() { cycle_.copyLastText(); }
  // The desktop reports the application the user just left.
  void rememberDeactivatedApp(const RunningApplication& application) {
    cycle_.rememberDeactivatedApp(application);
  }
  void setStreamingConsent(bool consent) { cycle_.setStreamingConsent(consent); }

  // --- the own words ---
  // Entries in the words file's form, typed in the window or imported from a file.
  void addOwnWords(std::string_view text, bool fromFile) { ownWords_.add(text, fromFile); }
  void removeOwnWord(std::string_view entryLine) { ownWords_.remove(entryLine); }
  // --- the history of dictations (see DictationCycle) ---
  void copyHistoryEntry(std::uint64_t id) { cycle_.copyHistoryEntry(id); }
  void pasteHistoryEntry(std::uint64_t id) { cycle_.pasteHistoryEntry(id); }
  void clearHistory() { cycle_.clearHistory(); }
  void keepHistoryOnDisk(bool keep) { cycle_.keepHistoryOnDisk(keep); }

  // --- set-up and permission ---
  void refreshPermission(PermissionPrompt prompt, PermissionReport report) {
    triggerKey_.refreshPermission(prompt, report);
  }
  void installHotkey() { triggerKey_.install(); }
  void confirmDetectedTriggerKey() { triggerKey_.confirmDetected(); }
  void resetTriggerKeySetup() { triggerKey_.reset(); }
  void openAccessibilitySettings() { triggerKey_.openAccessibilitySettings(); }
  void setTriggerMode(TriggerMode mode) { triggerKey_.setMode(mode); }

  // --- service state and account actions ---
  // Starts a credential check on the background pool; returns at once.
  void refreshServiceState() { account_.refreshServiceState(); }
  // The awaitable actions run on the main loop (co_spawn them on Platform::mainLoop); each
  // keeps the controller alive from the call until it ends.
  asio::awaitable<void> updateAccountStatus() {
    return keepAlive(shared_from_this(), account_.updateAccountStatus());
  }
  asio::awaitable<void> signIn() { return keepAlive(shared_from_this(), account_.signIn()); }
  // Ends a sign-in that waits for the browser, as cancelled.
  void cancelSignIn() { account_.cancelSignIn(); }
  asio::awaitable<void> signOut() { return keepAlive(shared_from_this(), account_.signOut()); }
  asio::awaitable<void> removeAccess() {
    return keepAlive(shared_from_this(), account_.removeAccess());
  }

 private:
  explicit DictationController(Dependencies dependencies);

  ControllerContext context_;
  NoticeTimer notices_{context_};
  OwnWordsKeeper ownWords_{context_};
  TriggerKeySetup triggerKey_{context_, [this] { cycle_.toggle(); },
                              [this](TriggerPress press) { cycle_.triggerPressChanged(press); },
                              [this](HoldAction action) { cycle_.hold(action); }};
  AccountActions account_{context_, triggerKey_, [this] { cycle_.forget(); }};
  DictationCycle cycle_{context_, notices_, triggerKey_, account_};
};

}  // namespace wrenly
