#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Asio.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "support/desktop/FakeApplication.h"
#include "support/desktop/FakeElement.h"
#include "support/desktop/FakeHotKeyRegistrar.h"
#include "support/desktop/FakeKeyInjector.h"
#include "support/desktop/FakeKeyMonitor.h"
#include "support/desktop/FakePasteboard.h"
#include "support/desktop/HandlerList.h"
#include "support/desktop/KeyEventScript.h"

// A whole scripted desktop behind the desktop ports: applications with process ids and
// application ids, their windows in stacking order, which one is in front, the focused element
// of each, permission, clipboard, synthetic keys, key monitors and hot keys.
//
//   asio::io_context loop;
//   ManualClock clock{[&] { loop.poll(); loop.restart(); }};
//   FakeDesktop desktop{loop.get_executor(), clock};
//   MacTextInsertion insertion{desktop.platform()};
//
//   FakeApplication& editor = desktop.launch("org.example.Editor");
//   auto field = editor.addField();
//   field->setText("hello world").selectText("world");
//   editor.focus(field).openWindow();
//   desktop.activate(editor);   // in front; activation events are posted to the loop
//   loop.poll();
//
//   auto target = insertion.captureTarget();
//   // ... the user switches away, the field dies, the clipboard refuses ...
//   desktop.activate(desktop.launch("org.example.Browser"));
//   field->destroy();            // or field->stopAnswering(), editor.stopAnswering()
//   desktop.pasteboard.refuseWrites();
//
//   desktop.pasteboard.contents(), desktop.keyInjector.keys(), field->text()  // what happened
//
// Behaviour worth knowing:
// - This program itself is `self()` (process 4242, id "wrenly"); it starts with no window and
//   nothing is in front until a test activates something.
// - Workspace events are posted to the main loop, like the real ones: poll the loop (or advance
//   the ManualClock, whose drain polls it) before expecting them. `activate` changes the front
//   application at once; `Workspace::activate` (the program's request) goes as the application
//   says: FakeApplication::refuseActivation / comeForwardAfter.
// - The accessibility fake reports an application's own focused element whether it is in front
//   or not, none while it does not answer, none when the element is gone, and nothing at all
//   without permission (`setTrusted(false)`). Each call hands out a fresh handle;
//   FakeElement::behind(handle) gives the element back.
// - A paste key-down pastes the clipboard into the focused element of the application in
//   front, replacing its selection (a password or non-text element takes nothing).
// - Key monitors and hot keys deliver when the test sends (KeyEventScript, keyMonitor.send,
//   hotKeys.press): global key events and hot keys at once on the test's thread, local key
//   events posted to the main loop.
class FakeDesktop {
 public:
  static constexpr int32_t ownProcessID = 4242;
  static constexpr const char* ownApplicationID = "wrenly";

  FakeDesktop(asio::any_io_executor mainLoop, Clock& clock);
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;
  ~FakeDesktop();

  // The main loop, clock and every desktop port of this desktop; other ports left null.
  Platform platform();

  // This program.
  FakeApplication& self() { return *self_; }
  // A new running application with the next free process id (from 501) or the one given.
  FakeApplication& launch(std::optional<std::string> applicationID, int32_t processID = 0);
  FakeApplication* application(int32_t processID);

  // The user brings the application to the front now: its windows rise above all others and
  // the deactivation and activation events are posted (only when the front one changes).
  void activate(FakeApplication& application);
  // Nothing in front (the desktop itself has focus).
  void activateNothing();
  FakeApplication* frontmost();

  // Windows, front first.
  struct Window {
    uint32_t windowID = 0;
    int32_t processID = 0;
    WindowKind kind = WindowKind::normal;
  };
  const std::deque<Window>& windows() const { return windows_; }
  uint32_t openWindow(FakeApplication& owner, WindowKind kind);
  void closeWindow(uint32_t windowID);
  // Puts the window on top without changing the front application (a floating panel, say).
  void raise(uint32_t windowID);

  // Permission: granted by default. `grantOnRequest` makes requestTrust grant it.
  void setTrusted(bool trusted) { trusted_ = trusted; }
  void grantOnRequest(bool grant = true) { grantOnRequest_ = grant; }
  int trustRequests() const { return trustRequests_; }
  // The messaging timeout of the last focused-element query.
  std::optional<Accessibility::Timeout> lastTimeout() const { return lastTimeout_; }

  void refuseURLs(bool refuse = true) { refusesURLs_ = refuse; }
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }

  void quit(FakeApplication& application);

  // The ports the program sees, and what tests inspect.
  class FakeWorkspace;
  class FakeAccessibility;
  class FakeWindowList;
  FakePasteboard pasteboard;
  FakeKeyInjector keyInjector;
  FakeKeyMonitor keyMonitor;
  FakeHotKeyRegistrar hotKeys;

 private:
  void bringForward(FakeApplication* application);
  bool requestActivation(int32_t processID);
  void paste(int32_t processID);

  asio::any_io_executor mainLoop_;
  Clock& clock_;
  std::deque<std::unique_ptr<FakeApplication>> applications_;
  FakeApplication* self_ = nullptr;
  FakeApplication* frontmost_ = nullptr;
  std::deque<Window> windows_;
  uint32_t nextWindowID_ = 0x1001;
  int32_t nextProcessID_ = 501;
  bool trusted_ = true;
  bool grantOnRequest_ = false;
  int trustRequests_ = 0;
  std::optional<Accessibility::Timeout> lastTimeout_;
  bool refusesURLs_ = false;
  std::vector<std::string> openedURLs_;
  HandlerList<RunningApplication> activations_;
  HandlerList<RunningApplication> deactivations_;
  std::vector<std::unique_ptr<Clock::Timer>> pendingActivations_;
  std::unique_ptr<FakeWorkspace> workspace_;
  std::unique_ptr<FakeAccessibility> accessibility_;
  std::unique_ptr<FakeWindowList> windowList_;
};
