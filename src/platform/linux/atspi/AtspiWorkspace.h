#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"
#include "platform/linux/atspi/AtspiHomeThread.h"

namespace wrenly {

// The applications as the accessibility bus sees them, for Wayland compositors that tell
// clients nothing of other windows (no IPC, no foreign-toplevel protocol) while the X server
// sees only its own. The application whose frame is active is in front; the bus's window and
// state events keep that answer on the home thread, which posts each change to the main loop,
// so no call here waits on another application.
class AtspiWorkspace final : public Workspace {
 public:
  AtspiWorkspace(asio::any_io_executor mainLoop, std::shared_ptr<AtspiHomeThread> home,
                 std::optional<std::string> ownApplicationID);
  ~AtspiWorkspace() override;
  AtspiWorkspace(const AtspiWorkspace&) = delete;
  AtspiWorkspace& operator=(const AtspiWorkspace&) = delete;

  std::optional<RunningApplication> frontmostApplication() const override;
  std::optional<std::string> ownApplicationID() const override { return ownApplicationID_; }
  int32_t ownProcessID() const override;
  std::optional<RunningApplication> runningApplication(int32_t processID) const override;
  bool activate(int32_t processID) override;
  Subscription onActivation(ApplicationHandler handler) override;
  Subscription onDeactivation(ApplicationHandler handler) override;
  bool openURL(const std::string& url) override;

  // The number of the frame of the process that was active last; none when none was seen.
  std::optional<uint32_t> lastActiveFrame(int32_t processID) const;

  // A frame became active (`active`) or stopped being so, as the home thread saw it.
  struct FrameChange {
    RunningApplication application;
    uint32_t frame = 0;
    bool active = false;
  };

 private:
  // The main loop's side, reached by the changes the home thread posts while it lives.
  struct Front {
    std::optional<RunningApplication> current;  // the owner of the active frame
    std::optional<uint32_t> currentFrame;
    std::optional<RunningApplication> switchedFrom;  // the last one handlers were told of
    std::map<int32_t, uint32_t> lastFrame;           // by process
    std::map<int32_t, std::optional<std::string>> applicationIDs;
    HandlerList<RunningApplication> activations;
    HandlerList<RunningApplication> deactivations;

    void apply(const FrameChange& change);
  };
  struct HomeState;  // the bus's listeners, touched on the home thread only

  std::shared_ptr<AtspiHomeThread> home_;
  std::optional<std::string> ownApplicationID_;
  std::shared_ptr<Front> front_ = std::make_shared<Front>();
  HomeState* state_ = nullptr;  // owned by the home thread
};

// The active frames on the accessibility bus; a frame's number comes from its object path.
class AtspiWindowList final : public WindowList {
 public:
  explicit AtspiWindowList(const AtspiWorkspace& workspace) : workspace_(workspace) {}

  std::optional<uint32_t> frontNormalWindow(int32_t processID) const override {
    return workspace_.lastActiveFrame(processID);
  }

 private:
  const AtspiWorkspace& workspace_;
};

}  // namespace wrenly
