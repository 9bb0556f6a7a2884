#pragma once

#include <optional>

#include "base/HandlerList.h"
#include "platform/KeyMonitor.h"

namespace wrenly {

// Key monitors that deliver what the test sends (usually through KeyEventScript): global events
// at once on the sending thread (they may come from any thread), local ones posted to the main
// loop (they come from its event processing), each scope in order.
class FakeKeyMonitor final : public KeyMonitor {
 public:
  explicit FakeKeyMonitor(asio::any_io_executor mainLoop) : mainLoop_(std::move(mainLoop)) {}

  Subscription monitor(Scope scope, Handler handler) override {
    if (scope == refused_) return {};
    return list(scope).add(std::move(handler));
  }

  // The desktop will not let this scope be watched (none: both may be).
  void refuse(std::optional<Scope> scope) { refused_ = scope; }
  void send(Scope scope, const KeyEvent& event) {
    if (scope == Scope::global) return global_.call(event);
    local_.post(mainLoop_, event);
  }
  size_t monitors(Scope scope) { return list(scope).size(); }

 private:
  HandlerList<KeyEvent>& list(Scope scope) { return scope == Scope::global ? global_ : local_; }

  asio::any_io_executor mainLoop_;
  HandlerList<KeyEvent> global_;
  HandlerList<KeyEvent> local_;
  std::optional<Scope> refused_;
};

}  // namespace wrenly
