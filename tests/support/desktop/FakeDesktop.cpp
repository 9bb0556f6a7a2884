#include "support/desktop/FakeDesktop.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <stdexcept>

class FakeDesktop::FakeWorkspace final : public Workspace {
 public:
  explicit FakeWorkspace(FakeDesktop& desktop) : desktop_(desktop) {}

  std::optional<RunningApplication> frontmostApplication() const override {
    if (!desktop_.frontmost_) return std::nullopt;
    return desktop_.frontmost_->running();
  }
  std::optional<std::string> ownApplicationID() const override {
    return desktop_.self_->applicationID();
  }
  int32_t ownProcessID() const override { return desktop_.self_->processID(); }
  std::optional<RunningApplication> runningApplication(int32_t processID) const override {
    auto* application = desktop_.application(processID);
    if (!application || !application->isRunning()) return std::nullopt;
    return application->running();
  }
  bool activate(int32_t processID) override { return desktop_.requestActivation(processID); }
  Subscription onActivation(ApplicationHandler handler) override {
    return desktop_.activations_.add(std::move(handler));
  }
  Subscription onDeactivation(ApplicationHandler handler) override {
    return desktop_.deactivations_.add(std::move(handler));
  }
  bool openURL(const std::string& url) override {
    if (desktop_.refusesURLs_) return false;
    desktop_.openedURLs_.push_back(url);
    return true;
  }

 private:
  FakeDesktop& desktop_;
};

class FakeDesktop::FakeAccessibility final : public Accessibility {
 public:
  explicit FakeAccessibility(FakeDesktop& desktop) : desktop_(desktop) {}

  bool isTrusted() const override { return desktop_.trusted_; }
  void requestTrust() override {
    ++desktop_.trustRequests_;
    if (desktop_.grantOnRequest_) desktop_.trusted_ = true;
  }
  ElementHandle focusedElement(int32_t processID, Timeout timeout) override {
    desktop_.lastTimeout_ = timeout;
    if (!desktop_.trusted_) return nullptr;
    auto* application = desktop_.application(processID);
    if (!application || !application->isRunning() || !application->answers()) return nullptr;
    const auto& element = application->focused();
    if (!element || element->isGone()) return nullptr;
    return element->makeHandle();
  }
  int prepareApplication(int32_t processID, Timeout) override {
    auto* application = desktop_.application(processID);
    if (!application || !application->isRunning()) return -1;
    ++application->prepareRequests_;
    return application->prepareResult_;
  }

 private:
  FakeDesktop& desktop_;
};

class FakeDesktop::FakeWindowList final : public WindowList {
 public:
  explicit FakeWindowList(const FakeDesktop& desktop) : desktop_(desktop) {}

  std::optional<uint32_t> frontNormalWindow(int32_t processID) const override {
    for (const auto& window : desktop_.windows_) {
      if (window.processID == processID && window.kind == WindowKind::normal) {
        return window.windowID;
      }
    }
    return std::nullopt;
  }

 private:
  const FakeDesktop& desktop_;
};

FakeDesktop::FakeDesktop(asio::any_io_executor mainLoop, Clock& clock)
    : keyInjector(clock),
      keyMonitor(mainLoop),
      mainLoop_(mainLoop),
      clock_(clock),
      workspace_(std::make_unique<FakeWorkspace>(*this)),
      accessibility_(std::make_unique<FakeAccessibility>(*this)),
      windowList_(std::make_unique<FakeWindowList>(*this)) {
  applications_.push_back(
      std::make_unique<FakeApplication>(*this, ownProcessID, std::string(ownApplicationID)));
  self_ = applications_.back().get();
  keyInjector.setOnPaste([this](int32_t processID) { paste(processID); });
}

FakeDesktop::~FakeDesktop() = default;

Platform FakeDesktop::platform() {
  Platform platform;
  platform.mainLoop = mainLoop_;
  platform.clock = &clock_;
  platform.workspace = workspace_.get();
  platform.accessibility = accessibility_.get();
  platform.windows = windowList_.get();
  platform.pasteboard = &pasteboard;
  platform.keyInjector = &keyInjector;
  platform.keyMonitor = &keyMonitor;
  platform.hotKeys = &hotKeys;
  return platform;
}

FakeApplication& FakeDesktop::launch(std::optional<std::string> applicationID, int32_t processID) {
  if (processID == 0) {
    while (application(nextProcessID_)) ++nextProcessID_;
    processID = nextProcessID_++;
  } else if (application(processID)) {
    throw std::invalid_argument("process id already in use");
  }
  applications_.push_back(
      std::make_unique<FakeApplication>(*this, processID, std::move(applicationID)));
  return *applications_.back();
}

FakeApplication* FakeDesktop::application(int32_t processID) {
  for (auto& application : applications_) {
    if (application->processID() == processID) return application.get();
  }
  return nullptr;
}

FakeApplication* FakeDesktop::frontmost() {
  return frontmost_;
}

void FakeDesktop::activate(FakeApplication& application) {
  if (!application.isRunning()) throw std::invalid_argument("the application has quit");
  bringForward(&application);
}

void FakeDesktop::activateNothing() {
  bringForward(nullptr);
}

void FakeDesktop::bringForward(FakeApplication* application) {
  if (application) {
    // Its windows rise above all others, keeping their own order.
    std::stable_partition(windows_.begin(), windows_.end(), [&](const Window& window) {
      return window.processID == application->processID();
    });
  }
  if (application == frontmost_) return;
  FakeApplication* previous = frontmost_;
  frontmost_ = application;
  if (previous) deactivations_.post(mainLoop_, previous->running());
  if (application) activations_.post(mainLoop_, application->running());
}

bool FakeDesktop::requestActivation(int32_t processID) {
  auto* target = application(processID);
  if (!target || !target->isRunning()) return false;
  ++target->activationRequests_;
  if (target->refusesActivation_) return false;
  if (!target->activationDelay_) return true;  // accepted, never honoured
  auto comeForward = [this, processID] {
    if (auto* application = this->application(processID); application && application->isRunning()) {
      bringForward(application);
    }
  };
  if (*target->activationDelay_ == Clock::Duration::zero()) {
    asio::post(mainLoop_, comeForward);
  } else {
    pendingActivations_.push_back(clock_.after(mainLoop_, *target->activationDelay_, comeForward));
  }
  return true;
}

uint32_t FakeDesktop::openWindow(FakeApplication& owner, WindowKind kind) {
  const uint32_t windowID = nextWindowID_++;
  windows_.push_front({windowID, owner.processID(), kind});
  return windowID;
}

void FakeDesktop::closeWindow(uint32_t windowID) {
  std::erase_if(windows_, [&](const Window& window) { return window.windowID == windowID; });
}

void FakeDesktop::raise(uint32_t windowID) {
  auto it = std::find_if(windows_.begin(), windows_.end(),
                         [&](const Window& window) { return window.windowID == windowID; });
  if (it == windows_.end()) return;
  Window window = *it;
  windows_.erase(it);
  windows_.push_front(window);
}

void FakeDesktop::quit(FakeApplication& application) {
  application.running_ = false;
  application.focused_.reset();
  for (auto& element : application.elements_) element->destroy();
  std::erase_if(windows_,
                [&](const Window& window) { return window.processID == application.processID(); });
  if (frontmost_ == &application) bringForward(nullptr);
}

void FakeDesktop::paste(int32_t) {
  // The keystroke goes to whatever is in front, whoever it was meant for.
  if (!frontmost_ || !pasteboard.contents()) return;
  const auto& element = frontmost_->focused();
  if (!element || element->isSecure()) return;
  element->receivePaste(*pasteboard.contents());
}
