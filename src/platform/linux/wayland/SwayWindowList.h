#pragma once

#include <memory>
#include <string>

#include "platform/WindowList.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

// The windows of a sway session from its IPC, native Wayland and XWayland ones alike; a window's
// number is sway's id of its container.
class SwayWindowList final : public WindowList {
 public:
  // None when sway does not answer at `socketPath` (SWAYSOCK).
  static std::unique_ptr<SwayWindowList> open(const std::string& socketPath);

  std::optional<uint32_t> frontNormalWindow(int32_t processID) const override;

 private:
  explicit SwayWindowList(UniqueFd requests) : requests_(std::move(requests)) {}

  UniqueFd requests_;
};

}  // namespace wrenly
