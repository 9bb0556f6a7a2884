#include "controller/DictationCycle.h"
#include "controller/NoticeTimer.h"
#include "delivery/TextDelivery.h"
#include "messages/Messages.h"
#include "platform/Clock.h"
#include "platform/Overlay.h"

namespace wrenly {

// Nothing here is logged: the entries are what the user said.

void DictationCycle::publishHistory() {
  state_.history = history_.entries();
  state_.historyKeptOnDisk = history_.keptOnDisk();
}

void DictationCycle::remember(const std::string& text,
                              const std::optional<InputTarget>& destination) {
  if (text.empty()) return;
  HistoryEntry entry;
  entry.text = text;
  entry.time = clock_.wallTime();
  if (destination) {
    if (auto application = workspace_.runningApplication(destination->processID)) {
      entry.application = application->applicationID.value_or("");
    }
  }
  history_.add(std::move(entry));
  publishHistory();
}

std::optional<InputTarget> DictationCycle::fieldForWindowRequest() {
  if (auto front = context_.ports.insertion.captureTarget()) return front;
  if (recentTarget_ && !frontmostHasSecureField()) return recentTarget_->value;
  return std::nullopt;
}

void DictationCycle::copyHistoryEntry(std::uint64_t id) {
  const HistoryEntry* entry = history_.find(id);
  if (!entry) return;
  ControllerChange change(context_);
  state_.message =
      context_.ports.insertion.copy(entry->text) ? Messages::copiedLastText : Messages::copyFailed;
}

void DictationCycle::pasteHistoryEntry(std::uint64_t id) {
  const HistoryEntry* entry = history_.find(id);
  // One paste at a time, and never into a dictation under way.
  if (!entry || state_.phase != Phase::idle) return;
  ControllerChange change(context_);
  state_.phase = Phase::processing;
  context_.spawn(paste(context_.owner.lock(), entry->text, fieldForWindowRequest()));
}

asio::awaitable<void> DictationCycle::paste([[maybe_unused]] std::shared_ptr<const void> self,
                                            std::string text,
                                            std::optional<InputTarget> destination) {
  const auto result =
      co_await context_.ports.insertion.insert(std::move(text), std::move(destination), {});
  ControllerChange change(context_);
  reportDelivery(result);
}

void DictationCycle::clearHistory() {
  ControllerChange change(context_);
  history_.clear();
  publishHistory();
}

void DictationCycle::keepHistoryOnDisk(bool keep) {
  ControllerChange change(context_);
  history_.keepOnDisk(keep);
  publishHistory();
}

void DictationCycle::reportDelivery(DeliveryResult result) {
  std::string notice;
  switch (result) {
    case DeliveryResult::pasteSent:
      state_.message = Messages::pasteSent;
      notice = Messages::pasteSentNotice;
      break;
    case DeliveryResult::copied:
      state_.message = Messages::copied;
      notice = Messages::copiedNotice;
      break;
    case DeliveryResult::failed:
      state_.message = Messages::copyFailed;
      notice = Messages::copyFailedNotice;
      break;
  }
  state_.phase = Phase::idle;
  notices_.show(notice);
}

}  // namespace wrenly
