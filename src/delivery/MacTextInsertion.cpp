#include "delivery/MacTextInsertion.h"

#include <boost/system/system_error.hpp>
#include <stdexcept>

#include "platform/Clock.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/Required.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace wrenly {

MacTextInsertion::MacTextInsertion(const Platform& platform)
    : workspace_(required(platform.workspace, "MacTextInsertion", "workspace")),
      accessibility_(required(platform.accessibility, "MacTextInsertion", "accessibility service")),
      windows_(required(platform.windows, "MacTextInsertion", "window list")),
      pasteboard_(required(platform.pasteboard, "MacTextInsertion", "clipboard")),
      keyInjector_(required(platform.keyInjector, "MacTextInsertion", "key injector")),
      clock_(required(platform.clock, "MacTextInsertion", "clock")) {
  // A target records the counter when it is captured; delivery compares it with the counter
  // then, so any application switch in between is noticed.
  activationObserver_ =
      workspace_.onActivation([this](const RunningApplication&) { ++generation_; });
}

bool MacTextInsertion::hasAccessibility() const {
  return accessibility_.isTrusted();
}

void MacTextInsertion::requestAccessibility() {
  accessibility_.requestTrust();
}

bool MacTextInsertion::copy(const std::string& text) {
  return pasteboard_.writeString(text);
}

ElementHandle MacTextInsertion::focusedElement(int32_t processID) {
  return accessibility_.focusedElement(processID, messagingTimeout);
}

bool MacTextInsertion::isSecure(const ElementHandle& element) {
  return element && element->isSecure();
}

std::optional<uint32_t> MacTextInsertion::frontWindowID(int32_t processID) {
  return windows_.frontNormalWindow(processID);
}

std::optional<std::string> MacTextInsertion::selectedText(const ElementHandle& element) {
  if (!element) return std::nullopt;
  return element->selectedText();
}

std::optional<std::string> MacTextInsertion::role(const ElementHandle& element) {
  if (!element) return std::nullopt;
  return element->role();
}

std::optional<int32_t> MacTextInsertion::frontmostTargetProcess() const {
  const auto front = workspace_.frontmostApplication();
  if (!front) return std::nullopt;
  // The process decides first: two applications the desktop has no id for are not thereby the
  // same application.
  if (front->processID == workspace_.ownProcessID()) return std::nullopt;
  const auto own = workspace_.ownApplicationID();
  if (front->applicationID && own && *front->applicationID == *own) return std::nullopt;
  return front->processID;
}

bool MacTextInsertion::isFrontmost(int32_t processID) const {
  const auto front = workspace_.frontmostApplication();
  return front && front->processID == processID;
}

asio::awaitable<void> MacTextInsertion::pause(std::chrono::milliseconds delay) {
  // A cancelled pause counts as a completed one: the caller goes on with its checks, which read
  // the desktop afresh.
  try {
    co_await clock_.sleep(delay);
  } catch (const boost::system::system_error& error) {
    if (error.code() != asio::error::operation_aborted) throw;
  }
}

}  // namespace wrenly
