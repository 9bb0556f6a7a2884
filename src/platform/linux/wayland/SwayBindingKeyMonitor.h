#pragma once

#include <boost/asio/local/stream_protocol.hpp>
#include <memory>
#include <string>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/KeyMonitor.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

// Lone taps of the modifier keys as sway's own key bindings see them, for sessions where neither
// the X server (XWayland shows no keys of native windows) nor the kernel's devices (not readable)
// show this program the keys. Each modifier key gets a release binding that runs nothing: sway
// runs it only when the key went up with no other key pressed meanwhile, and a release binding
// takes no key away from the applications. The bindings are added at start and removed when the
// monitor goes. A binding's event becomes a whole lone tap (the key down, then up), so the
// trigger key detector decides as with any other monitor. Every event of its own is global;
// lives on the main loop, and handlers are called there.
//
// While an XWayland window has focus the X server shows the keys itself, with every chord: the
// X server's monitor, when given, serves those keys, and the bindings' events then count for
// nothing (a tap would arrive twice).
class SwayBindingKeyMonitor final : public KeyMonitor {
 public:
  // None when sway does not answer at `socketPath` (SWAYSOCK) or refuses every binding. Borrows
  // `xwayland` (may be null), which must outlive the monitor.
  static std::unique_ptr<SwayBindingKeyMonitor> open(asio::any_io_executor mainLoop,
                                                     const std::string& socketPath,
                                                     KeyMonitor* xwayland = nullptr);
  ~SwayBindingKeyMonitor() override;
  SwayBindingKeyMonitor(const SwayBindingKeyMonitor&) = delete;
  SwayBindingKeyMonitor& operator=(const SwayBindingKeyMonitor&) = delete;

  Subscription monitor(Scope scope, Handler handler) override;
  // sway tells of a binding only at the key's release.
  bool seesPresses() const override { return false; }

 private:
  struct Events;  // the event connection and its buffers, kept alive by pending reads

  SwayBindingKeyMonitor(UniqueFd requests, KeyMonitor* xwayland)
      : requests_(std::move(requests)), xwayland_(xwayland) {}
  bool run(const std::string& command);
  bool xwaylandFocused() const;
  void readEvent();
  // A handler may destroy the monitor.
  void handleEvent();

  UniqueFd requests_;
  KeyMonitor* xwayland_;
  std::shared_ptr<Events> events_;
  HandlerList<KeyEvent> global_;
  HandlerList<KeyEvent> local_;  // never called: sway's bindings do not tell whose window it was
};

}  // namespace wrenly
