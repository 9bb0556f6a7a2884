#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Clock.h"
#include "platform/Workspace.h"

namespace wrenly {

namespace {

// Only white space and line breaks, Unicode ones included (the ideographic space, for one).
bool isBlank(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0 || !u_isUWhiteSpace(c)) return false;
  }
  return true;
}

}  // namespace

std::optional<InputTarget> TextDelivery::captureTarget() {
  const auto processID = frontmostTargetProcess();
  if (!processID) return std::nullopt;
  return captureTarget(*processID);
}

std::optional<InputTarget> TextDelivery::captureTarget(int32_t processID) {
  if (processID == workspace_.ownProcessID()) return std::nullopt;

  ElementHandle element;
  if (hasAccessibility()) {
    element = focusedElement(processID);
    // Nothing is ever captured from a password field.
    if (element && isSecure(element)) return std::nullopt;
  }
  Diagnostics::record(element ? "target captured ax=true" : "target captured ax=false");

  InputTarget target;
  target.processID = processID;
  if (element) target.selectedRange = element->selectedRange();
  target.focusedElement = std::move(element);
  target.windowID = frontWindowID(processID);
  target.focusGeneration = generation_;
  return target;
}

std::optional<SelectedText> TextDelivery::captureSelection() {
  auto target = captureTarget();
  if (!target || !target->focusedElement) return std::nullopt;
  auto text = selectedText(target->focusedElement);
  if (!text || isBlank(*text)) return std::nullopt;
  return SelectedText{std::move(*target), std::move(*text)};
}

std::optional<SelectedText> TextDelivery::captureSelection(int32_t processID) {
  auto target = captureTarget(processID);
  if (!target || !target->focusedElement) return std::nullopt;
  auto text = selectedText(target->focusedElement);
  if (!text || isBlank(*text)) return std::nullopt;
  return SelectedText{std::move(*target), std::move(*text)};
}

asio::awaitable<void> TextDelivery::prepareFrontmostApplication() {
  if (!hasAccessibility()) co_return;
  const auto processID = frontmostTargetProcess();
  if (!processID) co_return;
  const int result = accessibility_.prepareApplication(*processID, messagingTimeout);
  Diagnostics::record("accessibility prepare result=" + std::to_string(result));
  if (result != 0) co_return;
  // Give the application time to build its element tree before the capture that follows. A
  // cancelled wait just ends the preparation.
  co_await pause(clock_, prepareSettleTime);
}

}  // namespace wrenly
