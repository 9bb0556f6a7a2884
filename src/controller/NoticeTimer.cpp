#include "controller/NoticeTimer.h"

#include "base/Uuid.h"

namespace wrenly {

void NoticeTimer::show(const std::string& text) {
  ControllerChange change(context_);
  auto id = makeUuid();
  current_ = id;
  context_.state.overlayNotice = text;
  context_.overlay.show({.activity = OverlaySnapshot::Activity::notice,
                         .notice = text,
                         .triggerKeyTitle = context_.state.triggerKeyTitle,
                         .editingSelection = false});
  context_.spawn(hideLater(context_.owner, context_.clock, std::move(id)));
}

void NoticeTimer::showActivity(OverlaySnapshot::Activity activity) {
  current_.reset();
  context_.overlay.show({.activity = activity,
                         .notice = {},
                         .triggerKeyTitle = context_.state.triggerKeyTitle,
                         .editingSelection = context_.state.isEditingSelection});
}

asio::awaitable<void> NoticeTimer::hideLater(std::weak_ptr<const void> owner, Clock& clock,
                                             std::string id) {
  // Nothing of this object is touched until `owner` is locked: it may be gone by then.
  co_await pause(clock, duration);
  auto alive = owner.lock();
  if (!alive || current_ != id) co_return;  // a newer notice decides
  current_.reset();
  hideWhenUnused();
}

void NoticeTimer::hideWhenUnused() {
  // A dictation under way or a notice still on screen keeps the overlay up.
  if (context_.state.phase == DictationPhase::idle && !current_) context_.overlay.hide();
}

}  // namespace wrenly
