#include "support/desktop/FakeDesktop.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <stdexcept>
#include <utility>

namespace wrenly {

FakeDesktop::FakeDesktop(asio::any_io_executor mainLoop, Clock& clock)
    : keyInjector(clock, [this] { paste(); }),
      keyMonitor(mainLoop),
      mainLoop_(mainLoop),
      clock_(clock) {
  applications_.push_back(
      std::make_unique<FakeApplication>(*this, selfProcessID, std::string(selfApplicationID)));
}

Platform FakeDesktop::platform() {
  Platform platform;
  platform.mainLoop = mainLoop_;
  platform.clock = &clock_;
  platform.workspace = this;
  platform.accessibility = this;
  platform.windows = this;
  platform.clipboard = &clipboard;
  platform.keyInjector = &keyInjector;
  platform.keyMonitor = &keyMonitor;
  platform.chords = &chords;
  return platform;
}

FakeApplication& FakeDesktop::launch(std::optional<std::string> applicationID) {
  applications_.push_back(
      std::make_unique<FakeApplication>(*this, nextProcessID_++, std::move(applicationID)));
  return *applications_.back();
}

FakeApplication* FakeDesktop::find(int32_t processID) const {
  for (const auto& application : applications_) {
    if (application->processID() == processID && application->isRunning()) {
      return application.get();
    }
  }
  return nullptr;
}

void FakeDesktop::activate(FakeApplication& application) {
  if (!application.isRunning()) throw std::invalid_argument("the application has quit");
  bringForward(&application);
}

void FakeDesktop::bringForward(FakeApplication* application) {
  if (application) {
    // Its windows rise above all others, keeping their own order.
    std::stable_partition(windows_.begin(), windows_.end(), [&](const Window& window) {
      return window.processID == application->processID();
    });
  }
  if (application == frontmost_) return;
  FakeApplication* previous = std::exchange(frontmost_, application);
  if (previous) deactivations_.post(mainLoop_, previous->running());
  if (application) activations_.post(mainLoop_, application->running());
}

void FakeDesktop::paste() {
  // The keystroke goes to whatever is in front, whoever it was meant for.
  if (!frontmost_ || !clipboard.contents()) return;
  const auto& element = frontmost_->focused();
  if (element && !element->isSecure()) element->receivePaste(*clipboard.contents());
}

bool FakeDesktop::activate(int32_t processID) {
  auto* target = find(processID);
  if (!target) return false;
  ++target->activationRequests_;
  if (target->refusesActivation_) return false;
  if (!target->activationDelay_) return true;  // accepted, never honoured
  auto comeForward = [this, processID] {
    if (auto* application = find(processID)) bringForward(application);
  };
  if (*target->activationDelay_ == Clock::Duration::zero()) {
    asio::post(mainLoop_, comeForward);
  } else {
    pendingActivations_.push_back(clock_.after(mainLoop_, *target->activationDelay_, comeForward));
  }
  return true;
}

ElementHandle FakeDesktop::focusedElement(int32_t processID, Timeout timeout) {
  lastTimeout_ = timeout;
  auto* application = find(processID);
  if (!trusted_ || !application || !application->answers()) return nullptr;
  const auto& element = application->focused();
  if (!element || element->isGone()) return nullptr;
  return element->makeHandle();
}

int FakeDesktop::prepareApplication(int32_t processID, Timeout) {
  auto* application = find(processID);
  if (!application) return -1;
  ++application->prepareRequests_;
  return application->prepareResult_;
}

std::optional<uint32_t> FakeDesktop::frontNormalWindow(int32_t processID) const {
  for (const auto& window : windows_) {
    if (window.processID == processID && window.kind == WindowKind::normal) return window.windowID;
  }
  return std::nullopt;
}

uint32_t FakeApplication::openWindow(WindowKind kind) {
  const uint32_t windowID = desktop_.nextWindowID_++;
  desktop_.windows_.push_front({windowID, processID_, kind});
  return windowID;
}

void FakeApplication::closeWindow(uint32_t windowID) {
  std::erase_if(desktop_.windows_, [&](const auto& window) { return window.windowID == windowID; });
}

void FakeApplication::quit() {
  running_ = false;
  focused_.reset();
  for (auto& element : elements_) element->destroy();
  std::erase_if(desktop_.windows_,
                [&](const auto& window) { return window.processID == processID_; });
  if (desktop_.frontmost_ == this) desktop_.bringForward(nullptr);
}

}  // namespace wrenly
