#include "platform/linux/x11/X11Desktop.h"

#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/TerminalClasses.h"
#include "platform/linux/x11/WindowProperties.h"
#include "platform/linux/x11/X11WindowList.h"
#include "platform/linux/x11/X11Workspace.h"
#include "platform/linux/x11/XGrabChordRegistrar.h"
#include "platform/linux/x11/XInputKeyMonitor.h"
#include "platform/linux/x11/XTestKeyInjector.h"

namespace wrenly {

namespace {

constexpr Accessibility::Timeout terminalRoleTimeout{100};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

X11Desktop::Opened X11Desktop::open(asio::any_io_executor mainLoop, const Options& options,
                                    Accessibility& accessibility) {
  if (!options.displayName && environment("DISPLAY").empty()) {
    std::string detail = "DISPLAY is not set";
    if (!environment("WAYLAND_DISPLAY").empty()) detail += " (a Wayland session without XWayland)";
    return DesktopError{DesktopMissing::display, detail};
  }
  const std::string name = options.displayName.value_or(environment("DISPLAY"));
  std::unique_ptr<X11Desktop> desktop(new X11Desktop(accessibility));
  for (auto* connection : {&desktop->workspaceConnection_, &desktop->requestConnection_,
                           &desktop->keyConnection_, &desktop->chordConnection_}) {
    *connection = openXConnection(name);
    if (!*connection) {
      return DesktopError{DesktopMissing::displayUnreachable,
                          "cannot connect to X display " + name};
    }
  }

  Display* keys = desktop->keyConnection_.get();
  int xinputOpcode = 0;
  int event = 0;
  int error = 0;
  int major = 2;
  int minor = 2;
  if (!XQueryExtension(keys, "XInputExtension", &xinputOpcode, &event, &error) ||
      XIQueryVersion(keys, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2)) {
    return DesktopError{DesktopMissing::xinput2,
                        "X display " + name + " lacks XInputExtension 2.2"};
  }
  int ignored = 0;
  if (!XTestQueryExtension(desktop->requestConnection_.get(), &ignored, &ignored, &major, &minor)) {
    return DesktopError{DesktopMissing::xtest, "X display " + name + " lacks XTEST"};
  }

  X11Desktop& self = *desktop;
  self.workspace_ = std::make_unique<X11Workspace>(mainLoop, self.workspaceConnection_.get(),
                                                   options.ownApplicationID);
  self.windows_ = std::make_unique<X11WindowList>(self.requestConnection_.get());
  self.keyInjector_ = std::make_unique<XTestKeyInjector>(
      self.requestConnection_.get(),
      [&self](int32_t processID) { return self.isTerminal(processID); });
  self.keyMonitor_ = std::make_unique<XInputKeyMonitor>(
      mainLoop, keys, xinputOpcode, [&self] { return self.ownWindowFocused(); });
  self.chords_ = std::make_unique<XGrabChordRegistrar>(mainLoop, self.chordConnection_.get());
  return Opened(std::move(desktop));
}

X11Desktop::X11Desktop(Accessibility& accessibility) : accessibility_(accessibility) {}

X11Desktop::~X11Desktop() = default;

bool X11Desktop::isTerminal(int32_t processID) {
  WindowProperties properties(requestConnection_.get());
  for (Window window : properties.stackingFrontFirst()) {
    if (properties.processID(window) != processID) continue;
    auto windowClass = properties.windowClass(window);
    if (windowClass && isTerminalClass(*windowClass)) return true;
    break;
  }
  auto element = accessibility_.focusedElement(processID, terminalRoleTimeout);
  return element && element->role() == "terminal";
}

Workspace& X11Desktop::workspace() {
  return *workspace_;
}
WindowList& X11Desktop::windows() {
  return *windows_;
}
KeyInjector& X11Desktop::keyInjector() {
  return *keyInjector_;
}
KeyMonitor& X11Desktop::keyMonitor() {
  return *keyMonitor_;
}
bool X11Desktop::ownWindowFocused() const {
  const auto& front = workspace_->lastActivated();
  return front && front->processID == workspace_->ownProcessID();
}
ChordRegistrar& X11Desktop::chords() {
  return *chords_;
}

DesktopPorts X11Desktop::ports() {
  return {.workspace = workspace_.get(),
          .windows = windows_.get(),
          .keyInjector = keyInjector_.get(),
          .keyMonitor = keyMonitor_.get(),
          .chords = chords_.get()};
}

}  // namespace wrenly
