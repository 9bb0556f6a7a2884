#include "delivery/TextDelivery.h"

#include <stdexcept>

#include "base/Required.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace wrenly {

TextDelivery::TextDelivery(const Platform& platform)
    : workspace_(required(platform.workspace, "TextDelivery", "workspace")),
      accessibility_(required(platform.accessibility, "TextDelivery", "accessibility service")),
      windows_(required(platform.windows, "TextDelivery", "window list")),
      clipboard_(required(platform.clipboard, "TextDelivery", "clipboard")),
      keyInjector_(required(platform.keyInjector, "TextDelivery", "key injector")),
      clock_(required(platform.clock, "TextDelivery", "clock")) {
  // A target records the counter when it is captured; delivery compares it with the counter
  // then, so any application switch in between is noticed.
  activationObserver_ =
      workspace_.onActivation([this](const RunningApplication&) { ++generation_; });
}

bool TextDelivery::hasAccessibility() const {
  return accessibility_.isTrusted();
}

void TextDelivery::requestAccessibility() {
  accessibility_.requestTrust();
}

bool TextDelivery::copy(const std::string& text) {
  return clipboard_.writeString(text);
}

ElementHandle TextDelivery::focusedElement(int32_t processID) {
  return accessibility_.focusedElement(processID, messagingTimeout);
}

bool TextDelivery::isSecure(const ElementHandle& element) {
  return element && element->isSecure();
}

std::optional<uint32_t> TextDelivery::frontWindowID(int32_t processID) {
  return windows_.frontNormalWindow(processID);
}

std::optional<std::string> TextDelivery::selectedText(const ElementHandle& element) {
  if (!element) return std::nullopt;
  return element->selectedText();
}

std::optional<std::string> TextDelivery::role(const ElementHandle& element) {
  if (!element) return std::nullopt;
  return element->role();
}

std::optional<int32_t> TextDelivery::frontmostTargetProcess() const {
  const auto front = workspace_.frontmostApplication();
  if (!front) return std::nullopt;
  // The process decides first: two applications the desktop has no id for are not thereby the
  // same application.
  if (front->processID == workspace_.ownProcessID()) return std::nullopt;
  const auto own = workspace_.ownApplicationID();
  if (front->applicationID && own && *front->applicationID == *own) return std::nullopt;
  return front->processID;
}

bool TextDelivery::isFrontmost(int32_t processID) const {
  const auto front = workspace_.frontmostApplication();
  return front && front->processID == processID;
}

}  // namespace wrenly
