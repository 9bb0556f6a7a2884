#pragma once

#include <boost/asio/local/stream_protocol.hpp>
#include <boost/json/fwd.hpp>
#include <memory>
#include <optional>
#include <string>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/Workspace.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

// The applications of a sway session as sway's IPC describes them: the owner of the focused
// window is in front (native Wayland and XWayland windows alike, where the X server sees none of
// the former), and focus changes arrive as window events on a connection of their own.
class SwayWorkspace final : public Workspace {
 public:
  // None when sway does not answer at `socketPath` (SWAYSOCK).
  static std::unique_ptr<SwayWorkspace> open(asio::any_io_executor mainLoop,
                                             const std::string& socketPath,
                                             std::optional<std::string> ownApplicationID);
  ~SwayWorkspace() override;

  std::optional<RunningApplication> frontmostApplication() const override;
  std::optional<std::string> ownApplicationID() const override { return ownApplicationID_; }
  int32_t ownProcessID() const override;
  std::optional<RunningApplication> runningApplication(int32_t processID) const override;
  bool activate(int32_t processID) override;
  Subscription onActivation(ApplicationHandler handler) override;
  Subscription onDeactivation(ApplicationHandler handler) override;
  bool openURL(const std::string& url) override;

 private:
  struct Events;  // the event connection and its buffers, kept alive by pending reads

  SwayWorkspace(UniqueFd requests, std::optional<std::string> ownApplicationID)
      : requests_(std::move(requests)), ownApplicationID_(std::move(ownApplicationID)) {}
  std::optional<boost::json::value> tree() const;
  void readEvent();
  // A handler may destroy the workspace.
  void handleEvent();
  void focusChanged(const std::optional<RunningApplication>& application);

  UniqueFd requests_;
  std::optional<std::string> ownApplicationID_;
  std::shared_ptr<Events> events_;
  std::optional<RunningApplication> current_;
  HandlerList<RunningApplication> activations_;
  HandlerList<RunningApplication> deactivations_;
};

}  // namespace wrenly
