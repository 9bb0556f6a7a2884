#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Workspace.h"
#include "support/desktop/FakeElement.h"

class FakeDesktop;

enum class WindowKind {
  normal,    // an ordinary window or dialog: what counts as an application's front window
  floating,  // a panel, palette or status-level window
};

// One scripted application of a FakeDesktop (FakeDesktop::launch). Scripting calls return the
// application so they chain.
class FakeApplication {
 public:
  FakeApplication(FakeDesktop& desktop, int32_t processID,
                  std::optional<std::string> applicationID);
  FakeApplication(const FakeApplication&) = delete;
  FakeApplication& operator=(const FakeApplication&) = delete;

  int32_t processID() const { return processID_; }
  const std::optional<std::string>& applicationID() const { return applicationID_; }
  FakeApplication& setApplicationID(std::optional<std::string> applicationID);
  RunningApplication running() const { return {processID_, applicationID_}; }

  // A text field (role "text" unless given), empty with the caret at 0.
  std::shared_ptr<FakeElement> addField(std::string role = "text");
  // An element without text (a button, a list).
  std::shared_ptr<FakeElement> addElement(std::string role);

  // Gives keyboard focus inside this application to `element` (null: nothing focused). It is
  // what the accessibility fake reports as the application's focused element, in front or not.
  FakeApplication& focus(std::shared_ptr<FakeElement> element);
  const std::shared_ptr<FakeElement>& focused() const { return focused_; }

  // A new window on top of the desktop's stacking order; returns its number.
  uint32_t openWindow(WindowKind kind = WindowKind::normal);
  void closeWindow(uint32_t windowID);

  // The whole application stops answering the accessibility service (a hung application):
  // no focused element, element reads fail, liveness `unknown`.
  FakeApplication& stopAnswering();
  FakeApplication& answerAgain();
  bool answers() const { return *answers_; }

  // How a request to bring this application forward (Workspace::activate) goes: refused, or
  // accepted and done after `delay` on the clock (at once, on the main loop, when zero), or
  // accepted and never done (std::nullopt).
  FakeApplication& refuseActivation(bool refuse = true);
  FakeApplication& comeForwardAfter(std::optional<Clock::Duration> delay);
  int activationRequests() const { return activationRequests_; }

  // The result code of Accessibility::prepareApplication for this application (0 by default).
  FakeApplication& setPrepareResult(int code);
  int prepareRequests() const { return prepareRequests_; }

  // The process exits: not running, not in front, windows gone.
  void quit();
  bool isRunning() const { return running_; }

 private:
  std::shared_ptr<FakeElement> makeElement(std::string role, bool editable);

  FakeDesktop& desktop_;
  int32_t processID_;
  std::optional<std::string> applicationID_;
  std::shared_ptr<bool> answers_ = std::make_shared<bool>(true);
  std::shared_ptr<FakeElement> focused_;
  std::vector<std::shared_ptr<FakeElement>> elements_;
  bool refusesActivation_ = false;
  std::optional<Clock::Duration> activationDelay_ = Clock::Duration::zero();
  int activationRequests_ = 0;
  int prepareResult_ = 0;
  int prepareRequests_ = 0;
  bool running_ = true;

  friend class FakeDesktop;
};
