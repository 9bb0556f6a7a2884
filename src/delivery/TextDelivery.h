#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Subscription.h"
#include "delivery/DeliveryResult.h"
#include "delivery/InputTarget.h"
#include "platform/Accessibility.h"
#include "platform/Asio.h"

namespace wrenly {

class Clock;
class KeyInjector;
class Clipboard;
class WindowList;
class Workspace;
struct Platform;

// Finds out where dictated text must go when a dictation starts, and puts the text there when it
// ends: on the clipboard always, and pasted into the captured field only when that field is
// provably still the one with focus. Everything runs on the main loop; the two coroutines
// suspend only on the Clock.
class TextDelivery {
 public:
  static constexpr Accessibility::Timeout messagingTimeout{300};
  static constexpr std::chrono::milliseconds prepareSettleTime{150};
  static constexpr std::chrono::milliseconds activationPause{50};
  static constexpr int activationChecks = 10;
  static constexpr std::chrono::milliseconds pasteKeyHold{20};

  // Borrows the workspace, accessibility, window list, clipboard, key injector and clock of
  // `platform`; they must outlive this object. Starts counting activations at once.
  explicit TextDelivery(const Platform& platform);
  TextDelivery(const TextDelivery&) = delete;
  TextDelivery& operator=(const TextDelivery&) = delete;

  bool hasAccessibility() const;
  void requestAccessibility();

  // The frontmost application's field (none when this program or nothing is in front).
  std::optional<InputTarget> captureTarget();
  // The given application's own focused field, in front or not. None for this program itself
  // and for a password field; without permission the target has no element and no range.
  std::optional<InputTarget> captureTarget(int32_t processID);
  // Non-blank selected text of the frontmost (or the given) application's focused field.
  std::optional<SelectedText> captureSelection();
  std::optional<SelectedText> captureSelection(int32_t processID);

  // Asks the frontmost application to expose its fields, then gives it time to do so.
  asio::awaitable<void> prepareFrontmostApplication();

  // Puts `text` on the clipboard and pastes it into `target` when that is safe; with `replacing`
  // only over that very selection.
  asio::awaitable<DeliveryResult> insert(std::string text, std::optional<InputTarget> target,
                                         std::optional<std::string> replacing);

  // Clears the clipboard and writes `text`; whether that worked.
  bool copy(const std::string& text);

  // How many times an application became active since this object exists.
  uint64_t generation() const { return generation_; }

  // Building blocks of capture and delivery.
  ElementHandle focusedElement(int32_t processID);
  static bool isSecure(const ElementHandle& element);
  std::optional<uint32_t> frontWindowID(int32_t processID);
  static std::optional<std::string> selectedText(const ElementHandle& element);
  static std::optional<std::string> role(const ElementHandle& element);

 private:
  // The frontmost application's process unless it is this program (or nothing is in front).
  std::optional<int32_t> frontmostTargetProcess() const;
  bool isFrontmost(int32_t processID) const;
  asio::awaitable<DeliveryResult> deliver(const InputTarget& target,
                                          const std::optional<std::string>& replacing);

  Workspace& workspace_;
  Accessibility& accessibility_;
  WindowList& windows_;
  Clipboard& clipboard_;
  KeyInjector& keyInjector_;
  Clock& clock_;
  uint64_t generation_ = 0;
  Subscription activationObserver_;
};

}  // namespace wrenly
