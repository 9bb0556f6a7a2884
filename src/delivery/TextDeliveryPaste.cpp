#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Clock.h"
#include "platform/KeyInjector.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace wrenly {

asio::awaitable<DeliveryResult> TextDelivery::insert(std::string text,
                                                     std::optional<InputTarget> target,
                                                     std::optional<std::string> replacing) {
  // The text always ends up on the clipboard, so the user can paste by hand whatever happens.
  if (text.empty()) co_return DeliveryResult::failed;
  if (!copy(text)) co_return DeliveryResult::failed;
  if (!hasAccessibility() || !target) co_return DeliveryResult::copied;
  co_return co_await deliver(*target, replacing);
}

asio::awaitable<DeliveryResult> TextDelivery::deliver(const InputTarget& target,
                                                      const std::optional<std::string>& replacing) {
  using enum DeliveryResult;
  const int32_t processID = target.processID;
  if (!workspace_.runningApplication(processID)) co_return copied;

  ElementHandle now = focusedElement(processID);
  if (isSecure(now)) co_return copied;

  const auto frontWindow = frontWindowID(processID);
  const bool windowChanged = !target.windowID || !frontWindow || *frontWindow != *target.windowID;
  const bool appChanged = target.focusGeneration != generation_ || !isFrontmost(processID);

  const ElementHandle& captured = target.focusedElement;
  const bool sameElement = captured && now && captured->isSameElement(*now);
  if (sameElement) {
    if (!isFrontmost(processID)) {
      if (!workspace_.activate(processID)) co_return copied;
      for (int pauses = 0; pauses < activationChecks && !isFrontmost(processID); ++pauses) {
        co_await pause(clock_, activationPause);
      }
      // Whether it came forward in time is checked once more below.
    }
  } else {
    if (appChanged || windowChanged || replacing) {
      Diagnostics::record("delivery fallback=clipboard reason=focus_changed");
      co_return copied;
    }
    // Both known and different: focus moved to another field unless the captured one is gone
    // (a web page rebuilding its field). An element that does not answer proves neither.
    if (captured && now && captured->liveness() != ElementLiveness::gone) co_return copied;
    Diagnostics::record("delivery mode=same_window_paste");
  }

  if (!isFrontmost(processID)) co_return copied;
  now = focusedElement(processID);
  if (isSecure(now)) co_return copied;

  if (replacing) {
    // Replace only the selection the instruction was made from.
    if (!captured || !now || !captured->isSameElement(*now)) co_return copied;
    auto selection = selectedText(now);
    if (selection != replacing) {
      if (!target.selectedRange) co_return copied;
      now->setSelectedRange(*target.selectedRange);
      selection = selectedText(now);
      if (selection != replacing) co_return copied;
    }
  }

  if (!keyInjector_.pasteKeyDown(processID)) co_return copied;
  {
    // Released however this coroutine ends, so no key stays down on the desktop.
    struct KeysHeld {
      KeyInjector& injector;
      ~KeysHeld() { injector.pasteKeyUp(); }
    } held{keyInjector_};
    co_await pause(clock_, pasteKeyHold);
  }
  co_return pasteSent;
}

}  // namespace wrenly
