#pragma once

#include <optional>
#include <string>

#include "controller/ControllerContext.h"
#include "platform/Overlay.h"

namespace wrenly {

// The overlay's short notices: shows one and hides the overlay when its time is over, unless a
// newer notice or a dictation came since. Owns the notice part of the state.
class NoticeTimer {
 public:
  static constexpr Clock::Duration duration = std::chrono::seconds(3);

  explicit NoticeTimer(ControllerContext& context) : context_(context) {}

  void show(const std::string& text);
  // A dictation takes the overlay over from an earlier notice.
  void showActivity(OverlaySnapshot::Activity activity);
  // Hides the overlay when nothing is left for it to show: at idle, with no notice current.
  void hideWhenUnused();

 private:
  asio::awaitable<void> hideLater(std::weak_ptr<const void> owner, Clock& clock, std::string id);

  ControllerContext& context_;
  std::optional<std::string> current_;  // the notice on screen, until its time is over
};

}  // namespace wrenly
