#pragma once

#include <optional>
#include <string>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/Workspace.h"
#include "platform/linux/x11/WindowProperties.h"
#include "platform/linux/x11/XEventPump.h"

namespace wrenly {

// The applications of an X11 session as the window manager describes them (EWMH): the owner of
// the active window is in front, changes arrive as property changes of the root window on this
// adapter's own connection.
class X11Workspace final : public Workspace {
 public:
  // `display` is this adapter's own connection; it must outlive the adapter.
  X11Workspace(asio::any_io_executor mainLoop, Display* display,
               std::optional<std::string> ownApplicationID);

  std::optional<RunningApplication> frontmostApplication() const override;
  std::optional<std::string> ownApplicationID() const override { return ownApplicationID_; }
  int32_t ownProcessID() const override;
  std::optional<RunningApplication> runningApplication(int32_t processID) const override;
  bool activate(int32_t processID) override;
  Subscription onActivation(ApplicationHandler handler) override;
  Subscription onDeactivation(ApplicationHandler handler) override;
  bool openURL(const std::string& url) override;

  // The application in front as the last property change reported it (no request made).
  const std::optional<RunningApplication>& lastActivated() const { return current_; }

 private:
  std::optional<RunningApplication> applicationOf(Window window) const;
  void handle(XEvent& event);
  void activeWindowChanged();

  WindowProperties windows_;
  std::optional<std::string> ownApplicationID_;
  std::optional<RunningApplication> current_;
  HandlerList<RunningApplication> activations_;
  HandlerList<RunningApplication> deactivations_;
  mutable XEventPump pump_;  // reads made by const queries may queue events
};

}  // namespace wrenly
