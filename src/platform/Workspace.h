#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/Subscription.h"

namespace wrenly {

// A running application as the desktop knows it.
struct RunningApplication {
  int32_t processID = 0;
  // The desktop's id of the application (its .desktop file id or window class); none when the
  // desktop cannot tell. Two applications without an id are not the same application.
  std::optional<std::string> applicationID;

  bool operator==(const RunningApplication&) const = default;
};

// The applications on the desktop: which one is in front, switching between them, and this
// program's own identity. Every call is made on the main loop and returns without waiting on
// another application.
class Workspace {
 public:
  using ApplicationHandler = std::function<void(const RunningApplication&)>;

  virtual ~Workspace() = default;

  // The application owning the active window; none when no window is active.
  virtual std::optional<RunningApplication> frontmostApplication() const = 0;

  virtual std::optional<std::string> ownApplicationID() const = 0;
  virtual int32_t ownProcessID() const = 0;

  // None when no application with that process is running (it has exited).
  virtual std::optional<RunningApplication> runningApplication(int32_t processID) const = 0;

  // Asks the desktop to bring the application's front window forward, whatever is in front now.
  // True when the request was made; the switch itself is reported later as an activation.
  virtual bool activate(int32_t processID) = 0;

  // Each time another application becomes the frontmost one, `onActivation` handlers receive it
  // and `onDeactivation` handlers receive the one that was frontmost before (when there was
  // one). Handlers run on the main loop, never from inside a call into this port.
  [[nodiscard]] virtual Subscription onActivation(ApplicationHandler handler) = 0;
  [[nodiscard]] virtual Subscription onDeactivation(ApplicationHandler handler) = 0;

  // Opens the URL with the desktop's default handler; false when it could not be handed over.
  virtual bool openURL(const std::string& url) = 0;
};

}  // namespace wrenly
