#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/HandlerList.h"
#include "platform/Accessibility.h"
#include "platform/Asio.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "support/desktop/FakeApplication.h"
#include "support/desktop/FakeChordRegistrar.h"
#include "support/desktop/FakeClipboard.h"
#include "support/desktop/FakeKeyInjector.h"
#include "support/desktop/FakeKeyMonitor.h"
#include "support/desktop/KeyEventScript.h"

namespace wrenly {

// A whole scripted desktop behind the desktop ports: applications with process ids and
// application ids, their windows in stacking order, which one is in front, the focused element
// of each, permission, clipboard, synthetic keys, key monitors and hot keys.
//
//   FakeApplication& editor = desktop.launch("org.example.Editor");
//   auto field = editor.addField();
//   field->setText("hello world").selectText("world");
//   editor.focus(field).openWindow();
//   desktop.activate(editor);  // activation events are posted to the main loop
//
// - This program itself is `self()` (process 4242, id "wrenly"), with no window at first;
//   nothing is in front until a test activates something.
// - `activate` changes the front application at once; Workspace::activate (the program's
//   request) goes as FakeApplication::refuseActivation / comeForwardAfter say.
// - The focused element of an application is reported in front or not; none while the
//   application does not answer, once the element is gone, or without permission. Each call
//   hands out a fresh handle.
// - A paste key-down pastes the clipboard into the focused element of the application in front.
class FakeDesktop final : public Workspace, public Accessibility, public WindowList {
 public:
  static constexpr int32_t selfProcessID = 4242;
  static constexpr const char* selfApplicationID = "wrenly";

  FakeDesktop(asio::any_io_executor mainLoop, Clock& clock);
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  // The main loop, clock and every desktop port of this desktop; other ports left null.
  Platform platform();

  FakeApplication& self() { return *applications_.front(); }
  // A new running application with the next free process id (from 501).
  FakeApplication& launch(std::optional<std::string> applicationID);
  // The user brings the application to the front now: its windows rise above all others and
  // the deactivation and activation events are posted (only when the front one changes).
  void activate(FakeApplication& application);

  // Permission: granted by default. `grantOnRequest` makes requestTrust grant it.
  void setTrusted(bool trusted) { trusted_ = trusted; }
  void grantOnRequest() { grantOnRequest_ = true; }
  int trustRequests() const { return trustRequests_; }
  // The messaging timeout of the last focused-element query.
  std::optional<Timeout> lastTimeout() const { return lastTimeout_; }
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }

  FakeClipboard clipboard;
  FakeKeyInjector keyInjector;
  FakeKeyMonitor keyMonitor;
  FakeChordRegistrar chords;

  // Workspace
  std::optional<RunningApplication> frontmostApplication() const override {
    return frontmost_ ? std::optional(frontmost_->running()) : std::nullopt;
  }
  std::optional<std::string> ownApplicationID() const override {
    return applications_.front()->applicationID_;
  }
  int32_t ownProcessID() const override { return selfProcessID; }
  std::optional<RunningApplication> runningApplication(int32_t processID) const override {
    auto* application = find(processID);
    return application ? std::optional(application->running()) : std::nullopt;
  }
  bool activate(int32_t processID) override;
  Subscription onActivation(ApplicationHandler handler) override {
    return activations_.add(std::move(handler));
  }
  Subscription onDeactivation(ApplicationHandler handler) override {
    return deactivations_.add(std::move(handler));
  }
  bool openURL(const std::string& url) override {
    openedURLs_.push_back(url);
    return true;
  }
  // Accessibility
  bool isTrusted() const override { return trusted_; }
  void requestTrust() override {
    ++trustRequests_;
    trusted_ |= grantOnRequest_;
  }
  ElementHandle focusedElement(int32_t processID, Timeout timeout) override;
  int prepareApplication(int32_t processID, Timeout timeout) override;
  // WindowList
  std::optional<uint32_t> frontNormalWindow(int32_t processID) const override;

 private:
  struct Window {
    uint32_t windowID = 0;
    int32_t processID = 0;
    WindowKind kind = WindowKind::normal;
  };

  FakeApplication* find(int32_t processID) const;
  void bringForward(FakeApplication* application);
  void paste();

  asio::any_io_executor mainLoop_;
  Clock& clock_;
  std::deque<std::unique_ptr<FakeApplication>> applications_;
  FakeApplication* frontmost_ = nullptr;
  std::deque<Window> windows_;  // front first
  uint32_t nextWindowID_ = 0x1001;
  int32_t nextProcessID_ = 501;
  bool trusted_ = true;
  bool grantOnRequest_ = false;
  int trustRequests_ = 0;
  std::optional<Timeout> lastTimeout_;
  std::vector<std::string> openedURLs_;
  HandlerList<RunningApplication> activations_;
  HandlerList<RunningApplication> deactivations_;
  std::vector<std::unique_ptr<Clock::Timer>> pendingActivations_;

  friend class FakeApplication;
};

}  // namespace wrenly
