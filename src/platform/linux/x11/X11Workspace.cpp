#include "platform/linux/x11/X11Workspace.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <fstream>

#include "base/ProcessState.h"
#include "platform/linux/x11/XdgOpen.h"

namespace wrenly {

X11Workspace::X11Workspace(asio::any_io_executor mainLoop, Display* display,
                           std::optional<std::string> ownApplicationID)
    : windows_(display),
      ownApplicationID_(std::move(ownApplicationID)),
      pump_(std::move(mainLoop), display, [this](XEvent& event) { handle(event); }) {
  XSelectInput(display, windows_.root(), PropertyChangeMask);
  if (auto window = windows_.activeWindow()) current_ = applicationOf(*window);
  pump_.drainSoon();
}

std::optional<RunningApplication> X11Workspace::applicationOf(Window window) const {
  auto processID = windows_.processID(window);
  if (!processID) return std::nullopt;
  return RunningApplication{*processID, windows_.applicationID(window)};
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const {
  auto window = windows_.activeWindow();
  auto application = window ? applicationOf(*window) : std::nullopt;
  pump_.drainSoon();
  return application;
}

int32_t X11Workspace::ownProcessID() const {
  return static_cast<int32_t>(getpid());
}

std::optional<RunningApplication> X11Workspace::runningApplication(int32_t processID) const {
  if (!processIsRunning(processID)) return std::nullopt;
  if (processID == ownProcessID()) return RunningApplication{processID, ownApplicationID_};
  RunningApplication application{processID, std::nullopt};
  for (Window window : windows_.stackingFrontFirst()) {
    if (windows_.processID(window) == processID) {
      application.applicationID = windows_.applicationID(window);
      break;
    }
  }
  pump_.drainSoon();
  return application;
}

bool X11Workspace::activate(int32_t processID) {
  // The front window of the process, minimised or not: the window manager restores it.
  std::optional<Window> target;
  for (Window window : windows_.stackingFrontFirst()) {
    if (windows_.processID(window) == processID) {
      target = window;
      break;
    }
  }
  pump_.drainSoon();
  if (!target) return false;
  Display* display = windows_.display();
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = *target;
  message.xclient.message_type = windows_.atoms().activeWindow;
  message.xclient.format = 32;
  message.xclient.data.l[0] = 2;  // asked for by the user's tool, not by the application itself
  message.xclient.data.l[1] = CurrentTime;
  Status sent = XSendEvent(display, windows_.root(), False,
                           SubstructureRedirectMask | SubstructureNotifyMask, &message);
  XFlush(display);
  return sent != 0;
}

Subscription X11Workspace::onActivation(ApplicationHandler handler) {
  return activations_.add(std::move(handler));
}

Subscription X11Workspace::onDeactivation(ApplicationHandler handler) {
  return deactivations_.add(std::move(handler));
}

bool X11Workspace::openURL(const std::string& url) {
  return openWithXdgOpen(url);
}

void X11Workspace::handle(XEvent& event) {
  if (event.type == PropertyNotify && event.xproperty.window == windows_.root() &&
      event.xproperty.atom == windows_.atoms().activeWindow) {
    activeWindowChanged();
  }
}

void X11Workspace::activeWindowChanged() {
  // The window manager clears the hint between two windows: only a new owner counts.
  auto window = windows_.activeWindow();
  if (!window) return;
  auto application = applicationOf(*window);
  if (!application || (current_ && current_->processID == application->processID)) return;
  auto previous = std::exchange(current_, application);
  if (previous) deactivations_.call(*previous);
  activations_.call(*application);
}

}  // namespace wrenly
