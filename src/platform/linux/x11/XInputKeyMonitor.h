#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <set>

#include "base/HandlerList.h"
#include "platform/Asio.h"
#include "platform/KeyMonitor.h"
#include "platform/linux/x11/KeyTranslation.h"
#include "platform/linux/x11/XEventPump.h"

namespace wrenly {

// Watches every key of the session through XInput2 raw events on the root window: they reach
// this connection without a grab, whoever holds the keyboard, and never auto-repeat. A pointer
// button pressed while a modifier is held is reported as a key-down of Key::other, so that
// Alt+drag (moving a window) or Ctrl+click counts as a combination and never as a lone tap.
class XInputKeyMonitor final : public KeyMonitor {
 public:
  // Whether the window with keyboard focus belongs to this program.
  using OwnWindowCheck = std::function<bool()>;

  // `display` is this adapter's own connection (XInput2 2.2 present); it must outlive the
  // adapter.
  XInputKeyMonitor(asio::any_io_executor mainLoop, Display* display, int xinputOpcode,
                   OwnWindowCheck ownWindowFocused);

  Subscription monitor(Scope scope, Handler handler) override;

 private:
  void handle(XEvent& event);
  void rawEvent(int type, unsigned detail);
  ModifierState held() const;

  Display* display_;
  int xinputOpcode_;
  OwnWindowCheck ownWindowFocused_;
  KeyTranslation keys_;
  std::set<unsigned> modifiersDown_;  // X key codes
  HandlerList<KeyEvent> global_;
  HandlerList<KeyEvent> local_;
  XEventPump pump_;
};

}  // namespace wrenly
