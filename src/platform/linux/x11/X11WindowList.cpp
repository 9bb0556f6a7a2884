#include "platform/linux/x11/X11WindowList.h"

namespace wrenly {

std::optional<uint32_t> X11WindowList::frontNormalWindow(int32_t processID) const {
  for (Window window : windows_.stackingFrontFirst()) {
    if (windows_.processID(window) == processID && windows_.isNormalShownWindow(window)) {
      return static_cast<uint32_t>(window);
    }
  }
  return std::nullopt;
}

}  // namespace wrenly
