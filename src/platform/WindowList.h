#pragma once

#include <cstdint>
#include <optional>

namespace wrenly {

// The windows on screen, front to back.
class WindowList {
 public:
  virtual ~WindowList() = default;

  // The number of the front-most on-screen normal window (an ordinary window or a dialog: not a
  // panel, dock, menu, floating or hidden window) owned by the process; none when it has none.
  virtual std::optional<uint32_t> frontNormalWindow(int32_t processID) const = 0;
};

}  // namespace wrenly
