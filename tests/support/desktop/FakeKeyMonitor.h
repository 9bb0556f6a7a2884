#pragma once

#include "platform/KeyMonitor.h"
#include "support/desktop/HandlerList.h"

// Key monitors that deliver what the test sends (usually through KeyEventScript), synchronously
// on the test's thread.
class FakeKeyMonitor final : public KeyMonitor {
 public:
  Subscription monitor(Scope scope, Handler handler) override {
    if (refuses(scope)) return {};
    return list(scope).add(std::move(handler));
  }

  // The desktop will not let this scope be watched.
  void refuse(Scope scope, bool refuse = true) {
    (scope == Scope::global ? refusesGlobal_ : refusesLocal_) = refuse;
  }
  void send(Scope scope, const KeyEvent& event) { list(scope).call(event); }
  size_t monitors(Scope scope) const { return list(scope).size(); }

 private:
  bool refuses(Scope scope) const {
    return scope == Scope::global ? refusesGlobal_ : refusesLocal_;
  }
  HandlerList<KeyEvent>& list(Scope scope) { return scope == Scope::global ? global_ : local_; }
  const HandlerList<KeyEvent>& list(Scope scope) const {
    return scope == Scope::global ? global_ : local_;
  }

  HandlerList<KeyEvent> global_;
  HandlerList<KeyEvent> local_;
  bool refusesGlobal_ = false;
  bool refusesLocal_ = false;
};
