#pragma once

#include "platform/WindowList.h"
#include "platform/linux/x11/WindowProperties.h"

namespace wrenly {

// The managed windows of an X11 session in the window manager's stacking order.
class X11WindowList final : public WindowList {
 public:
  // Borrows `display`, which must outlive the adapter and be used on the main loop only.
  explicit X11WindowList(Display* display) : windows_(display) {}

  std::optional<uint32_t> frontNormalWindow(int32_t processID) const override;

 private:
  WindowProperties windows_;
};

}  // namespace wrenly
