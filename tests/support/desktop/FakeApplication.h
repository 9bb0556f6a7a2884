#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Workspace.h"
#include "support/desktop/FakeElement.h"

namespace wrenly {

class FakeDesktop;

enum class WindowKind {
  normal,    // an ordinary window or dialog: what counts as an application's front window
  floating,  // a panel, palette or status-level window
};

// One scripted application of a FakeDesktop (FakeDesktop::launch). Scripting calls return the
// application so they chain.
class FakeApplication {
 public:
  FakeApplication(FakeDesktop& desktop, int32_t processID, std::optional<std::string> id)
      : desktop_(desktop), processID_(processID), applicationID_(std::move(id)) {}
  FakeApplication(const FakeApplication&) = delete;
  FakeApplication& operator=(const FakeApplication&) = delete;

  int32_t processID() const { return processID_; }
  void setApplicationID(std::optional<std::string> id) { applicationID_ = std::move(id); }
  RunningApplication running() const { return {processID_, applicationID_}; }
  bool isRunning() const { return running_; }

  // A text field, empty with the caret at 0.
  std::shared_ptr<FakeElement> addField(std::string role = "text") {
    elements_.push_back(std::make_shared<FakeElement>(std::move(role), answers_));
    return elements_.back();
  }
  // What the accessibility fake reports as the application's focused element, in front or not
  // (null: nothing focused).
  FakeApplication& focus(std::shared_ptr<FakeElement> element) {
    focused_ = std::move(element);
    return *this;
  }
  const std::shared_ptr<FakeElement>& focused() const { return focused_; }

  // A new window on top of the desktop's stacking order; returns its number.
  uint32_t openWindow(WindowKind kind = WindowKind::normal);
  void closeWindow(uint32_t windowID);

  // A hung application: no focused element, element reads fail, liveness `unknown`.
  FakeApplication& stopAnswering() {
    *answers_ = false;
    return *this;
  }
  bool answers() const { return *answers_; }

  // How a request to bring it forward (Workspace::activate) goes: refused, or accepted and done
  // after `delay` on the clock (at once, on the main loop, when zero), or accepted and never
  // done (std::nullopt).
  void refuseActivation() { refusesActivation_ = true; }
  void comeForwardAfter(std::optional<Clock::Duration> delay) { activationDelay_ = delay; }
  int activationRequests() const { return activationRequests_; }

  // The result code of Accessibility::prepareApplication (0 by default).
  void setPrepareResult(int code) { prepareResult_ = code; }
  int prepareRequests() const { return prepareRequests_; }

  // The process exits: not running, not in front, windows and elements gone.
  void quit();

 private:
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

}  // namespace wrenly
